#ifndef LINE_DECODER_H
#define LINE_DECODER_H

#include "SerialDecoder.h"

#include <string>

// One tag per line, ended by CR, LF or CRLF: trimmed, upper case, 1 to 32
// characters of 0-9 and A-Z. Anything else is dropped with a line.
class LineDecoder : public SerialDecoder {
public:
	virtual	void			Feed(const char* bytes, size_t count,
								std::vector<SourceEvent>* events) override;
	virtual	void			Reset() override;

	static	const size_t	kMaxTagLength = 32;

private:
			void			_Finish(std::vector<SourceEvent>* events);

			std::string		fLine;
			// The line grew past any tag: only its length is kept.
			size_t			fOverflow = 0;
};

#endif
