#ifndef ACCESS_LOG_FILE_H
#define ACCESS_LOG_FILE_H

#include <SupportDefs.h>

#include <string>

// When the log has grown to this size, the next record goes to a fresh file.
#define RDX_LOG_ROTATE_SIZE (1024 * 1024)
// access.log.1 is the newest rotated file, access.log.5 the oldest kept.
#define RDX_LOG_KEPT_FILES 5

// Where the access log is: $XDG_STATE_HOME/RDX/access.log, without
// XDG_STATE_HOME $HOME/.local/state/RDX/access.log. Empty when neither
// variable is set.
std::string AccessLogPath();

// The name of rotated file n (1 to RDX_LOG_KEPT_FILES) of a log.
std::string RotatedLogPath(const std::string& path, int n);

// The log file as one writer sees it. Several writers, in this process or in
// others, append to the same file at once: each record is one write() on a
// descriptor opened with O_APPEND, which the kernel keeps whole, and the
// writer that finds the file full rotates it under a lock on the directory,
// so that two writers never rotate twice.
//
// Not thread-safe: a process has one writer thread per log.
class AccessLogFile {
public:
							AccessLogFile(const std::string& path,
								off_t rotateSize = RDX_LOG_ROTATE_SIZE);
							~AccessLogFile();

							AccessLogFile(const AccessLogFile&) = delete;
			AccessLogFile&	operator=(const AccessLogFile&) = delete;

			const std::string& Path() const { return fPath; }

	// Appends one line (with its '\n') in one write. The directory is made
	// when it is missing. B_OK, or the errno-based status of what failed;
	// Error() then says what in a sentence. A failed append leaves nothing
	// open, so the next one starts afresh (the disk may have room again).
			status_t		Append(const std::string& line);
			const std::string& Error() const { return fError; }

	// Asks the disk to keep what was appended, so that a power cut takes
	// at most the line being written. Slow on a real disk: the writer
	// calls it once per batch of records, never on the door's path.
			void			Sync();

private:
			status_t		_Open();
			status_t		_RotateIfFull();
			void			_Close();
			status_t		_Fail(const char* what, const std::string& path,
								int error);

			std::string		fPath;
			std::string		fDirectory;
			off_t			fRotateSize;
			int				fFd = -1;
			std::string		fError;
};

#endif
