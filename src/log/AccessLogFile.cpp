#include "AccessLogFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>


std::string
AccessLogPath()
{
	const char* state = getenv("XDG_STATE_HOME");
	// Only an absolute XDG_STATE_HOME counts; a relative one falls back to
	// ~/.local/state, as other desktop programs do.
	if (state != nullptr && state[0] == '/')
		return std::string(state) + "/RDX/access.log";
	const char* home = getenv("HOME");
	if (home == nullptr || home[0] == '\0')
		return std::string();
	return std::string(home) + "/.local/state/RDX/access.log";
}


std::string
RotatedLogPath(const std::string& path, int n)
{
	return path + "." + std::to_string(n);
}


// Makes the directory and the ones above it that are missing, mode 0700:
// the log says who came in when, which is nobody else's to read.
static int
make_directories(const std::string& directory)
{
	if (directory.empty())
		return 0;
	struct stat info;
	if (stat(directory.c_str(), &info) == 0)
		return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
	size_t slash = directory.rfind('/');
	if (slash != std::string::npos && slash > 0) {
		int error = make_directories(directory.substr(0, slash));
		if (error != 0)
			return error;
	}
	if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
		return errno;
	return 0;
}


// The directory descriptor holds the rotation lock while it lives.
class DirectoryLock {
public:
	explicit DirectoryLock(const std::string& directory)
	{
		fFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
		if (fFd < 0) {
			fError = errno;
			return;
		}
		while (flock(fFd, LOCK_EX) != 0) {
			if (errno != EINTR) {
				fError = errno;
				return;
			}
		}
	}

	~DirectoryLock()
	{
		// Closing the descriptor lets go of the lock.
		if (fFd >= 0)
			close(fFd);
	}

	int Error() const { return fError; }

private:
	int		fFd = -1;
	int		fError = 0;
};


AccessLogFile::AccessLogFile(const std::string& path, off_t rotateSize)
	:
	fPath(path),
	fRotateSize(rotateSize)
{
	size_t slash = fPath.rfind('/');
	fDirectory = slash == std::string::npos ? "." : fPath.substr(0, slash);
	if (fDirectory.empty())
		fDirectory = "/";
}


AccessLogFile::~AccessLogFile()
{
	_Close();
}


status_t
AccessLogFile::Append(const std::string& line)
{
	if (fPath.empty()) {
		fError = "no place for the access log: neither XDG_STATE_HOME nor "
			"HOME is set";
		return B_ENTRY_NOT_FOUND;
	}
	if (fFd < 0) {
		status_t status = _Open();
		if (status != B_OK)
			return status;
	}

	struct stat info;
	if (fstat(fFd, &info) != 0)
		return _Fail("cannot look at", fPath, errno);
	// A file that is full, or that was removed under us, is not written
	// to: the one at the path is.
	if (info.st_size >= fRotateSize || info.st_nlink == 0) {
		status_t status = _RotateIfFull();
		if (status != B_OK)
			return status;
	}

	ssize_t written;
	do {
		written = write(fFd, line.data(), line.size());
	} while (written < 0 && errno == EINTR);
	if (written < 0)
		return _Fail("cannot write to", fPath, errno);
	if ((size_t)written != line.size()) {
		// A full disk took part of the line. The next record starts on a
		// line of its own, so a reader loses only this one.
		ssize_t ended = write(fFd, "\n", 1);
		(void)ended;
		return _Fail("cannot write to", fPath, ENOSPC);
	}
	return B_OK;
}


void
AccessLogFile::Sync()
{
	if (fFd >= 0)
		fdatasync(fFd);
}


status_t
AccessLogFile::_Open()
{
	int error = make_directories(fDirectory);
	if (error != 0)
		return _Fail("cannot make the directory", fDirectory, error);
	fFd = open(fPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC
		| O_NOCTTY, 0600);
	if (fFd < 0)
		return _Fail("cannot open", fPath, errno);
	return B_OK;
}


status_t
AccessLogFile::_RotateIfFull()
{
	DirectoryLock lock(fDirectory);
	if (lock.Error() != 0)
		return _Fail("cannot lock the directory", fDirectory, lock.Error());

	struct stat mine;
	struct stat onDisk;
	bool same = fstat(fFd, &mine) == 0 && stat(fPath.c_str(), &onDisk) == 0
		&& mine.st_dev == onDisk.st_dev && mine.st_ino == onDisk.st_ino;
	if (same && onDisk.st_size >= fRotateSize) {
		// Another writer holding the file that is moved away finds it full
		// too, takes the lock after us and only opens the new one.
		for (int n = RDX_LOG_KEPT_FILES - 1; n >= 1; n--) {
			std::string from = RotatedLogPath(fPath, n);
			std::string to = RotatedLogPath(fPath, n + 1);
			if (rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT)
				return _Fail("cannot rotate", from, errno);
		}
		std::string first = RotatedLogPath(fPath, 1);
		if (rename(fPath.c_str(), first.c_str()) != 0)
			return _Fail("cannot rotate", fPath, errno);
	}
	_Close();
	return _Open();
}


void
AccessLogFile::_Close()
{
	if (fFd >= 0)
		close(fFd);
	fFd = -1;
}


status_t
AccessLogFile::_Fail(const char* what, const std::string& path, int error)
{
	_Close();
	fError = std::string(what) + " " + path + ": " + strerror(error);
	return error == ENOSPC ? B_DEVICE_FULL : B_ERROR;
}
