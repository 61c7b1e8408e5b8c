#ifndef PIN_HASH_H
#define PIN_HASH_H

#include <SupportDefs.h>

#include <string>
#include <string_view>

// The PIN of a tag as the list keeps it: a salted, slow hash in the text
// that libsodium's crypto_pwhash_str() makes (Argon2id),
//
//	$argon2id$v=19$m=16384,t=2,p=1$SALT$HASH
//
// never the digits. A PIN is made here from digits held by the caller
// (who wipes them), and checked in constant time.
class PinHash {
public:
	// The cost of a new hash: the memory in KiB and the passes. Chosen so
	// that the check after a PIN's Enter keeps the door within its time on
	// a small two-core PC, and rdx-reader within 32 MiB while it checks.
	static	const uint32	kMemoryKiB = 16384;
	static	const uint32	kPasses = 3;
	// What the list takes from any Argon2id tool: a cost above this would
	// hold the reader up for everybody at every check.
	static	const uint32	kMostMemoryKiB = 65536;
	static	const uint32	kMostPasses = 10;
	// The lengths of a PIN that can be set.
	static	const size_t	kShortest = 4;
	static	const size_t	kLongest = 12;

	// Whether the text has exactly the list's form: "$argon2id$v=19$m=M,
	// t=T,p=1$" then 22 characters of salt, '$' and 43 of hash in unpadded
	// base64 (A-Z a-z 0-9 + /); M from 8 to kMostMemoryKiB and T from 1 to
	// kMostPasses, in decimal without leading zeros.
	static	bool			IsWellFormed(std::string_view text);

	// Why digits cannot be a PIN (empty when they can): 4 to 12 of 0-9,
	// and not the tag itself, which a second read of the card would type.
	static	std::string		Refusal(const char* digits, size_t length,
								const std::string& tag);
	// A new hash of the digits at the cost above; false with *problem when
	// libsodium could not make one (no memory).
	static	bool			Make(const char* digits, size_t length,
								std::string* hash, std::string* problem);
	// Whether the digits are the PIN of the hash (constant time in what
	// is compared). A hash that is not well formed never matches.
	static	bool			Verify(const std::string& hash, const char* digits,
								size_t length);
	// Overwrites the stack that a check used below the caller.
	static	void			WipeStack();
};

#endif
