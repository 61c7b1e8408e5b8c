// Feeds arbitrary command lines to rdx-send's argument parser. The input is
// the argument vector as the kernel hands it over: arguments separated by
// NUL bytes.
//
// A refused command line must come with a reason; an accepted one must give
// a message with a printable four-character code that the message port
// takes: it flattens within the port's limit and reads back unchanged.

#include "FuzzCheck.h"

#include <SendArguments.h>

#include <Message.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<std::string> arguments;
	std::string current;
	for (size_t i = 0; i < size; i++) {
		if (data[i] == '\0') {
			arguments.push_back(current);
			current.clear();
		} else
			current.push_back((char)data[i]);
	}
	if (size > 0)
		arguments.push_back(current);

	SendArguments parser("application/x-vnd-RDX-BeOS");
	status_t status = parser.Parse(arguments);
	if (status != B_OK) {
		FUZZ_CHECK(status == B_BAD_VALUE);
		FUZZ_CHECK(!parser.Error().empty());
		return 0;
	}
	if (parser.WantsHelp() || parser.WantsVersion())
		return 0;

	FUZZ_CHECK(!parser.Signature().empty());
	// A watch sends no message of its own, only the codes it wants.
	if (parser.Watches()) {
		for (uint32 code : parser.WatchCodes()) {
			for (int shift = 0; shift < 32; shift += 8) {
				unsigned char c = (unsigned char)(code >> shift);
				FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
			}
		}
		return 0;
	}
	const BMessage& message = parser.Message();
	for (int shift = 0; shift < 32; shift += 8) {
		unsigned char c = (unsigned char)(message.what >> shift);
		FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
	}

	std::string flat = message.Flatten();
	FUZZ_CHECK(flat.size() <= BMessage::kMaxFlattenedSize);
	BMessage received;
	FUZZ_CHECK(received.Unflatten(flat.data(), flat.size()) == B_OK);
	FUZZ_CHECK(received.Flatten() == flat);
	FUZZ_CHECK(received.what == message.what);
	return 0;
}
