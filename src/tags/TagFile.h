#ifndef TAG_FILE_H
#define TAG_FILE_H

#include "TagLine.h"
#include "WeeklyHours.h"

#include <SupportDefs.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The tag list's text, line by line: what each line says, which line
// counts for a tag (the first that lists it), the named sets of hours
// (defined anywhere in the file), and one problem for every line that
// cannot be used. Nothing here touches the disk.
class TagFile {
public:
	struct Problem {
		// 1-based.
		int				line;
		std::string		what;
	};

							TagFile() = default;

	// Never fails: a line that cannot be read is a problem, and only that
	// line's tag is refused.
	static	TagFile			Parse(const std::string& data);

			const std::vector<TagLine>& Lines() const { return fLines; }
	// The line that counts for the tag (any case), or null.
			const TagLine*	Find(const std::string& tag) const;
	// The numbers of every line that lists the tag, in the file's order:
	// the first is the one that counts.
			std::vector<int> LinesOf(const std::string& tag) const;
	// The named set of hours (without '@'), or null when it is not defined
	// or cannot be read.
			const WeeklyHours* NamedHours(const std::string& name) const;
	// Why a tag's line lets its tag in never (its own problem, or a named
	// set it uses that is not defined); empty when it can be used.
			const std::string& RefusalOf(const TagLine& line) const;
			const std::vector<Problem>& Problems() const { return fProblems; }
			size_t			CountTags() const { return fIndex.size(); }

	// The bytes again: every line as it was read.
			std::string		Text() const;

	// Editing for writers; each keeps every other line as it is. index is
	// 0-based; the text is one line without '\n'.
			void			ReplaceLine(size_t index, const std::string& text);
			void			InsertLine(size_t index, const std::string& text);
			void			RemoveLine(size_t index);
			void			AppendLine(const std::string& text);
	// Many lines at once, the file indexed once after them all (a list of
	// ten thousand is indexed in milliseconds, but not a thousand times):
	// first each replaced line, then the appended ones in their order.
			void			EditLines(const std::vector<std::pair<size_t,
									std::string>>& replaced,
								const std::vector<std::string>& appended);

private:
			void			_Index();
			std::string		_UndefinedName(std::string_view rules) const;

			std::vector<TagLine> fLines;
			// Whether the last line had its '\n'.
			bool			fFinalNewline = true;
			// The lines that count for their tags (their indexes), in the
			// order of the tags: a list of ten thousand stays small.
			std::vector<uint32> fIndex;
			std::unordered_map<std::string, size_t> fNamed;
			// Why a line is refused, by its index; lines not here are not.
			std::unordered_map<size_t, std::string> fRefusals;
			std::vector<Problem> fProblems;
};

#endif
