#ifndef TAG_KEY_H
#define TAG_KEY_H

#include <string>
#include <string_view>

// How tags compare: the ASCII letters a-z as A-Z, every other byte as it
// is, whatever the locale says; a list's order must not change with the
// desktop's language. Below every other part of the list: a line, the file
// and the list on disk all compare tags this one way.
class TagKey {
public:
	// Upper case, as tags are compared and written.
	static	std::string		Normalized(std::string_view tag);
	// <0, 0 or >0 as a sorts before, with or after b.
	static	int				Compare(std::string_view a, std::string_view b);
};

#endif
