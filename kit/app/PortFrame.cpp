#include "PortFrame.h"

#include <Message.h>

#include <cstdio>
#include <cstring>

namespace BPrivate {

namespace {

const char kMagic[3] = {'R', 'D', 'P'};

}	// namespace


status_t
PortFrame::Encode(const BMessage& message, std::string* frame)
{
	std::string flat = message.Flatten();
	if (flat.empty() || flat.size() > kMaxMessageSize)
		return B_BAD_VALUE;
	frame->assign(kMagic, sizeof(kMagic));
	frame->push_back((char)kVersion);
	uint32 length = (uint32)flat.size();
	for (int i = 0; i < 4; i++)
		frame->push_back((char)((length >> (8 * i)) & 0xff));
	frame->append(flat);
	return B_OK;
}


status_t
PortFrame::DecodeHeader(const char* header, uint32* length,
	std::string* problem)
{
	if (memcmp(header, kMagic, sizeof(kMagic)) != 0) {
		*problem = "not a message frame";
		return B_BAD_DATA;
	}
	if ((uint8)header[3] != kVersion) {
		*problem = "frame version " + std::to_string((uint8)header[3])
			+ " is not " + std::to_string(kVersion);
		return B_BAD_DATA;
	}
	uint32 size = 0;
	for (int i = 0; i < 4; i++)
		size |= (uint32)(uint8)header[4 + i] << (8 * i);
	if (size == 0) {
		*problem = "empty message";
		return B_BAD_DATA;
	}
	if (size > kMaxMessageSize) {
		*problem = "message of " + std::to_string(size)
			+ " bytes is over the limit of "
			+ std::to_string(kMaxMessageSize) + " bytes";
		return B_BAD_DATA;
	}
	*length = size;
	return B_OK;
}


status_t
PortFrame::StatusFor(uint8 status)
{
	switch (status) {
		case kAccepted:
			return B_OK;
		case kQuitting:
			return B_BAD_PORT_ID;
		case kMalformed:
			return B_BAD_DATA;
		case kWrongUser:
			return B_PERMISSION_DENIED;
		case kBusy:
			return B_WOULD_BLOCK;
		default:
			return B_BAD_REPLY;
	}
}

}	// namespace BPrivate
