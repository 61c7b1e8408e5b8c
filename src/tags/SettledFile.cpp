#include "SettledFile.h"

#include <Errors.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum Lease {
	kLeased,
	kBeingWritten,
	kNoLease,
};


// A writer that opens the file while it is leased makes the kernel signal
// the holder, SIGIO unless told otherwise, which would end the program.
// SIGURG is ignored unless a program asks for it; a program that does
// would be woken by a signal it does not expect, so it gets no lease.
const int kBreakSignal = SIGURG;


Lease
take_lease(int fd)
{
	struct sigaction current;
	if (sigaction(kBreakSignal, nullptr, &current) != 0
		|| (current.sa_flags & SA_SIGINFO) != 0
		|| (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN))
		return kNoLease;
	if (fcntl(fd, F_SETSIG, kBreakSignal) != 0)
		return kNoLease;
	if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
		return kLeased;
	return errno == EAGAIN ? kBeingWritten : kNoLease;
}


bool
same_file_state(const struct stat& a, const struct stat& b)
{
	return a.st_ino == b.st_ino && a.st_size == b.st_size
		&& a.st_mtim.tv_sec == b.st_mtim.tv_sec
		&& a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
		&& a.st_ctim.tv_sec == b.st_ctim.tv_sec
		&& a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}	// namespace


status_t
SettledFile::Read(int fd, std::string* data, std::string* problem)
{
	data->clear();
	Lease lease = take_lease(fd);
	if (lease == kBeingWritten)
		return B_WOULD_BLOCK;
	struct stat before;
	if (fstat(fd, &before) != 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	data->reserve((size_t)before.st_size);
	status_t status = B_OK;
	char buffer[65536];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			*problem = strerror(errno);
			status = B_IO_ERROR;
			break;
		}
		if (count == 0)
			break;
		data->append(buffer, (size_t)count);
	}
	if (lease == kLeased) {
		// A writer that came while the file was read broke the lease: what
		// was read may be half of it.
		if (status == B_OK && fcntl(fd, F_GETLEASE) != F_RDLCK)
			status = B_WOULD_BLOCK;
		// Let the writer go on at once.
		fcntl(fd, F_SETLEASE, F_UNLCK);
	} else if (status == B_OK) {
		struct stat after;
		if (fstat(fd, &after) != 0 || !same_file_state(before, after)
			|| (off_t)data->size() != after.st_size)
			status = B_WOULD_BLOCK;
	}
	if (status != B_OK)
		data->clear();
	return status;
}
