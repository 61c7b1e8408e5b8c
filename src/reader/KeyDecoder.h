#ifndef KEY_DECODER_H
#define KEY_DECODER_H

#include "PinBuffer.h"
#include "TagSource.h"

#include <linux/input.h>

#include <memory>
#include <string>

// Turns the key presses of a keyboard-type reader into tags. Keys are
// taken by their code, so the keyboard layout does not matter: digits
// (also on the keypad) and A-F for hex readers, Shift or not; Enter or
// keypad Enter ends a tag. A foreign key, a pause longer than the key gap
// (a person typing is never taken for a reader) or more than 32
// characters throws away what was collected, with a line.
//
// While a PIN is awaited (after a tag that wants one) the keys are the PIN
// instead: digits at a person's pace, ended by Enter, keypad Enter or '#'
// (KEY_NUMERIC_POUND, or Shift and 3 as a keyboard types it); Esc,
// Backspace, Delete and '*' start the PIN again. They go into a locked
// PinBuffer, and no line ever holds them. After a wait has ended, lines
// about dropped keys count them instead of showing them (a PIN typed too
// late is not printed) until the next tag; so do lines about digits that
// could be a PIN at any time.
class KeyDecoder {
public:
							KeyDecoder(int keyGapMs);

	// One event as the kernel reports it.
			void			Feed(const struct input_event& event,
								std::vector<SourceEvent>* events);
	// Forgets what was collected, with a line if that was anything (as
	// after the kernel dropped events).
			void			Discard(const char* why,
								std::vector<SourceEvent>* events);

	// Starts or ends the wait for a PIN; ending it overwrites the digits.
			void			AwaitPin(bool awaited);
			bool			IsAwaitingPin() const { return fAwaitingPin; }
	// The PIN typed, valid from the kPin event to AwaitPin(false); null
	// while none is awaited.
			const PinBuffer* Pin() const { return fPin.get(); }

	static	const size_t	kMaxTagLength = 32;

private:
			void			_FeedPin(int code, int64_t now,
								std::vector<SourceEvent>* events);

	// The character of a tag key; 0 for keys that end a tag or that are
	// ignored, -1 for foreign keys.
	static	int				_Character(int code);
	// Whether keys dropped as no tag could be (a piece of) somebody's PIN,
	// typed where none is awaited: at another reader, before the card,
	// after the wait. Their lines count them instead of showing them.
	static	bool			_MayBePin(const std::string& keys);

			int64_t			fKeyGapUs;
			std::string		fCollected;
			int64_t			fLastKeyUs = 0;
			bool			fTooLong = false;
			bool			fShift = false;
			bool			fAwaitingPin = false;
			// After a PIN wait: dropped keys are counted, not shown.
			bool			fQuiet = false;
			int64_t			fPinKeyUs = 0;
			int64_t			fPinLongestGapUs = 0;
			int				fPinKeys = 0;
			// Made for each wait, and let go (overwritten) when it ends:
			// an idle reader holds no locked memory.
			std::unique_ptr<PinBuffer> fPin;
};

#endif
