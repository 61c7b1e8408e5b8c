// Feeds an arbitrary byte stream to the decoders of serial readers, as the
// port hands it over: the first input byte chooses the decoder (RDM6300
// frames as decimal or hex tags, or one tag per line) and how the stream is
// cut into reads, the rest is the stream.
//
// Whatever the cuts, the decoder must yield exactly the tags that a plain
// reading of the whole stream finds, in order: a tag for every valid frame
// (or line) and for nothing else. Every line it writes about a dropped frame
// must be printable, whatever bytes came in.

#include "FuzzCheck.h"

#include <LineDecoder.h>
#include <Rdm6300Decoder.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

int
hex_digit(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}


// STX, ten hex characters of data, two of checksum (the XOR of the five
// data bytes), ETX, anywhere in the stream.
std::vector<std::string>
frames_in(const std::string& stream, bool hex)
{
	std::vector<std::string> tags;
	for (size_t i = 0; i + 14 <= stream.size(); i++) {
		if (stream[i] != 0x02 || stream[i + 13] != 0x03)
			continue;
		int bytes[6];
		bool valid = true;
		for (int b = 0; b < 6 && valid; b++) {
			int high = hex_digit(stream[i + 1 + 2 * b]);
			int low = hex_digit(stream[i + 2 + 2 * b]);
			valid = high >= 0 && low >= 0;
			bytes[b] = high * 16 + low;
		}
		if (!valid || (bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3] ^ bytes[4])
				!= bytes[5])
			continue;
		char tag[16];
		if (hex) {
			snprintf(tag, sizeof(tag), "%02X%02X%02X%02X%02X", bytes[0],
				bytes[1], bytes[2], bytes[3], bytes[4]);
		} else {
			snprintf(tag, sizeof(tag), "%010lu", (unsigned long)bytes[1] << 24
				| (unsigned long)bytes[2] << 16
				| (unsigned long)bytes[3] << 8 | (unsigned long)bytes[4]);
		}
		tags.push_back(tag);
	}
	return tags;
}


// Lines end in CR or LF; a line is a tag when, without the blanks around
// it, it holds 1 to 32 letters and digits, and its raw length fits the
// decoder's line buffer. Every other line that holds anything is one
// problem line; the last, unended line is still being read.
void
lines_in(const std::string& stream, std::vector<std::string>* tags,
	size_t* problems)
{
	size_t start = 0;
	for (size_t end; (end = stream.find_first_of("\r\n", start))
			!= std::string::npos; start = end + 1) {
		std::string line = stream.substr(start, end - start);
		if (line.size() > 128) {
			(*problems)++;
			continue;
		}
		size_t first = line.find_first_not_of(" \t");
		if (first == std::string::npos)
			continue;
		std::string tag = line.substr(first,
			line.find_last_not_of(" \t") - first + 1);
		bool valid = tag.size() <= 32;
		for (char& c : tag) {
			if (c >= 'a' && c <= 'z')
				c = (char)(c - 'a' + 'A');
			valid = valid && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'));
		}
		if (valid)
			tags->push_back(tag);
		else
			(*problems)++;
	}
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	uint8_t choice = data[0];
	std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
	bool lines = (choice & 2) != 0;
	bool hex = (choice & 1) != 0;
	std::unique_ptr<SerialDecoder> decoder;
	if (lines)
		decoder = std::make_unique<LineDecoder>();
	else
		decoder = std::make_unique<Rdm6300Decoder>(hex);

	// Reads of 1 to 2^k bytes, in an order the input fixes.
	static const size_t kLargest[] = {1, 2, 5, 13, 14, 64, 200, 100000};
	size_t largest = kLargest[(choice >> 2) & 7];
	uint32_t state = choice * 2654435761u + 1;
	std::vector<SourceEvent> events;
	for (size_t done = 0; done < stream.size();) {
		state = state * 1103515245u + 12345u;
		size_t piece = std::min(1 + (state >> 8) % largest,
			stream.size() - done);
		decoder->Feed(stream.data() + done, piece, &events);
		done += piece;
	}

	std::vector<std::string> tags;
	size_t problems = 0;
	for (const SourceEvent& event : events) {
		if (event.kind == SourceEvent::kTag) {
			tags.push_back(event.text);
			continue;
		}
		problems++;
		FUZZ_CHECK(!event.text.empty());
		for (unsigned char c : event.text)
			FUZZ_CHECK(c >= 0x20 && c < 0x7f);
	}
	if (lines) {
		std::vector<std::string> expected;
		size_t expectedProblems = 0;
		lines_in(stream, &expected, &expectedProblems);
		FUZZ_CHECK(tags == expected);
		FUZZ_CHECK(problems == expectedProblems);
	} else
		FUZZ_CHECK(tags == frames_in(stream, hex));
	return 0;
}
