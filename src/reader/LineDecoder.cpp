#include "LineDecoder.h"

#include <cctype>

namespace {

// Room for a tag with blanks around it; beyond that a line is only counted.
const size_t kMaxLine = 128;

}	// namespace


void
LineDecoder::Feed(const char* bytes, size_t count,
	std::vector<SourceEvent>* events)
{
	for (size_t i = 0; i < count; i++) {
		char byte = bytes[i];
		if (byte == '\r' || byte == '\n') {
			_Finish(events);
			continue;
		}
		if (fOverflow > 0 || fLine.size() >= kMaxLine) {
			if (fOverflow == 0)
				fOverflow = fLine.size();
			fLine.clear();
			fOverflow++;
			continue;
		}
		fLine += byte;
	}
}


void
LineDecoder::Reset()
{
	fLine.clear();
	fOverflow = 0;
}


void
LineDecoder::_Finish(std::vector<SourceEvent>* events)
{
	std::string line;
	line.swap(fLine);
	size_t overflow = fOverflow;
	fOverflow = 0;
	if (overflow > 0) {
		events->push_back(SourceEvent::Problem("line of " + std::to_string(
			overflow) + " characters, too long for a tag, dropped"));
		return;
	}

	size_t start = line.find_first_not_of(" \t");
	// An empty line is the LF of a CRLF, or a reader's idle newline.
	if (start == std::string::npos)
		return;
	size_t end = line.find_last_not_of(" \t");
	std::string tag = line.substr(start, end - start + 1);
	if (tag.size() > kMaxTagLength) {
		events->push_back(SourceEvent::Problem("line of "
			+ std::to_string(tag.size()) + " characters, longer than a tag"
			" (32), dropped"));
		return;
	}
	for (char& c : tag) {
		unsigned char u = (unsigned char)c;
		if (u >= 'a' && u <= 'z')
			c = (char)toupper(u);
		else if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z'))) {
			events->push_back(SourceEvent::Problem("line with a character"
				" that is not 0-9 or A-Z, dropped"));
			return;
		}
	}
	events->push_back(SourceEvent::Tag(tag));
}
