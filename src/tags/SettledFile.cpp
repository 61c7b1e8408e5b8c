#include "SettledFile.h"

#include <Errors.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
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


// Where there are no leases: whether a process has the file open for
// writing, as far as /proc lets this one look (its user's processes, all
// of them for root; nobody else may write the user's list). Slow, so only
// where the kernel cannot tell by a lease.
bool
open_for_writing(const struct stat& file)
{
	DIR* processes = opendir("/proc");
	if (processes == nullptr)
		return false;
	bool found = false;
	while (!found) {
		struct dirent* process = readdir(processes);
		if (process == nullptr)
			break;
		if (process->d_name[0] < '0' || process->d_name[0] > '9')
			continue;
		std::string base = std::string("/proc/") + process->d_name;
		DIR* descriptors = opendir((base + "/fd").c_str());
		if (descriptors == nullptr)
			continue;
		while (struct dirent* entry = readdir(descriptors)) {
			if (entry->d_name[0] == '.')
				continue;
			struct stat status;
			if (stat((base + "/fd/" + entry->d_name).c_str(), &status) != 0
				|| status.st_dev != file.st_dev || status.st_ino != file.st_ino)
				continue;
			// "flags:\t0100001": the open's flags, in octal.
			FILE* info = fopen((base + "/fdinfo/" + entry->d_name).c_str(),
				"re");
			if (info == nullptr)
				continue;
			char line[128];
			unsigned flags = 0;
			while (fgets(line, sizeof(line), info) != nullptr) {
				if (sscanf(line, "flags: %o", &flags) == 1)
					break;
			}
			fclose(info);
			if ((flags & O_ACCMODE) != O_RDONLY) {
				found = true;
				break;
			}
		}
		closedir(descriptors);
	}
	closedir(processes);
	return found;
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
	if (lease == kNoLease && open_for_writing(before))
		return B_WOULD_BLOCK;
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
			|| (off_t)data->size() != after.st_size
			|| open_for_writing(after))
			status = B_WOULD_BLOCK;
	}
	if (status != B_OK)
		data->clear();
	return status;
}
