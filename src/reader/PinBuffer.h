#ifndef PIN_BUFFER_H
#define PIN_BUFFER_H

#include <SupportDefs.h>

#include <cstddef>

// The digits of a PIN while it is typed and checked: in memory of its own
// that never goes to swap (sodium_malloc: locked, between guard pages) and
// that is overwritten when it is cleared and when it goes. No copy of the
// digits is made anywhere else: the PIN is not a std::string, whose old
// buffers would be freed without being wiped.
class PinBuffer {
public:
	// Room for more digits than any PIN has: a longer one is kept as
	// "too long" and never matches.
	static	const size_t	kCapacity = 32;

							PinBuffer();
							~PinBuffer();

							PinBuffer(const PinBuffer&) = delete;
			PinBuffer&		operator=(const PinBuffer&) = delete;

	// A digit '0' to '9'; anything else makes the PIN one that never
	// matches (a letter typed, a tag's hex).
			void			Add(char character);
	// Forgets what was typed, overwriting it.
			void			Clear();

			const char*		Data() const { return fData; }
			size_t			Length() const { return fLength; }
	// Whether it may be a PIN at all: digits only, not too long, memory
	// there.
			bool			IsUsable() const;
			bool			IsEmpty() const
								{ return fLength == 0 && !fSpoiled; }

	// Whether every key came faster than a person types (as a reader
	// types a tag): said in the line, so that a card presented where its
	// PIN was awaited is told from a mistyped PIN.
			void			SetTypedFast(bool fast) { fTypedFast = fast; }
			bool			TypedFast() const { return fTypedFast; }

	// Whether the memory could be locked (sodium_malloc); without it no
	// digit is kept and every PIN is wrong.
			bool			IsValid() const { return fData != nullptr; }

private:
			char*			fData = nullptr;
			size_t			fLength = 0;
			bool			fSpoiled = false;
			bool			fTypedFast = false;
};

#endif
