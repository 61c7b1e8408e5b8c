#include "TagPoster.h"

#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>

namespace {

// A read waits for rdx at most this long. A tag delivered later than this
// would open the door when the person has stopped waiting for it.
const bigtime_t kPostTimeout = 1000000;

}	// namespace


TagPoster::TagPoster(const std::string& signature)
	:
	fSignature(signature),
	// Keeps the address even when rdx does not run yet: it is reached
	// once it does.
	fMessenger(signature.c_str())
{
}


status_t
TagPoster::Post(const std::string& tag, const std::string& reader)
{
	return Post(tag, reader, system_time());
}


status_t
TagPoster::Post(const std::string& tag, const std::string& reader,
	bigtime_t since)
{
	BMessage message(RDX_MSG_TAG);
	message.AddString(RDX_FIELD_TAG, tag.c_str());
	message.AddString(RDX_FIELD_READER, reader.c_str());
	// The read counts as long as we wait for rdx to take it, and not a
	// moment longer: reported as not delivered, it must not open later.
	bigtime_t deadline = since + kPostTimeout;
	message.AddString(RDX_FIELD_DEADLINE, FormatDeadline(deadline).c_str());
	bigtime_t left = deadline - system_time();
	if (left <= 0)
		return B_TIMED_OUT;
	return fMessenger.SendMessage(&message, nullptr, left);
}
