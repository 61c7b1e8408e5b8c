#ifndef GPIO_SOURCE_H
#define GPIO_SOURCE_H

#include "DoorInput.h"
#include "InputSource.h"

// One GPIO line through the kernel's GPIO character device (libgpiod),
// asked for both edges. Its level is read again after every edge, so that
// what counts is where the line stands, however many edges a bounce made.
// Written for libgpiod's v2 API where the distribution has it (the kernel
// then debounces), and for v1 otherwise (Debian 12), chosen at build time;
// the debouncer does the rest.
class GpioSource : public InputSource {
public:
							GpioSource(size_t input, const DoorInput& line);
	virtual					~GpioSource();

	virtual	status_t		Open(std::vector<InputChange>* changes,
								std::string* problem) override;
	virtual	void			Close() override;
	virtual	bool			IsOpen() const override { return fFD >= 0; }
	virtual	int				FD() const override { return fFD; }
	virtual	status_t		Read(std::vector<InputChange>* changes,
								bigtime_t now) override;

private:
			int				_Value();

			DoorInput		fLine;
			int				fFD = -1;
			struct gpiod_chip* fChip = nullptr;
#ifdef RDX_GPIOD_V2
			struct gpiod_line_request* fRequest = nullptr;
			struct gpiod_edge_event_buffer* fEvents = nullptr;
#else
			struct gpiod_line* fRequested = nullptr;
#endif
};

#endif
