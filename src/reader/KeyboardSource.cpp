#include "KeyboardSource.h"

#include "EventDevice.h"

#include <Locale.h>

#include <libevdev/libevdev.h>
#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {


// Whether the decoder just gave what the loop must answer before the next
// key is read: a tag (which may want a PIN) or a PIN.
bool
must_answer(const std::vector<SourceEvent>& events, size_t before)
{
	for (size_t i = before; i < events.size(); i++) {
		if (events[i].kind != SourceEvent::kProblem)
			return true;
	}
	return false;
}


// Takes the first count bytes off the text, overwriting them. What follows
// them is moved to the front by hand: erase() would leave the last count
// bytes behind the new end as they were, a copy of a PIN's keys among them.
void
drop_front(std::string& text, size_t count)
{
	if (count == 0)
		return;
	size_t size = text.size();
	sodium_memzero(&text[0], count);
	memmove(&text[0], &text[count], size - count);
	sodium_memzero(&text[size - count], count);
	text.resize(size - count);
}


// What one read of a FIFO takes, in records.
const size_t kRecordsPerRead = 64;

}	// namespace


KeyboardSource::KeyboardSource(const std::string& path, int keyGapMs)
	:
	TagSource(path),
	fDecoder(keyGapMs)
{
	// Room for a read and the part of a record before it, taken once: a
	// buffer that grew would leave the keys it held in memory let go.
	fPending.reserve((kRecordsPerRead + 1) * sizeof(struct input_event));
}


KeyboardSource::~KeyboardSource()
{
	Close();
}


status_t
KeyboardSource::Open(std::string* problem)
{
	Close();
	status_t status = EventDevice::Open(Path(), &fFD, &fFifo, &fDevice,
		problem);
	if (status != B_OK || fFifo)
		return status;
	if (!libevdev_has_event_type(fDevice, EV_KEY)) {
		*problem = B_TRANSLATE("the device has no keys");
		Close();
		return B_BAD_VALUE;
	}
	int result = libevdev_grab(fDevice, LIBEVDEV_GRAB);
	if (result < 0) {
		*problem = result == -EBUSY
			? B_TRANSLATE("another program holds it (exclusive grab"
				" refused)")
			: translate_format("cannot take it for this program alone: %s",
				strerror(-result));
		Close();
		return B_NOT_ALLOWED;
	}
	return B_OK;
}


void
KeyboardSource::Close()
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
	drop_front(fPending, fPending.size());
}


bool
KeyboardSource::HasPending() const
{
	if (fFD < 0)
		return false;
	if (fFifo)
		return fPending.size() >= sizeof(struct input_event);
	return fDevice != nullptr && libevdev_has_event_pending(fDevice) > 0;
}


status_t
KeyboardSource::Read(std::vector<SourceEvent>* events)
{
	if (fFD < 0)
		return B_ENTRY_NOT_FOUND;
	return fFifo ? _ReadFifo(events) : _ReadDevice(events);
}


status_t
KeyboardSource::_ReadDevice(std::vector<SourceEvent>* events)
{
	struct input_event event;
	unsigned int flags = LIBEVDEV_READ_FLAG_NORMAL;
	size_t before = events->size();
	for (;;) {
		if (flags == LIBEVDEV_READ_FLAG_NORMAL && must_answer(*events, before))
			return B_OK;
		int result = libevdev_next_event(fDevice, flags, &event);
		if (result == LIBEVDEV_READ_STATUS_SYNC) {
			// The kernel dropped events: what was collected may miss
			// keys. Drain the resync and start afresh.
			if (flags == LIBEVDEV_READ_FLAG_NORMAL)
				fDecoder.Discard("the kernel dropped key events", events);
			flags = LIBEVDEV_READ_FLAG_SYNC;
			continue;
		}
		if (result == LIBEVDEV_READ_STATUS_SUCCESS) {
			if (flags == LIBEVDEV_READ_FLAG_NORMAL)
				fDecoder.Feed(event, events);
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
		fDecoder.Discard("the device went away", events);
		Close();
		return B_ENTRY_NOT_FOUND;
	}
}


status_t
KeyboardSource::_ReadFifo(std::vector<SourceEvent>* events)
{
	size_t before = events->size();
	char buffer[kRecordsPerRead * sizeof(struct input_event)];
	for (;;) {
		// What is left over from the last read comes first.
		size_t used = 0;
		while (fPending.size() - used >= sizeof(struct input_event)
			&& !must_answer(*events, before)) {
			struct input_event event;
			memcpy(&event, fPending.data() + used, sizeof(event));
			used += sizeof(event);
			fDecoder.Feed(event, events);
			sodium_memzero(&event, sizeof(event));
		}
		drop_front(fPending, used);
		if (must_answer(*events, before))
			return B_OK;

		ssize_t count = read(fFD, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && errno == EAGAIN)
			return B_OK;
		if (count <= 0) {
			// The writer closed it. Open it anew, so that the next writer
			// is heard and the closed end does not wake the loop forever.
			std::string problem;
			status_t status = Open(&problem);
			return status == B_OK ? B_OK : B_ENTRY_NOT_FOUND;
		}
		fPending.append(buffer, (size_t)count);
		sodium_memzero(buffer, (size_t)count);
	}
}
