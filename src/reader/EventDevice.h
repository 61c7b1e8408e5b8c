#ifndef EVENT_DEVICE_H
#define EVENT_DEVICE_H

#include <SupportDefs.h>

#include <string>

struct libevdev;

// Opening what rdx-reader's keyboards and rdx-door's buttons and contacts
// are read from: an input device, through libevdev, or a FIFO of input
// event records (a stand-in for a device, which the tests write). Both are
// opened without blocking: a FIFO without a writer yet opens at once, and a
// read takes only what is there.
class EventDevice {
public:
	// Opens the path. On success *fd is open and, for a device, *device
	// holds libevdev's handle on it (nullptr for a FIFO). On failure
	// nothing stays open and *problem says why: B_ENTRY_NOT_FOUND while the
	// path is not there (or its device is gone), B_BAD_VALUE when it is
	// neither a device nor a FIFO, B_PERMISSION_DENIED, B_IO_ERROR.
	static	status_t		Open(const std::string& path, int* fd,
								bool* fifo, struct libevdev** device,
								std::string* problem);

	// The status and the line for an errno from opening a device node: a
	// device unplugged reads as not there, so that it is waited for.
	static	status_t		OpenError(int error, std::string* problem);
};

#endif
