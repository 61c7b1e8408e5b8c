#ifndef CARD_ANSWER_H
#define CARD_ANSWER_H

#include "TagSource.h"

#include <cstddef>
#include <cstdint>

// The answer of a contactless reader to GET DATA (FF CA 00 00 00): the
// card's UID, then the status word 90 00. The tag is the UID in upper-case
// hex; 4, 7 or 10 bytes. UIDs whose first byte is 08 are random (phones,
// some cards pick a new one at every read) and are refused, since they
// can never be a stable credential.
class CardAnswer {
public:
	static	SourceEvent		Decode(const uint8_t* answer, size_t length,
								const std::string& reader);
};

#endif
