#ifndef TAG_POSTER_H
#define TAG_POSTER_H

#include <Messenger.h>

#include <string>

// Hands an allowed tag to rdx as 'RFID' through its message port, as
// rdx-send does. A tag that cannot be delivered now is dropped, never kept
// for later: a door must not open when nobody presents a tag any more.
class TagPoster {
public:
							TagPoster(const std::string& signature);

	// B_OK once the tag is in the application's queue; B_BAD_PORT_ID when
	// no application with the signature runs; another error otherwise.
			status_t		Post(const std::string& tag,
								const std::string& reader);
	// The same, for a read that counts from since on (a PIN's Enter, on
	// system_time()'s clock) rather than from now.
			status_t		Post(const std::string& tag,
								const std::string& reader, bigtime_t since);

			const std::string& Signature() const { return fSignature; }

private:
			std::string		fSignature;
			BMessenger		fMessenger;
};

#endif
