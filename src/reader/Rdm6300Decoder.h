#ifndef RDM6300_DECODER_H
#define RDM6300_DECODER_H

#include "SerialDecoder.h"

#include <string>

// The frames of RDM6300-type 125 kHz modules: STX, ten hex characters (a
// version byte and the 4-byte ID), two hex characters of checksum (the XOR
// of the five data bytes), ETX. The tag is the ID as the ten-digit decimal
// number printed on such fobs, or with hex set the ten hex characters.
class Rdm6300Decoder : public SerialDecoder {
public:
							Rdm6300Decoder(bool hex = false);

	virtual	void			Feed(const char* bytes, size_t count,
								std::vector<SourceEvent>* events) override;
	virtual	void			Reset() override;

private:
			void			_Finish(std::vector<SourceEvent>* events);
			void			_ReportNoise(std::vector<SourceEvent>* events);

			bool			fHex;
			bool			fInFrame = false;
			std::string		fFrame;
			// Bytes outside a frame since the last report: one line per
			// stretch of noise, not one per byte.
			size_t			fNoise = 0;
};

#endif
