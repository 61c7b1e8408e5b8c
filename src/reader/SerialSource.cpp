#include "SerialSource.h"

#include <Locale.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Speed {
	int			baud;
	speed_t		code;
};

const Speed kSpeeds[] = {
	{1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600},
	{19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
	{230400, B230400},
};


bool
speed_code(int baud, speed_t* code)
{
	for (const Speed& speed : kSpeeds) {
		if (speed.baud == baud) {
			*code = speed.code;
			return true;
		}
	}
	return false;
}

}	// namespace


SerialSource::SerialSource(const std::string& path, int baud,
	std::unique_ptr<SerialDecoder> decoder)
	:
	TagSource(path),
	fBaud(baud),
	fDecoder(std::move(decoder))
{
}


SerialSource::~SerialSource()
{
	Close();
}


bool
SerialSource::IsKnownBaud(int baud)
{
	speed_t code;
	return speed_code(baud, &code);
}


status_t
SerialSource::Open(std::string* problem)
{
	Close();
	// Not the controlling terminal of this program, and not blocking on
	// a modem line that is not there.
	fFD = open(Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
	if (fFD < 0) {
		int error = errno;
		*problem = strerror(error);
		if (error == ENOENT || error == ENODEV || error == ENXIO)
			return B_ENTRY_NOT_FOUND;
		return error == EACCES ? B_PERMISSION_DENIED : B_IO_ERROR;
	}

	struct termios settings;
	if (tcgetattr(fFD, &settings) != 0) {
		*problem = translate_format("not a serial port: %s", strerror(errno));
		Close();
		return B_BAD_VALUE;
	}
	cfmakeraw(&settings);
	// 8N1, receiver on, modem lines ignored.
	settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
	settings.c_cflag |= CS8 | CREAD | CLOCAL;
	settings.c_iflag &= ~(IXON | IXOFF | IXANY);
	settings.c_cc[VMIN] = 1;
	settings.c_cc[VTIME] = 0;
	speed_t speed = B9600;
	speed_code(fBaud, &speed);
	cfsetispeed(&settings, speed);
	cfsetospeed(&settings, speed);
	if (tcsetattr(fFD, TCSANOW, &settings) != 0) {
		*problem = translate_format("cannot set the port up: %s",
			strerror(errno));
		Close();
		return B_IO_ERROR;
	}
	// Bytes from before this program listened belong to nobody.
	tcflush(fFD, TCIFLUSH);
	// No second program reads half the frames.
	ioctl(fFD, TIOCEXCL);
	fDecoder->Reset();
	return B_OK;
}


void
SerialSource::Close()
{
	if (fFD < 0)
		return;
	ioctl(fFD, TIOCNXCL);
	close(fFD);
	fFD = -1;
}


status_t
SerialSource::Read(std::vector<SourceEvent>* events)
{
	if (fFD < 0)
		return B_ENTRY_NOT_FOUND;
	char buffer[512];
	for (;;) {
		ssize_t count = read(fFD, buffer, sizeof(buffer));
		if (count > 0) {
			fDecoder->Feed(buffer, (size_t)count, events);
			continue;
		}
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && errno == EAGAIN)
			return B_OK;
		// EIO or end of file: the adapter was unplugged, or the other end
		// of a pseudo-terminal closed.
		fDecoder->Reset();
		Close();
		return B_ENTRY_NOT_FOUND;
	}
}
