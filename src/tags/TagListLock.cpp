#include "TagListLock.h"

#include <Errors.h>
#include <Locale.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often a writer that waits looks again: a save takes milliseconds.
const bigtime_t kLookAgain = 10000;

}	// namespace


TagListLock::~TagListLock()
{
	Release();
}


std::string
TagListLock::PathFor(const std::string& realPath)
{
	size_t slash = realPath.find_last_of('/');
	if (slash == std::string::npos)
		return "." + realPath + ".lock";
	return realPath.substr(0, slash + 1) + "." + realPath.substr(slash + 1)
		+ ".lock";
}


status_t
TagListLock::Acquire(const std::string& realPath, std::string* problem,
	const std::function<void()>& waiting, bigtime_t patience)
{
	Release();
	std::string path = PathFor(realPath);
	int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC
		| O_NONBLOCK | O_NOCTTY, 0600);
	if (fd < 0) {
		*problem = translate_format("cannot make the lock %s: %s",
			path.c_str(), strerror(errno));
		return errno == ELOOP ? B_NOT_ALLOWED : B_IO_ERROR;
	}
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
		|| status.st_uid != geteuid()) {
		close(fd);
		*problem = translate_format("the lock %s is not a file of your own:"
			" nothing is written until it is removed", path.c_str());
		return B_NOT_ALLOWED;
	}
	bigtime_t end = system_time() + patience;
	bool told = false;
	for (;;) {
		if (flock(fd, LOCK_EX | LOCK_NB) == 0)
			break;
		if (errno == EINTR)
			continue;
		if (errno != EWOULDBLOCK || system_time() >= end) {
			int error = errno;
			close(fd);
			*problem = error == EWOULDBLOCK
				? translate_format("another program is writing the list (it"
					" holds %s): nothing was written, try again", path.c_str())
				: translate_format("cannot lock %s: %s", path.c_str(),
					strerror(error));
			return error == EWOULDBLOCK ? B_TIMED_OUT : B_IO_ERROR;
		}
		if (!told && waiting) {
			waiting();
			told = true;
		}
		snooze(kLookAgain);
	}
	fFD = fd;
	return B_OK;
}


void
TagListLock::Release()
{
	// Closing the descriptor lets go of the lock.
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
}
