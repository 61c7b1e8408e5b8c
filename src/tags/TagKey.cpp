#include "TagKey.h"

#include <algorithm>

namespace {

inline char
upper(char c)
{
	return c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
}

}	// namespace


std::string
TagKey::Normalized(std::string_view tag)
{
	std::string normalized(tag);
	for (char& c : normalized)
		c = upper(c);
	return normalized;
}


int
TagKey::Compare(std::string_view a, std::string_view b)
{
	size_t length = std::min(a.size(), b.size());
	for (size_t i = 0; i < length; i++) {
		char x = upper(a[i]);
		char y = upper(b[i]);
		if (x != y)
			return (unsigned char)x < (unsigned char)y ? -1 : 1;
	}
	return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}
