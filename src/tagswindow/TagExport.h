#ifndef TAG_EXPORT_H
#define TAG_EXPORT_H

#include <SupportDefs.h>

#include <string>
#include <vector>

class ReadHistory;
class TagFile;

// The tag list as a CSV file for a spreadsheet: a byte order mark (so that
// a spreadsheet takes the names as UTF-8), the header row "tag, name,
// rules, last seen", then one row for each tag, in the list's order, with
// its rules as the list writes them; records end with CR LF. What the
// import reads back is exactly what the list says: a tag, its name and
// its rules.
//
// A field that a spreadsheet would take for a formula (one starting with
// '=', '+', '-' or '@', "@staff" for one) gets a "'" before it, and so
// does one that starts with "'" itself; the import takes one leading "'"
// off every field, so that both read back as they were.
class TagExport {
public:
	// The file's text. A line that lets its tag in never because it cannot
	// be read (or names a set that is not defined), and a later line of a
	// tag listed twice, are left out; *left gets a few words for each.
	// *rows: the tags written.
	static	std::string		Text(const TagFile& file,
								const ReadHistory& history, char separator,
								std::vector<std::string>* left, int* rows);
	// One field, guarded and quoted where it must be.
	static	std::string		Field(const std::string& text, char separator);
	// ';' where the desktop's numbers have a decimal comma (spreadsheets
	// there split at ';'), else ','.
	static	char			DefaultSeparator();
	// Writes the text atomically (a new file beside it, synced, renamed
	// over it), readable by the user alone: it holds people's names.
	// B_NOT_ALLOWED, and nothing written, when the path is one of the
	// files to keep (the tag list, the access log), by its name, a link
	// or another name of the same file.
	static	status_t		Write(const std::string& path,
								const std::string& text,
								const std::vector<std::string>& keep,
								std::string* problem);
};

#endif
