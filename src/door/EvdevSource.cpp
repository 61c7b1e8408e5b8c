#include "EvdevSource.h"

#include <EventDevice.h>

#include <Locale.h>

#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// When the event was made, as the device stamped it on the boot clock; 0
// when its stamp cannot be that (none, as a FIFO's writer may leave it, or
// one of another clock, which lies ahead of now): then only the moment it
// was read is known.
bigtime_t
event_time(const struct input_event& event, bigtime_t now)
{
	const int64_t kLimit = (int64_t)1 << 40;
	if (event.input_event_sec <= 0 || event.input_event_sec > kLimit
		|| event.input_event_usec < 0 || event.input_event_usec >= 1000000)
		return 0;
	bigtime_t when = (bigtime_t)event.input_event_sec * 1000000
		+ event.input_event_usec;
	return when <= now ? when : 0;
}

}	// namespace


EvdevSource::EvdevSource(const std::string& path)
	:
	InputSource(path)
{
}


EvdevSource::~EvdevSource()
{
	Close();
}


void
EvdevSource::AddCode(size_t input, int type, int code, bigtime_t debounce)
{
	_AddLine(input, debounce);
	fCodes.push_back({type, code});
}


bool
EvdevSource::Grabs() const
{
	for (const Code& code : fCodes) {
		if (code.type == EV_KEY)
			return true;
	}
	return false;
}


status_t
EvdevSource::Open(std::vector<InputChange>* changes, std::string* problem)
{
	Close();
	status_t status = EventDevice::Open(Path(), &fFD, &fFifo, &fDevice,
		problem);
	if (status != B_OK || fFifo)
		return status;
	// Stamped on the clock the deadlines are on, which goes on while the
	// machine sleeps: a press made before a suspend and read after it is
	// as old as it is. A kernel that refuses keeps its own clock, whose
	// stamps are then not taken.
	libevdev_set_clock_id(fDevice, CLOCK_BOOTTIME);
	for (const Code& code : fCodes) {
		if (!libevdev_has_event_code(fDevice, (unsigned)code.type,
				(unsigned)code.code)) {
			const char* name = libevdev_event_code_get_name(
				(unsigned)code.type, (unsigned)code.code);
			*problem = translate_format("the device has no %s",
				name != nullptr ? name : std::to_string(code.code).c_str());
			Close();
			return B_BAD_VALUE;
		}
	}
	if (Grabs()) {
		int result = libevdev_grab(fDevice, LIBEVDEV_GRAB);
		if (result < 0) {
			*problem = result == -EBUSY
				? B_TRANSLATE("another program holds it (exclusive grab"
					" refused)")
				: translate_format("cannot take it for this program alone:"
					" %s", strerror(-result));
			Close();
			return B_NOT_ALLOWED;
		}
	}
	// The kernel keeps every key's and switch's state: the door's state is
	// known from the start, not from its next change.
	for (size_t i = 0; i < fCodes.size(); i++) {
		int value = libevdev_get_event_value(fDevice, (unsigned)fCodes[i].type,
			(unsigned)fCodes[i].code);
		_Known(i, value != 0 ? 1 : 0, changes);
	}
	return B_OK;
}


void
EvdevSource::Close()
{
	if (fDevice != nullptr) {
		libevdev_grab(fDevice, LIBEVDEV_UNGRAB);
		libevdev_free(fDevice);
		fDevice = nullptr;
	}
	if (fFD >= 0) {
		close(fFD);
		fFD = -1;
	}
	fPending.clear();
}


status_t
EvdevSource::Read(std::vector<InputChange>* changes, bigtime_t now)
{
	if (fFD < 0)
		return B_ENTRY_NOT_FOUND;
	return fFifo ? _ReadFifo(changes, now) : _ReadDevice(changes, now);
}


void
EvdevSource::_Event(const struct input_event& event, bigtime_t now,
	std::vector<InputChange>* changes)
{
	int type = event.type;
	int value = event.value;
	// A key held down repeats (value 2): still the same press.
	if ((type != EV_KEY && type != EV_SW) || value < 0 || value > 1)
		return;
	for (size_t i = 0; i < fCodes.size(); i++) {
		if (fCodes[i].type == type && fCodes[i].code == event.code)
			_Level(i, value, now, changes, event_time(event, now));
	}
}


status_t
EvdevSource::_ReadDevice(std::vector<InputChange>* changes, bigtime_t now)
{
	struct input_event event;
	unsigned int flags = LIBEVDEV_READ_FLAG_NORMAL;
	for (;;) {
		int result = libevdev_next_event(fDevice, flags, &event);
		if (result == LIBEVDEV_READ_STATUS_SYNC) {
			// The kernel dropped events; what libevdev hands out now are
			// the differences to the state it had, which is what counts.
			flags = LIBEVDEV_READ_FLAG_SYNC;
			continue;
		}
		if (result == LIBEVDEV_READ_STATUS_SUCCESS) {
			_Event(event, now, changes);
			continue;
		}
		if (result == -EAGAIN) {
			if (flags == LIBEVDEV_READ_FLAG_SYNC) {
				flags = LIBEVDEV_READ_FLAG_NORMAL;
				continue;
			}
			return B_OK;
		}
		if (result == -EINTR)
			continue;
		// ENODEV: unplugged.
		Close();
		_Lost(B_TRANSLATE("unplugged"), changes);
		return B_ENTRY_NOT_FOUND;
	}
}


status_t
EvdevSource::_ReadFifo(std::vector<InputChange>* changes, bigtime_t now)
{
	char buffer[64 * sizeof(struct input_event)];
	for (;;) {
		ssize_t count = read(fFD, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && errno == EAGAIN)
			return B_OK;
		if (count <= 0) {
			// The writer closed it. Open it anew, so that the next writer
			// is heard; a FIFO that is gone is a device unplugged.
			std::vector<InputChange> ignored;
			std::string problem;
			if (Open(&ignored, &problem) == B_OK)
				return B_OK;
			Close();
			_Lost(B_TRANSLATE("unplugged"), changes);
			return B_ENTRY_NOT_FOUND;
		}
		fPending.append(buffer, (size_t)count);
		size_t used = 0;
		while (fPending.size() - used >= sizeof(struct input_event)) {
			struct input_event event;
			memcpy(&event, fPending.data() + used, sizeof(event));
			used += sizeof(event);
			_Event(event, now, changes);
		}
		fPending.erase(0, used);
	}
}
