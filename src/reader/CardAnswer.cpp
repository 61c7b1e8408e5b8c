#include "CardAnswer.h"

#include <cstdio>


SourceEvent
CardAnswer::Decode(const uint8_t* answer, size_t length,
	const std::string& reader)
{
	if (length < 2) {
		return SourceEvent::Problem("the card's answer has "
			+ std::to_string(length) + " bytes, no status word: no tag",
			reader);
	}
	uint8_t sw1 = answer[length - 2];
	uint8_t sw2 = answer[length - 1];
	if (sw1 != 0x90 || sw2 != 0x00) {
		char line[96];
		snprintf(line, sizeof(line), "the reader answered GET DATA with the"
			" status word %02X %02X: no tag", sw1, sw2);
		return SourceEvent::Problem(line, reader);
	}
	size_t size = length - 2;
	std::string hex;
	for (size_t i = 0; i < size; i++) {
		char digits[3];
		snprintf(digits, sizeof(digits), "%02X", answer[i]);
		hex += digits;
	}
	if (size != 4 && size != 7 && size != 10) {
		return SourceEvent::Problem("the card's UID has " + std::to_string(
			size) + " bytes, not 4, 7 or 10: no tag", reader);
	}
	if (answer[0] == 0x08) {
		return SourceEvent::Problem(hex + ": a random identifier (first byte"
			" 08), new at every read: refused, also with --any-tag", reader);
	}
	return SourceEvent::Tag(hex, reader);
}
