#ifndef TAG_LIST_H
#define TAG_LIST_H

#include <SupportDefs.h>

#include <map>
#include <string>

// The tags that may open the door: a text file, one tag per line, the
// first word the tag and the rest an optional name; '#' starts a comment.
// Tags compare in upper case. A missing or empty list holds no tag, so
// nothing passes.
class TagList {
public:
							TagList(const std::string& path);

			const std::string& Path() const { return fPath; }

	// Reads the file again. B_OK also for a missing file (an empty list);
	// an error when it exists but cannot be read, and the list is then
	// empty too: a door opens only on a list that was read.
			status_t		Load(std::string* problem);

			bool			IsEmpty() const { return fTags.empty(); }
			size_t			CountTags() const { return fTags.size(); }
			bool			Exists() const { return fExists; }
	// Whether the tag is listed; *name gets its name (maybe empty).
			bool			Contains(const std::string& tag,
								std::string* name = nullptr) const;

	// Appends the tag with a comment (a learned tag) in one write, and
	// takes it into the list at once. The directory is made if needed.
			status_t		Append(const std::string& tag,
								const std::string& comment,
								std::string* problem);

	// The default place: $XDG_CONFIG_HOME/RDX/tags, ~/.config/RDX/tags.
	static	std::string		DefaultPath();
	// Upper case, as tags are compared.
	static	std::string		Normalized(const std::string& tag);

private:
			std::string		fPath;
			std::map<std::string, std::string> fTags;
			bool			fExists = false;
};

#endif
