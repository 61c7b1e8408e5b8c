#include "RelayStatus.h"

#include <cstring>

// Static storage: every character starts as zero, so the string is empty
// until its first use.
std::atomic<char> RDX_RSTATUS[16];


std::string
CopyRelayStatus()
{
	std::string copy;
	for (const std::atomic<char>& slot : RDX_RSTATUS) {
		char c = slot.load();
		if (c == '\0')
			break;
		copy += c;
	}
	return copy;
}


void
WriteRelayStatus(const char* text)
{
	// Never past the last slot, so that the string always stays terminated.
	size_t length = strnlen(text, sizeof(RDX_RSTATUS) - 1);
	for (size_t i = 0; i < length; i++)
		RDX_RSTATUS[i].store(text[i]);
	RDX_RSTATUS[length].store('\0');
}


static std::atomic<int32> sOpensBegun[5];


int32
BeginRelayOpen(int32 relay)
{
	if (relay < 1 || relay > 4)
		return 0;
	return ++sOpensBegun[relay];
}


int32
RelayOpensBegun(int32 relay)
{
	if (relay < 1 || relay > 4)
		return 0;
	return sOpensBegun[relay].load();
}


char
RelayMark(int32 relay)
{
	if (relay < 1 || relay > 4)
		return '\0';
	return RDX_RSTATUS[relay].load();
}
