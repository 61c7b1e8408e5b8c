#ifndef KEYBOARD_SOURCE_H
#define KEYBOARD_SOURCE_H

#include "KeyDecoder.h"
#include "TagSource.h"

struct libevdev;

// A keyboard-type reader: an input device read through libevdev and
// grabbed, so that the digits it types never reach the window that has the
// focus. A path that is a FIFO carrying struct input_event records is read
// the same way, without a grab.
class KeyboardSource : public TagSource {
public:
							KeyboardSource(const std::string& path,
								int keyGapMs);
	virtual					~KeyboardSource();

	virtual	status_t		Open(std::string* problem) override;
	virtual	void			Close() override;
	virtual	bool			IsOpen() const override { return fFD >= 0; }
	virtual	int				FD() const override { return fFD; }
	virtual	status_t		Read(std::vector<SourceEvent>* events) override;
	virtual	bool			HasPending() const override;

	virtual	bool			CanTakePin() const override { return true; }
	virtual	void			AwaitPin(bool awaited) override
								{ fDecoder.AwaitPin(awaited); }
	virtual	const PinBuffer* Pin() const override
								{ return fDecoder.Pin(); }

private:
	// Never inlined: the keys they read lie in their own frames, below the
	// reader loop's, where its wipe of the stack reaches them. Inlined into
	// the loop, copies the compiler keeps would be above it.
	[[gnu::noinline]] status_t _ReadDevice(std::vector<SourceEvent>* events);
	[[gnu::noinline]] status_t _ReadFifo(std::vector<SourceEvent>* events);

			KeyDecoder		fDecoder;
			int				fFD = -1;
			bool			fFifo = false;
			struct libevdev* fDevice = nullptr;
			// A FIFO may deliver part of a record, and what follows a tag waits
	// here until the tag is dealt with. Overwritten once used: its records
	// may be a PIN's keys.
			std::string		fPending;
};

#endif
