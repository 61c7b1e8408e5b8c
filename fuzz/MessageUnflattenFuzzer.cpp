// Feeds arbitrary bytes to BMessage::Unflatten(), as a peer on the message
// port could. A rejected input must leave the message empty; an accepted one
// must flatten back to exactly the same bytes, so that nothing is lost or
// made up on the way through.

#include "FuzzCheck.h"

#include <Message.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int
LLVMFuzzerInitialize(int* argc, char*** argv)
{
	// PrintToStream() writes to standard output; the fuzzer reports on
	// standard error.
	if (freopen("/dev/null", "w", stdout) == nullptr)
		abort();
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const char* bytes = reinterpret_cast<const char*>(data);

	// Something in it already, to see that a failure empties it.
	BMessage message('oldm');
	message.AddString("old", "value");
	status_t status = message.Unflatten(bytes, size);
	if (status != B_OK) {
		FUZZ_CHECK(status == B_BAD_DATA);
		FUZZ_CHECK(message.IsEmpty());
		FUZZ_CHECK(message.what == 0);
		return 0;
	}

	std::string flat = message.Flatten();
	FUZZ_CHECK(flat == std::string(bytes, size));
	FUZZ_CHECK(message.FlattenedSize() == (ssize_t)size);

	BMessage copy(message);
	FUZZ_CHECK(copy.Flatten() == flat);
	BMessage again;
	FUZZ_CHECK(again.Unflatten(flat.data(), flat.size()) == B_OK);
	FUZZ_CHECK(again.Flatten() == flat);

	// What the receiving side does with a message: look fields up and print
	// it.
	int32 names = message.CountNames();
	FUZZ_CHECK(names >= 0);
	FUZZ_CHECK(message.CountNames(B_STRING_TYPE)
		+ message.CountNames(B_INT32_TYPE) + message.CountNames(B_BOOL_TYPE)
		== names);
	const char* text;
	if (message.FindString("_tagstr", &text) == B_OK)
		FUZZ_CHECK(text != nullptr);
	message.PrintToStream();
	return 0;
}
