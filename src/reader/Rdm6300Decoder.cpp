#include "Rdm6300Decoder.h"

#include <cstdint>
#include <cstdio>

namespace {

const char kStx = 0x02;
const char kEtx = 0x03;
// Ten characters of data and two of checksum.
const size_t kFrameLength = 12;


int
hex_value(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}


// Printable for a line: control bytes and the like as \xNN.
std::string
shown(const std::string& bytes)
{
	std::string text;
	for (unsigned char c : bytes) {
		if (c >= 0x20 && c < 0x7f)
			text += (char)c;
		else {
			char escaped[8];
			snprintf(escaped, sizeof(escaped), "\\x%02X", c);
			text += escaped;
		}
	}
	return text;
}

}	// namespace


Rdm6300Decoder::Rdm6300Decoder(bool hex)
	:
	fHex(hex)
{
}


void
Rdm6300Decoder::Feed(const char* bytes, size_t count,
	std::vector<SourceEvent>* events)
{
	for (size_t i = 0; i < count; i++) {
		char byte = bytes[i];
		if (byte == kStx) {
			_ReportNoise(events);
			if (fInFrame) {
				events->push_back(SourceEvent::Problem("frame \""
					+ shown(fFrame) + "\" cut short by the next one,"
					" dropped"));
			}
			fInFrame = true;
			fFrame.clear();
			continue;
		}
		if (!fInFrame) {
			fNoise++;
			continue;
		}
		if (byte == kEtx) {
			_Finish(events);
			continue;
		}
		fFrame += byte;
		if (fFrame.size() > kFrameLength) {
			// Too long to be a frame: what follows up to the next STX is
			// noise.
			events->push_back(SourceEvent::Problem("frame longer than "
				+ std::to_string(kFrameLength) + " characters, dropped"));
			fInFrame = false;
			fFrame.clear();
		}
	}
	// Noise is reported when it ends, or at once when the read ended
	// outside a frame, so that a line never waits for the next tag.
	if (!fInFrame)
		_ReportNoise(events);
}


void
Rdm6300Decoder::Reset()
{
	fInFrame = false;
	fFrame.clear();
	fNoise = 0;
}


void
Rdm6300Decoder::_Finish(std::vector<SourceEvent>* events)
{
	fInFrame = false;
	std::string frame;
	frame.swap(fFrame);
	if (frame.size() != kFrameLength) {
		events->push_back(SourceEvent::Problem("frame \"" + shown(frame)
			+ "\" has " + std::to_string(frame.size()) + " characters, not "
			+ std::to_string(kFrameLength) + ", dropped"));
		return;
	}
	int data[6];
	for (int i = 0; i < 6; i++) {
		int high = hex_value(frame[2 * i]);
		int low = hex_value(frame[2 * i + 1]);
		if (high < 0 || low < 0) {
			events->push_back(SourceEvent::Problem("frame \"" + shown(frame)
				+ "\" is not hexadecimal, dropped"));
			return;
		}
		data[i] = high * 16 + low;
	}
	int sum = data[0] ^ data[1] ^ data[2] ^ data[3] ^ data[4];
	if (sum != data[5]) {
		char line[96];
		snprintf(line, sizeof(line), "frame \"%s\" has the checksum %02X,"
			" not %02X, dropped", frame.c_str(), data[5], sum);
		events->push_back(SourceEvent::Problem(line));
		return;
	}

	char tag[16];
	if (fHex) {
		for (int i = 0; i < 10; i++) {
			char c = frame[i];
			tag[i] = c >= 'a' && c <= 'f' ? (char)(c - 'a' + 'A') : c;
		}
		tag[10] = '\0';
	} else {
		// The version byte is not part of the number on the fob.
		uint32_t id = ((uint32_t)data[1] << 24) | ((uint32_t)data[2] << 16)
			| ((uint32_t)data[3] << 8) | (uint32_t)data[4];
		snprintf(tag, sizeof(tag), "%010u", (unsigned)id);
	}
	events->push_back(SourceEvent::Tag(tag));
}


void
Rdm6300Decoder::_ReportNoise(std::vector<SourceEvent>* events)
{
	if (fNoise == 0)
		return;
	events->push_back(SourceEvent::Problem(std::to_string(fNoise)
		+ (fNoise == 1 ? " byte" : " bytes") + " of noise between frames,"
		" dropped"));
	fNoise = 0;
}
