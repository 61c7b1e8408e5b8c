#ifndef _PORT_FRAME_H
#define _PORT_FRAME_H

#include <SupportDefs.h>

#include <string>

class BMessage;

namespace BPrivate {

// One message on a port connection:
//
//   4 bytes  'R' 'D' 'P' and the frame version (1)
//   4 bytes  length of the flattened message, little-endian, 1 to 65536
//   n bytes  the message as BMessage::Flatten() writes it
//
// The receiver answers every frame with one status byte. Once it has
// answered anything but kAccepted it closes the connection, so a sender
// never has to guess where the next frame would start.
class PortFrame {
public:
	static const size_t		kHeaderSize = 8;
	static const size_t		kMaxMessageSize = 64 * 1024;
	static const size_t		kMaxFrameSize = kHeaderSize + kMaxMessageSize;
	static const uint8		kVersion = 1;

	enum Status : uint8 {
		// The message is in the application's queue.
		kAccepted = 'A',
		// The application no longer takes messages (it is quitting).
		kQuitting = 'Q',
		// The frame was malformed or too large; the connection is closed.
		kMalformed = 'M',
		// The sender runs as another user; the connection is closed.
		kWrongUser = 'U',
		// Too many connections are open; this one is closed.
		kBusy = 'B',
	};

	// The frame for the message; B_BAD_VALUE when the flattened message is
	// larger than kMaxMessageSize.
	static	status_t		Encode(const BMessage& message, std::string* frame);

	// Checks the header and gives the length of the message that follows.
	// On failure *problem says what is wrong.
	static	status_t		DecodeHeader(const char* header, uint32* length,
								std::string* problem);

	// What a status byte means to a sender.
	static	status_t		StatusFor(uint8 status);
};

}	// namespace BPrivate

#endif
