#ifndef TAG_LIST_AGREEMENT_H
#define TAG_LIST_AGREEMENT_H

#include <string>

// Holds the tag list library against the plain reading of the README
// (TagListReference) for one list text: for every tag the text could name
// (each line's first word, its case turned, near misses, the empty tag, an
// unlisted tag, words from the middle of lines) at a few moments, and for
// the tags whose lines have hours or dates also at many more (the week's
// days, midnight and 24:00, both clock changes of 2026 and 2027 minute by
// minute, and just before, at and just after every date and time the text
// writes, in both occurrences of a repeated hour), both must agree on
// whether the tag passes, and whether it passes only with its PIN. Where
// both refuse, their reasons may differ. A disagreement is printed in full
// (the list, the tag, the moment in UTC and local time, both verdicts) and
// then fails the fuzz target.
//
// The first call sets the process's time zone to Europe/Berlin, for good.
void CheckTagListAgreement(const std::string& text);

#endif
