#ifndef TAG_LIST_REFERENCE_H
#define TAG_LIST_REFERENCE_H

#include <ctime>
#include <string>
#include <vector>

// A second, plain reading of the tag list, written from the README's
// section "The list, exactly" alone and held against the library by the
// tag list fuzz target. It is meant to be checked line by line against
// that text, not to be fast or clever.

enum ReferenceVerdict {
	kReferencePass,
	kReferenceUnknown,
	kReferenceOff,
	kReferenceNotYetValid,
	kReferenceExpired,
	kReferenceOutsideHours,
	kReferenceBadRule,
	kReferencePinWanted
};

// The words rdx-reader prints for a verdict ("pass", "unknown", "off",
// "not-yet-valid", "expired", "outside-hours", "bad-rule", "pin-wanted").
const char* ReferenceVerdictWord(ReferenceVerdict verdict);

// One window of weekly hours: it opens on a day (0 Monday to 6 Sunday) at
// startMinute and closes at endMinute of the same day, or, when endMinute
// is before startMinute, of the next day. endMinute 1440 is midnight.
struct ReferenceWindow {
	int				day = 0;
	int				startMinute = 0;
	int				endMinute = 0;
};

// One `pin` item: whether it asks for the PIN always, while its hours
// hold, or while they do not.
struct ReferencePinItem {
	enum When {
		kAlways,
		kWhile,
		kOutside
	};

	When			when = kAlways;
	std::vector<ReferenceWindow> windows;
};

// What the reading kept of one tag line: its tag, whether the line can be
// read (and why not), and what its rules say.
struct ReferenceTagLine {
	int				lineNumber = 0;
	std::string		tag;
	bool			readable = false;
	std::string		whyNot;
	bool			off = false;
	bool			hasFrom = false;
	time_t			from = 0;
	bool			hasUntil = false;
	time_t			until = 0;
	bool			hasHours = false;
	std::vector<ReferenceWindow> windows;
	std::vector<ReferencePinItem> pinItems;
	bool			hasPinHash = false;
};

// The tag lines of a list in the order they stand in it; named sets are
// already resolved into the lines that use them.
struct ReferenceList {
	std::vector<ReferenceTagLine> tagLines;
};

// Reads a list. The moments of `from` and `until` are placed with the
// process's time zone as it is at the time of the call.
ReferenceList ReferenceRead(const std::string& listText);

// The line that decides for a tag (its first line), or null when the tag
// is not listed.
const ReferenceTagLine* ReferenceLineFor(const ReferenceList& list,
	const std::string& tag);

// What the list decides for a tag presented at a moment (the local wall
// clock through the C library, with the process's TZ).
ReferenceVerdict ReferenceDecide(const ReferenceList& list,
	const std::string& tag, time_t when);
ReferenceVerdict ReferenceDecide(const std::string& listText,
	const std::string& tag, time_t when);

#endif
