#ifndef SERIAL_DECODER_H
#define SERIAL_DECODER_H

#include "TagSource.h"

#include <cstddef>
#include <vector>

// Turns the byte stream of a serial reader into tags. A frame may arrive
// in any number of pieces: the decoder keeps what it has between calls.
class SerialDecoder {
public:
	virtual					~SerialDecoder() = default;

	virtual	void			Feed(const char* bytes, size_t count,
								std::vector<SourceEvent>* events) = 0;
	// Forgets a half-received frame, as after the device was gone.
	virtual	void			Reset() = 0;
};

#endif
