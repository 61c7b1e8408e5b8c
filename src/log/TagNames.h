#ifndef TAG_NAMES_H
#define TAG_NAMES_H

#include <map>
#include <string>

// The tag list of the readers: $XDG_CONFIG_HOME/RDX/tags (without it
// ~/.config/RDX/tags). Empty when neither variable is set.
std::string TagListPath();

// The names that the tag list gives its tags, for showing them beside the
// tag: one tag per line, its first word the tag and the rest of the line its
// name; '#' starts a comment; tags compare in upper case.
class TagNames {
public:
	// A list that cannot be read gives no names; that is no error here.
			void			Load(const std::string& path);

	// The tag's name; empty when it is not listed or has none.
			std::string		NameOf(const std::string& tag) const;

private:
			std::map<std::string, std::string> fNames;
};

// The text in upper case (ASCII only: tags are hex or similar).
std::string upper_case(const std::string& text);

#endif
