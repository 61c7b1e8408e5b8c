#ifndef KEEP_OPEN_TIME_H
#define KEEP_OPEN_TIME_H

#include <SupportDefs.h>

#include <string>

// How long to keep the door open, as a person writes it: "30m", "2h",
// "1h30m", "90s", "45 min", "0". Every number carries its unit (s, m or
// min, h): a bare "30" could be seconds or minutes, and a text that can be
// read two ways refuses. "0" alone needs none: it ends a keep-open. At
// most RDX_KEEP_OPEN_MAX seconds.
class KeepOpenTime {
public:
	// The seconds of the text; false with *problem saying why.
	static	bool			Parse(const std::string& text, int32* seconds,
								std::string* problem);
	// "1 h 30 min", "45 s", "0 s": the seconds as a person reads them.
	static	std::string		Format(int32 seconds);
};

#endif
