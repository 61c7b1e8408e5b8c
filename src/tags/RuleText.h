#ifndef RULE_TEXT_H
#define RULE_TEXT_H

#include <string_view>

// Scanning the text of rules, shared by the rules and their weekly hours.
// By hand: the library's find_first_of() asks memchr() for every byte, and
// a reload of a long list reads every byte of it.
namespace rule_text {

inline bool
is_blank(char c)
{
	return c == ' ' || c == '\t';
}


inline size_t
first_blank(std::string_view text, size_t from = 0)
{
	for (size_t i = from; i < text.size(); i++) {
		if (is_blank(text[i]))
			return i;
	}
	return std::string_view::npos;
}


inline size_t
first_non_blank(std::string_view text, size_t from = 0)
{
	for (size_t i = from; i < text.size(); i++) {
		if (!is_blank(text[i]))
			return i;
	}
	return std::string_view::npos;
}


inline std::string_view
trimmed(std::string_view text)
{
	size_t start = first_non_blank(text);
	if (start == std::string_view::npos)
		return std::string_view();
	size_t end = text.size();
	while (end > start && is_blank(text[end - 1]))
		end--;
	return text.substr(start, end - start);
}


// Rules are ASCII words: the locale's case rules do not apply.
inline char
ascii_lower(char c)
{
	return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c;
}

}	// namespace rule_text

#endif
