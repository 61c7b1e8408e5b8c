#ifndef EVDEV_SOURCE_H
#define EVDEV_SOURCE_H

#include "InputSource.h"

struct libevdev;
struct input_event;

// Keys and switches of one input device, read through libevdev. A device
// with a key among them is grabbed: an exit button on a USB board that
// reports keys must not type into the window that has the focus. One with
// switches only (a lid or dock switch wired as the contact) is not: the
// desktop may go on seeing it. A path that is a FIFO carrying struct
// input_event records is read the same way, without a grab and without
// levels to read at the start.
class EvdevSource : public InputSource {
public:
							EvdevSource(const std::string& path);
	virtual					~EvdevSource();

	// type: EV_KEY or EV_SW.
			void			AddCode(size_t input, int type, int code,
								bigtime_t debounce);

	virtual	status_t		Open(std::vector<InputChange>* changes,
								std::string* problem) override;
	virtual	void			Close() override;
	virtual	bool			IsOpen() const override { return fFD >= 0; }
	virtual	int				FD() const override { return fFD; }
	virtual	status_t		Read(std::vector<InputChange>* changes,
								bigtime_t now) override;

			bool			Grabs() const;

private:
			void			_Event(const struct input_event& event,
								bigtime_t now,
								std::vector<InputChange>* changes);
			status_t		_ReadDevice(std::vector<InputChange>* changes,
								bigtime_t now);
			status_t		_ReadFifo(std::vector<InputChange>* changes,
								bigtime_t now);

	struct Code {
		int			type;
		int			code;
	};

			std::vector<Code> fCodes;
			int				fFD = -1;
			bool			fFifo = false;
			struct libevdev* fDevice = nullptr;
			std::string		fPending;
};

#endif
