#include "EventDevice.h"

#include <Locale.h>

#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


status_t
EventDevice::Open(const std::string& path, int* fd, bool* fifo,
	struct libevdev** device, std::string* problem)
{
	*fd = -1;
	*device = nullptr;
	struct stat status;
	if (stat(path.c_str(), &status) != 0)
		return OpenError(errno, problem);
	*fifo = S_ISFIFO(status.st_mode);
	if (!*fifo && !S_ISCHR(status.st_mode)) {
		*problem = B_TRANSLATE("neither an input device nor a FIFO");
		return B_BAD_VALUE;
	}
	int opened = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (opened < 0)
		return OpenError(errno, problem);
	if (!*fifo) {
		int result = libevdev_new_from_fd(opened, device);
		if (result < 0) {
			*device = nullptr;
			*problem = translate_format("not an input device: %s",
				strerror(-result));
			close(opened);
			return B_BAD_VALUE;
		}
	}
	*fd = opened;
	return B_OK;
}


status_t
EventDevice::OpenError(int error, std::string* problem)
{
	*problem = strerror(error);
	if (error == ENOENT || error == ENODEV || error == ENXIO)
		return B_ENTRY_NOT_FOUND;
	if (error == EACCES || error == EPERM)
		return B_PERMISSION_DENIED;
	return B_IO_ERROR;
}
