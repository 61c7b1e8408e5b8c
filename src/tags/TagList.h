#ifndef TAG_LIST_H
#define TAG_LIST_H

// The tag list: who may open the door, and when. One library reads,
// decides and writes it for rdx-reader and rdx-tags alike.
//
//	TagList list(TagList::DefaultPath());
//	std::string problem;
//	list.Load(&problem);                 // B_NOT_ALLOWED: others may write it
//	for (const TagFile::Problem& p : list.File().Problems())
//		...                              // one per line that cannot be used
//	TagDecision d = list.Decide("0014594826", LocalTime::Now());
//	d.Passes(), d.Word(), d.Line()->Number(), d.Line()->Text()
//
// The pieces, one class each:
//	LocalTime    a wall-clock moment to the minute (what rules compare with)
//	WeeklyHours  "Mo-Fr 07:00-19:00, Sa 09:00-13:00"
//	TagRules     what follows the '|': hours, @name, from, until, off
//	TagLine      one line: number, exact text, kind, tag, name, rules
//	TagFile      all lines; first line per tag counts; @name sets; problems;
//	             Text() gives the bytes back, edits keep other lines as they are
//	TagDecision  Decide(file, tag, time): pass | unknown | off | not-yet-valid
//	             | expired | outside-hours | bad-rule, and the deciding line
//	TagList      the file on disk: trust checks, load, learn (Append), Save
//	TagKey       how tags compare (ASCII letters without regard to case)
//	(PathTrust, in common/, tells whether anybody else could change the way)
//	SettledFile  reading a file only when nobody is writing it
//	TagListLock  the lock every writer holds for its read-modify-write
//
// Format: "TAG NAME… [| ITEM ; ITEM …] [# COMMENT]", "@name = HOURS", '#'
// comments; the whole grammar is README's "The list, exactly". A line
// without '|' lets its tag in at any time.

#include "LocalTime.h"
#include "TagDecision.h"
#include "TagFile.h"

#include <SupportDefs.h>

#include <functional>
#include <string>

class TagListLock;

// The list on disk. A missing or empty list holds no tag, so nothing
// passes; so does a list that others may write, which is refused as a
// whole until it is mended. A list that is being written is not taken:
// the one read before stays in force until its writer has finished.
class TagList {
public:
							TagList(const std::string& path);

			const std::string& Path() const { return fPath; }

	// Reads the file again. B_OK also for a missing file (an empty list).
	// B_NOT_ALLOWED when the file, a directory on the way to it or a link
	// on that way may be changed by someone else: *problem is one line that
	// says why and how to mend it. B_IO_ERROR when it cannot be read. In
	// both the list is empty then: a door opens only on a list that was
	// read and trusted. B_WOULD_BLOCK when a program has it open for
	// writing: the list stays as it was.
			status_t		Load(std::string* problem);

			bool			IsEmpty() const { return fFile.CountTags() == 0; }
			size_t			CountTags() const { return fFile.CountTags(); }
			bool			Exists() const { return fExists; }
			bool			IsRefused() const { return fRefused; }
			const TagFile&	File() const { return fFile; }

	// Whether a line lists the tag; *name gets its name (maybe empty).
			bool			Contains(const std::string& tag,
								std::string* name = nullptr) const;
			TagDecision		Decide(const std::string& tag,
								const LocalTime& time) const;

	// Appends the tag with a comment (a learned tag) in one write under the
	// writers' lock, and takes it into the list at once. The directory is
	// made if needed; waiting is called once if another writer holds the
	// lock. Control characters and '|' in the comment become '?'; a tag
	// that could not be read back as itself is refused.
			status_t		Append(const std::string& tag,
								const std::string& comment,
								std::string* problem,
								const std::function<void()>& waiting = {});
	// Writes the whole text atomically (a new file beside the real one,
	// 0600, synced, renamed over it, its directory synced), following a
	// link to where the list really is, and takes it as the list. Takes the
	// writers' lock unless the caller holds it already (held).
			status_t		Save(const TagFile& file, std::string* problem,
								const TagListLock* held = nullptr);

	// The file a link leads to (the path itself when it is none).
			std::string		RealPath() const;

	// The default place: $XDG_CONFIG_HOME/RDX/tags, ~/.config/RDX/tags.
	static	std::string		DefaultPath();
	// Upper case, as tags are compared.
	static	std::string		Normalized(const std::string& tag);
	// The text with every control character as '?'.
	static	std::string		Printable(const std::string& text);

private:
			void			_Take(TagFile file, bool exists, bool refused);

			std::string		fPath;
			TagFile			fFile;
			bool			fExists = false;
			bool			fRefused = false;
};

#endif
