#ifndef KEY_DECODER_H
#define KEY_DECODER_H

#include "TagSource.h"

#include <linux/input.h>

#include <string>

// Turns the key presses of a keyboard-type reader into tags. Keys are
// taken by their code, so the keyboard layout does not matter: digits
// (also on the keypad) and A-F for hex readers, Shift or not; Enter or
// keypad Enter ends a tag. A foreign key, a pause longer than the key gap
// (a person typing is never taken for a reader) or more than 32
// characters throws away what was collected, with a line.
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

	static	const size_t	kMaxTagLength = 32;

private:
	// The character of a tag key; 0 for keys that end a tag or that are
	// ignored, -1 for foreign keys.
	static	int				_Character(int code);

			int64_t			fKeyGapUs;
			std::string		fCollected;
			int64_t			fLastKeyUs = 0;
			bool			fTooLong = false;
};

#endif
