#ifndef SERIAL_SOURCE_H
#define SERIAL_SOURCE_H

#include "SerialDecoder.h"
#include "TagSource.h"

#include <memory>

// A serial reader (RDM6300-type module, USB-serial reader, Wiegand-to-serial
// converter): the port set raw with termios, 8N1 at the given speed, and
// the bytes handed to the protocol's decoder.
class SerialSource : public TagSource {
public:
							SerialSource(const std::string& path, int baud,
								std::unique_ptr<SerialDecoder> decoder);
	virtual					~SerialSource();

	virtual	status_t		Open(std::string* problem) override;
	virtual	void			Close() override;
	virtual	bool			IsOpen() const override { return fFD >= 0; }
	virtual	int				FD() const override { return fFD; }
	virtual	status_t		Read(std::vector<SourceEvent>* events) override;

	// Whether termios knows the speed.
	static	bool			IsKnownBaud(int baud);

private:
			int				fBaud;
			std::unique_ptr<SerialDecoder> fDecoder;
			int				fFD = -1;
};

#endif
