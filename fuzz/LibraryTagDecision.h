#ifndef LIBRARY_TAG_DECISION_H
#define LIBRARY_TAG_DECISION_H

#include <ctime>
#include <string>

// What the tag list library decides for a tag at a moment, in the words
// the library uses for it ("pass", "unknown", "off", "bad-rule", ...).
// The one place where the fuzz tree's plain reading of the list meets the
// library, so that the plain reading can be written without the library's
// code in view.
struct LibraryVerdict {
	// Whether the tag passes: alone, or with its PIN typed after it
	// (pinWanted).
	bool			passes = false;
	bool			pinWanted = false;
	std::string		word;
};

LibraryVerdict LibraryDecide(const std::string& listText,
	const std::string& tag, time_t when);

#endif
