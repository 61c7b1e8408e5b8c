#include "KeyDecoder.h"

#include <algorithm>

namespace {

const int kEnds = -2;
const int kIgnored = 0;
const int kForeign = -1;


// A FIFO in a device's place may hand over any time: far-off ones are held
// within some 35,000 years of the epoch, where the sums and differences of
// times cannot overflow.
int64_t
microseconds(const struct input_event& event)
{
	const int64_t kLimit = (int64_t)1 << 40;
	return std::clamp<int64_t>(event.input_event_sec, -kLimit, kLimit)
			* 1000000
		+ std::clamp<int64_t>(event.input_event_usec, -kLimit, kLimit);
}

}	// namespace


KeyDecoder::KeyDecoder(int keyGapMs)
	:
	fKeyGapUs((int64_t)keyGapMs * 1000)
{
}


int
KeyDecoder::_Character(int code)
{
	switch (code) {
		case KEY_1: return '1';
		case KEY_2: return '2';
		case KEY_3: return '3';
		case KEY_4: return '4';
		case KEY_5: return '5';
		case KEY_6: return '6';
		case KEY_7: return '7';
		case KEY_8: return '8';
		case KEY_9: return '9';
		case KEY_0: return '0';
		case KEY_KP0: return '0';
		case KEY_KP1: return '1';
		case KEY_KP2: return '2';
		case KEY_KP3: return '3';
		case KEY_KP4: return '4';
		case KEY_KP5: return '5';
		case KEY_KP6: return '6';
		case KEY_KP7: return '7';
		case KEY_KP8: return '8';
		case KEY_KP9: return '9';
		case KEY_A: return 'A';
		case KEY_B: return 'B';
		case KEY_C: return 'C';
		case KEY_D: return 'D';
		case KEY_E: return 'E';
		case KEY_F: return 'F';
		case KEY_ENTER:
		case KEY_KPENTER:
			return kEnds;
		// Hex readers press Shift for A-F; NumLock comes with some
		// keypad readers. Neither is part of the tag.
		case KEY_LEFTSHIFT:
		case KEY_RIGHTSHIFT:
		case KEY_NUMLOCK:
			return kIgnored;
		default:
			return kForeign;
	}
}


void
KeyDecoder::Feed(const struct input_event& event,
	std::vector<SourceEvent>* events)
{
	// Presses only: releases (0) and auto-repeat (2) are not keys typed.
	if (event.type != EV_KEY || event.value != 1)
		return;
	int character = _Character(event.code);
	int64_t now = microseconds(event);
	if (!fCollected.empty() || fTooLong) {
		if (now - fLastKeyUs > fKeyGapUs) {
			Discard((std::to_string((now - fLastKeyUs) / 1000) + " ms between"
				" two keys, longer than the key gap of "
				+ std::to_string(fKeyGapUs / 1000) + " ms").c_str(), events);
		}
	}
	fLastKeyUs = now;

	if (character == kIgnored)
		return;
	if (character == kForeign) {
		Discard(("the key with code " + std::to_string(event.code)
			+ " is not part of a tag").c_str(), events);
		return;
	}
	if (character == kEnds) {
		if (fTooLong) {
			Discard("more than 32 characters", events);
			return;
		}
		if (fCollected.empty())
			return;
		events->push_back(SourceEvent::Tag(fCollected));
		fCollected.clear();
		return;
	}
	if (fTooLong)
		return;
	if (fCollected.size() >= kMaxTagLength) {
		// Dropped at the end of the tag, so that the rest of this one is
		// not taken for a new tag.
		fTooLong = true;
		fCollected.clear();
		return;
	}
	fCollected += (char)character;
}


void
KeyDecoder::Discard(const char* why, std::vector<SourceEvent>* events)
{
	if (fCollected.empty() && !fTooLong)
		return;
	std::string what = fTooLong ? "a too long tag"
		: "\"" + fCollected + "\"";
	events->push_back(SourceEvent::Problem(what + " dropped: " + why));
	fCollected.clear();
	fTooLong = false;
}
