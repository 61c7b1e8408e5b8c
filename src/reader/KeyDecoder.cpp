#include "KeyDecoder.h"

#include <PinHash.h>

#include <sodium.h>

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


// Empties the text and overwrites what it held: a PIN typed after its
// wait was collected here like a tag, and must not stay behind.
void
wipe(std::string& text)
{
	if (!text.empty())
		sodium_memzero(&text[0], text.size());
	text.clear();
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
	if (event.type != EV_KEY)
		return;
	// Shift held turns 3 into '#', a keypad's Enter for a PIN.
	if (event.code == KEY_LEFTSHIFT || event.code == KEY_RIGHTSHIFT)
		fShift = event.value != 0;
	// Presses only: releases (0) and auto-repeat (2) are not keys typed.
	if (event.value != 1)
		return;
	int64_t now = microseconds(event);
	if (fAwaitingPin) {
		_FeedPin(event.code, now, events);
		return;
	}
	int character = _Character(event.code);
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
		wipe(fCollected);
		fQuiet = false;
		return;
	}
	if (fTooLong)
		return;
	if (fCollected.size() >= kMaxTagLength) {
		// Dropped at the end of the tag, so that the rest of this one is
		// not taken for a new tag.
		fTooLong = true;
		wipe(fCollected);
		return;
	}
	fCollected += (char)character;
}


void
KeyDecoder::AwaitPin(bool awaited)
{
	fPin = awaited ? std::make_unique<PinBuffer>() : nullptr;
	fAwaitingPin = awaited;
	fPinKeys = 0;
	fPinLongestGapUs = 0;
	fPinKeyUs = 0;
	// Digits typed after the wait may be the PIN, too late: not shown.
	if (!awaited)
		fQuiet = true;
	wipe(fCollected);
	fTooLong = false;
}


void
KeyDecoder::_FeedPin(int code, int64_t now, std::vector<SourceEvent>* events)
{
	if (fPinKeys > 0 && now - fPinKeyUs > fPinLongestGapUs)
		fPinLongestGapUs = now - fPinKeyUs;
	fPinKeyUs = now;
	switch (code) {
		case KEY_LEFTSHIFT:
		case KEY_RIGHTSHIFT:
		case KEY_NUMLOCK:
			return;
		case KEY_ENTER:
		case KEY_KPENTER:
		case KEY_NUMERIC_POUND:
			break;
		case KEY_ESC:
		case KEY_BACKSPACE:
		case KEY_DELETE:
		case KEY_KPASTERISK:
		case KEY_NUMERIC_STAR:
			// A slip of the finger is typed again, not counted as wrong.
			fPin->Clear();
			fPinKeys = 0;
			fPinLongestGapUs = 0;
			return;
		case KEY_3:
			if (fShift)
				break;
			[[fallthrough]];
		default:
		{
			int character = _Character(code);
			if (code >= KEY_NUMERIC_0 && code <= KEY_NUMERIC_9)
				character = '0' + (code - KEY_NUMERIC_0);
			// A shifted digit is a sign; a letter is no PIN: either makes
			// this PIN one that never matches.
			fPin->Add(character > 0 && !fShift ? (char)character : '?');
			fPinKeys++;
			return;
		}
	}
	// Enter: the PIN is there to be checked. Keys that all came faster
	// than a person types are a reader typing a tag.
	fPin->SetTypedFast(fPinKeys > 1 && fPinLongestGapUs <= fKeyGapUs);
	events->push_back(SourceEvent::PinEntered());
}


bool
KeyDecoder::_MayBePin(const std::string& keys)
{
	if (keys.size() > PinHash::kLongest)
		return false;
	for (char c : keys) {
		if (c < '0' || c > '9')
			return false;
	}
	return true;
}


void
KeyDecoder::Discard(const char* why, std::vector<SourceEvent>* events)
{
	if (fAwaitingPin) {
		if (!fPin->IsEmpty())
			events->push_back(SourceEvent::Problem(std::string("the PIN"
				" typed so far is dropped: ") + why));
		fPin->Clear();
		fPinKeys = 0;
		return;
	}
	if (fCollected.empty() && !fTooLong)
		return;
	std::string what = fTooLong ? "a too long tag"
		: fQuiet || _MayBePin(fCollected)
			? std::to_string(fCollected.size()) + " keys"
		: "\"" + fCollected + "\"";
	events->push_back(SourceEvent::Problem(what + " dropped: " + why));
	wipe(fCollected);
	fTooLong = false;
}
