// Feeds arbitrary input events to the decoder of keyboard-type readers: the
// input is a run of struct input_event records as an input device (or a
// FIFO named in its place) hands them over.
//
// A tag is yielded exactly when Enter is pressed after a run of 1 to 32
// tag keys (digits, A-F; Shift and NumLock do not count) that began after
// the previous Enter, foreign key or pause longer than the key gap, with no
// pause longer than the key gap within the run. The check looks back from
// each Enter, where the decoder looks forward.

#include "FuzzCheck.h"

#include <KeyDecoder.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kKeyGapMs = 100;


// The tag character of a key; 0 for keys that do not count, -1 for Enter,
// -2 for any other key.
int
character(int code)
{
	static const struct { int code; char c; } kKeys[] = {
		{KEY_0, '0'}, {KEY_1, '1'}, {KEY_2, '2'}, {KEY_3, '3'}, {KEY_4, '4'},
		{KEY_5, '5'}, {KEY_6, '6'}, {KEY_7, '7'}, {KEY_8, '8'}, {KEY_9, '9'},
		{KEY_KP0, '0'}, {KEY_KP1, '1'}, {KEY_KP2, '2'}, {KEY_KP3, '3'},
		{KEY_KP4, '4'}, {KEY_KP5, '5'}, {KEY_KP6, '6'}, {KEY_KP7, '7'},
		{KEY_KP8, '8'}, {KEY_KP9, '9'}, {KEY_A, 'A'}, {KEY_B, 'B'},
		{KEY_C, 'C'}, {KEY_D, 'D'}, {KEY_E, 'E'}, {KEY_F, 'F'},
	};
	for (const auto& key : kKeys) {
		if (key.code == code)
			return key.c;
	}
	if (code == KEY_ENTER || code == KEY_KPENTER)
		return -1;
	if (code == KEY_LEFTSHIFT || code == KEY_RIGHTSHIFT || code == KEY_NUMLOCK)
		return 0;
	return -2;
}


__int128
microseconds(const struct input_event& event)
{
	return (__int128)event.input_event_sec * 1000000 + event.input_event_usec;
}


// What the presses up to the Enter at the end of presses make a tag of.
std::string
expected_tag(const std::vector<struct input_event>& presses)
{
	std::string tag;
	__int128 next = microseconds(presses.back());
	for (size_t i = presses.size() - 1; i-- > 0;) {
		__int128 when = microseconds(presses[i]);
		if (next - when > (__int128)kKeyGapMs * 1000)
			break;
		next = when;
		int c = character(presses[i].code);
		if (c < 0)
			break;
		if (c > 0)
			tag.insert(tag.begin(), (char)c);
	}
	return tag.size() <= KeyDecoder::kMaxTagLength ? tag : std::string();
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	KeyDecoder decoder(kKeyGapMs);
	std::vector<struct input_event> presses;
	// Times so far from the epoch that they stand for no clock are taken
	// as they come, but not checked against the rule.
	bool saneTimes = true;
	for (size_t at = 0; at + sizeof(struct input_event) <= size;
			at += sizeof(struct input_event)) {
		struct input_event event;
		memcpy(&event, data + at, sizeof(event));
		std::vector<SourceEvent> events;
		decoder.Feed(event, &events);

		std::vector<std::string> tags;
		for (const SourceEvent& each : events) {
			if (each.kind == SourceEvent::kTag) {
				tags.push_back(each.text);
				FUZZ_CHECK(!each.text.empty());
				FUZZ_CHECK(each.text.size() <= KeyDecoder::kMaxTagLength);
				FUZZ_CHECK(each.text.find_first_not_of("0123456789ABCDEF")
					== std::string::npos);
			} else {
				for (unsigned char c : each.text)
					FUZZ_CHECK(c >= 0x20 && c < 0x7f);
			}
		}
		// One event makes at most a line about what it dropped and a tag.
		FUZZ_CHECK(events.size() <= 2);

		if (event.type != EV_KEY || event.value != 1) {
			FUZZ_CHECK(events.empty());
			continue;
		}
		presses.push_back(event);
		saneTimes = saneTimes && event.input_event_sec >= -(1L << 40)
			&& event.input_event_sec <= (1L << 40)
			&& event.input_event_usec >= -(1L << 40)
			&& event.input_event_usec <= (1L << 40);
		if (!saneTimes)
			continue;
		if (character(event.code) != -1) {
			FUZZ_CHECK(tags.empty());
			continue;
		}
		std::string tag = expected_tag(presses);
		FUZZ_CHECK(tags == (tag.empty() ? std::vector<std::string>()
			: std::vector<std::string>{tag}));
	}
	return 0;
}
