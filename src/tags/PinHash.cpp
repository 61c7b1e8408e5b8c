#include "PinHash.h"

#include <Locale.h>

#include <sodium.h>

#include <cstring>

namespace {

const size_t kSaltCharacters = 22;
const size_t kHashCharacters = 43;


bool
sodium_ready()
{
	// sodium_init() is safe to call from any thread, any number of times.
	static const bool sReady = sodium_init() >= 0;
	return sReady;
}


bool
is_base64(char c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
		|| (c >= '0' && c <= '9') || c == '+' || c == '/';
}


// Takes "NAME=N" from the front of the text: a decimal without leading
// zeros, from low to high.
bool
take_number(std::string_view& text, const char* name, uint32 low,
	uint32 high)
{
	size_t nameLength = strlen(name);
	if (text.compare(0, nameLength, name) != 0)
		return false;
	text.remove_prefix(nameLength);
	size_t digits = 0;
	uint64 value = 0;
	while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9'
		&& digits < 10) {
		value = value * 10 + (uint64)(text[digits] - '0');
		digits++;
	}
	if (digits == 0 || (digits > 1 && text[0] == '0') || value < low
		|| value > high)
		return false;
	text.remove_prefix(digits);
	return true;
}


bool
take_base64(std::string_view& text, size_t length)
{
	if (text.size() < length)
		return false;
	for (size_t i = 0; i < length; i++) {
		if (!is_base64(text[i]))
			return false;
	}
	text.remove_prefix(length);
	return true;
}

}	// namespace


bool
PinHash::IsWellFormed(std::string_view text)
{
	const std::string_view kHead = "$argon2id$v=19$";
	if (text.compare(0, kHead.size(), kHead) != 0)
		return false;
	text.remove_prefix(kHead.size());
	if (!take_number(text, "m=", 8, kMostMemoryKiB)
		|| !take_number(text, ",t=", 1, kMostPasses))
		return false;
	const std::string_view kLanes = ",p=1$";
	if (text.compare(0, kLanes.size(), kLanes) != 0)
		return false;
	text.remove_prefix(kLanes.size());
	if (!take_base64(text, kSaltCharacters) || text.empty() || text[0] != '$')
		return false;
	text.remove_prefix(1);
	return take_base64(text, kHashCharacters) && text.empty();
}


std::string
PinHash::Refusal(const char* digits, size_t length, const std::string& tag)
{
	for (size_t i = 0; i < length; i++) {
		if (digits[i] < '0' || digits[i] > '9')
			return B_TRANSLATE("a PIN is digits only (0-9)");
	}
	if (length < kShortest) {
		return translate_format("a PIN has at least %d digits",
			(int)kShortest);
	}
	if (length > kLongest)
		return translate_format("a PIN has at most %d digits", (int)kLongest);
	// The card's own number would be typed by the card itself.
	if (tag.size() == length && sodium_memcmp(tag.data(), digits, length) == 0)
		return B_TRANSLATE("a PIN must not be the tag's own number");
	return std::string();
}


bool
PinHash::Make(const char* digits, size_t length, std::string* hash,
	std::string* problem)
{
	if (!sodium_ready()) {
		*problem = B_TRANSLATE("libsodium cannot be started");
		return false;
	}
	char text[crypto_pwhash_STRBYTES];
	if (crypto_pwhash_str_alg(text, digits, length, kPasses,
			(size_t)kMemoryKiB * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0) {
		*problem = B_TRANSLATE("the PIN could not be hashed (out of memory)");
		return false;
	}
	*hash = text;
	WipeStack();
	return IsWellFormed(*hash);
}


bool
PinHash::Verify(const std::string& hash, const char* digits, size_t length)
{
	if (!sodium_ready() || !IsWellFormed(hash)
		|| hash.size() >= crypto_pwhash_STRBYTES)
		return false;
	char text[crypto_pwhash_STRBYTES] = {};
	memcpy(text, hash.data(), hash.size());
	bool right = crypto_pwhash_str_verify(text, digits, length) == 0;
	WipeStack();
	return right;
}


void
PinHash::WipeStack()
{
	// Argon2's first hash of the PIN keeps its last block on the stack.
	sodium_stackzero(16384);
}
