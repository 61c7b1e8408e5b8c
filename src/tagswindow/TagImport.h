#ifndef TAG_IMPORT_H
#define TAG_IMPORT_H

#include <TagListEditor.h>

#include <SupportDefs.h>

#include <memory>
#include <string>
#include <vector>

// A CSV file (as TagExport writes it, or a spreadsheet saves it) merged
// into the tag list. The header row names the columns: "tag", "name" and
// "rules" (in German "Regeln") must be there, in any order; "last seen"
// and columns of the spreadsheet's own are not read. Each row is a tag:
// one the list does not have is new; one it has with the same name and
// rules is left alone, byte for byte; one it has with another name or
// other rules (or whose line cannot be read) differs, and is changed only
// when the person chooses the file's version for it.
//
// Every row is checked before anything is changed, by the list's own
// editor: a row that cannot be read (its quotes, a tag the list cannot
// hold, rules the library refuses, a tag that was in an earlier row
// already, more or fewer fields than the header) refuses the whole file,
// named by its row number. What is written for a row says exactly the
// row's tag, name and rules, and nothing else.
class TagImport {
public:
	enum Kind {
		kNew,
		kSame,
		kDiffers,
	};

	struct Entry {
		int				row = 0;
		Kind			kind = kNew;
		// The file's version; the tag as the list writes it.
		std::string		tag;
		std::string		name;
		std::string		rules;
		// The list's version, for kSame and kDiffers.
		int				line = 0;
		std::string		listName;
		std::string		listRules;
		// Why the list's line lets the tag in never, when it does.
		std::string		listProblem;
		// The list's line as it was read (empty for kNew): an import
		// applied to a list changed meanwhile writes only over lines that
		// are still what the person was shown.
		std::string		listText;
		// kDiffers: the person chose the file's version.
		bool			takeFile = false;
	};

							TagImport();
							~TagImport();

	// Reads the file's text against the list the editor holds. B_OK, or
	// B_BAD_DATA with *problem naming the row ("row 7: …").
			status_t		Read(const std::string& data,
								const TagListEditor& editor,
								std::string* problem);

			std::vector<Entry>& Entries() { return fEntries; }
			const std::vector<Entry>& Entries() const { return fEntries; }
			int				Count(Kind kind) const;
			char			Separator() const { return fSeparator; }

	// Makes the changes in the editor, not yet saved: every new tag, and
	// each differing one whose file's version was chosen. On a refusal
	// the editor may be changed in part: the caller keeps a copy.
	// B_MISMATCHED_VALUES when a tag to be written is no longer listed as
	// it was when the file was read (listed meanwhile, changed, removed):
	// the file is to be read again.
			status_t		Apply(TagListEditor& editor,
								std::string* problem) const;

	// A field as the import reads it: blanks around it and one leading
	// "'" (the export's guard against formulas) taken off, when something
	// follows it: a lone "'" is not an empty field.
	static	std::string		Unguarded(const std::string& field);

private:
			status_t		_Read(const std::string& data,
								const TagListEditor& editor,
								std::string* problem);
			status_t		_Write(TagListEditor& editor, bool all,
								std::string* problem) const;

			std::vector<Entry> fEntries;
			char			fSeparator = ',';
	// The list with every row's version written, made while checking; an
	// import that takes every file's version (or finds none differing)
	// is that, as long as the list is still the one read.
			std::unique_ptr<TagListEditor> fChecked;
			std::string		fReadText;
};

#endif
