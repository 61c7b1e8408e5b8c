#ifndef TAG_LIST_EDITOR_H
#define TAG_LIST_EDITOR_H

#include "TagFile.h"
#include "TagList.h"

#include <SupportDefs.h>

#include <string>

// Changes to the tag list as a person makes them in a window: a tag's line
// or a named set of hours is added, changed or removed, every other line
// (comments, blank lines, lines it does not understand) stays byte for
// byte where it was. Nothing reaches the disk before Save(), which writes
// atomically (TagList::Save) and only over the very text that was read:
// a list someone else changed meanwhile is never overwritten.
class TagListEditor {
public:
	explicit				TagListEditor(const std::string& path);

	// Reads the list afresh and forgets the changes. B_NOT_ALLOWED when
	// rdx-reader would refuse the list (others may write it), with the
	// reason in *problem; the list then shows empty and cannot be saved.
			status_t		Load(std::string* problem);

			const std::string& Path() const { return fList.Path(); }
			bool			IsRefused() const { return fList.IsRefused(); }
	// The list with the changes made so far.
			const TagFile&	File() const { return fFile; }
			bool			IsModified() const;

	// Adds (oldTag empty) or changes the tag's line. The rules are the
	// text after the '|' (empty: at any time). Refused, with *problem in a
	// few words, when the list could not hold it as given: the line read
	// back must say exactly the tag, the name and the rules, and its rules
	// must be readable. Another line's tag is refused too, and so is a new
	// tag for a line whose old tag is listed on a later line as well: that
	// line would count then, with whatever it says.
			status_t		SetTag(const std::string& oldTag,
								const std::string& tag,
								const std::string& name,
								const std::string& rules,
								std::string* problem);
	// The lines of many tags at once, each checked as SetTag() checks it
	// and each under its own tag: added when the tag is not listed, its
	// line changed when it is. Refused as a whole when any one is (or a
	// tag comes twice), with *refused its index; nothing is changed then.
	struct TagText {
		std::string		tag;
		std::string		name;
		std::string		rules;
	};
			status_t		SetTags(const std::vector<TagText>& tags,
								size_t* refused, std::string* problem);
	// Puts the PIN's hash (PinHash::Make's text) into the line that counts
	// for the tag: in place of its "pinhash" item, or as a new one after
	// its rules, with a "pin" item before it when none asks for the PIN
	// yet (*askedAlways is then set: the PIN is asked at every read).
	// Every other byte of the line stays.
			status_t		SetPinHash(const std::string& tag,
								const std::string& hash, bool* askedAlways,
								std::string* problem);
	// Removes every line that lists the tag: a later line of it never
	// comes into force.
			status_t		RemoveTag(const std::string& tag,
								std::string* problem);
	// Removes exactly that line (1-based): for taking away one of two lines
	// of a tag, or a line that cannot be read. The line that counts for a
	// tag or a set that a later line lists too is refused: that line would
	// count then.
			status_t		RemoveLine(int number, std::string* problem);
	// Adds (oldName empty) or changes the named set of hours "@name".
	// A renamed set takes the tags that used the old name with it: in
	// their lines only the name changes. A set defined on a later line as
	// well is not renamed (that line would count then).
			status_t		SetHours(const std::string& oldName,
								const std::string& name,
								const std::string& hours,
								std::string* problem);
	// A set still used by a tag is not removed; one that is goes with
	// every line that defines it.
			status_t		RemoveHours(const std::string& name,
								std::string* problem);

	// Whether the file on disk is no longer what Load() read.
			bool			ChangedOnDisk() const;
	// Writes the changes, holding the writers' lock from the check to the
	// rename. B_MISMATCHED_VALUES, and nothing written, when the file
	// changed on disk since it was read: the caller offers to load it.
	// B_TIMED_OUT when another writer held the lock too long.
			status_t		Save(std::string* problem);

private:
	// The text of the tag's line as SetTag() writes it, after every check
	// that needs no other line but the named sets.
			status_t		_LineFor(const std::string& tag,
								const std::string& name,
								const std::string& rules, std::string* text,
								std::string* problem) const;
			std::string		_DiskText(bool* exists) const;
			int				_IndexOfHours(const std::string& name) const;
			void			_InsertHours(const std::string& text);

			TagList			fList;
			TagFile			fFile;
	// What Load() read: the text and whether there was a file.
			std::string		fReadText;
			bool			fReadExists = false;
};

#endif
