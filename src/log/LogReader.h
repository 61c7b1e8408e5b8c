#ifndef LOG_READER_H
#define LOG_READER_H

#include "LogRecord.h"

#include <SupportDefs.h>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Reads an access log and its rotated files. Damaged lines (a power cut's
// half line, anything that is not a record) are counted and skipped.
class LogReader {
public:
	explicit				LogReader(const std::string& path);
							~LogReader();

							LogReader(const LogReader&) = delete;
			LogReader&		operator=(const LogReader&) = delete;

	// Every record of access.log.5 to access.log.1 and access.log, in time
	// order (records of two writers can reach the file a little out of
	// order). A missing file is no error; B_OK unless one cannot be read,
	// with Error() saying which.
			status_t		ReadAll(std::vector<LogRecord>* records);

	// Hands on each record appended to the log from where ReadAll stopped,
	// as it comes, also across a rotation; waits for the kernel to say
	// that the directory changed (inotify), never by looking again and
	// again. Returns when the callback returns false, or with the status
	// of what failed. A damaged line is told to damaged, with where it is.
			status_t		Follow(
								const std::function<bool(const LogRecord&)>&
									each,
								const std::function<void(const std::string&)>&
									damaged = nullptr);

	// Makes a Follow() on another thread return (B_OK) at once, also while
	// it waits; one that starts later returns at once too.
			void			Stop();

	// Damaged lines seen so far, and where the first was ("access.log.1
	// line 17").
			int				Damaged() const { return fDamaged; }
			const std::string& FirstDamage() const { return fFirstDamage; }
			const std::string& Error() const { return fError; }

private:
	// A null line is one too long to be a record.
			void			_Take(const std::string* line,
								const std::string& file, int lineNumber,
								const std::function<void(LogRecord&&)>& each);

			std::string		fPath;
			int				fDamaged = 0;
			std::string		fFirstDamage;
			std::string		fError;
	// How far ReadAll read the current log, and which file that was.
			off_t			fReadTo = 0;
			int				fReadLines = 0;
			dev_t			fDevice = 0;
			ino_t			fInode = 0;
	// Written by Stop(), waited on by Follow() beside the directory.
			int				fStopEvent = -1;
};

#endif
