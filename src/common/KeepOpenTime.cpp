#include "KeepOpenTime.h"

#include "DeskDefs.h"

#include <cctype>


bool
KeepOpenTime::Parse(const std::string& text, int32* _seconds,
	std::string* problem)
{
	std::string compact;
	for (char c : text) {
		if (c != ' ')
			compact += (char)tolower((unsigned char)c);
	}
	if (compact == "0") {
		*_seconds = 0;
		return true;
	}
	if (compact.empty()) {
		*problem = "no time given (e.g. 30m, 2h, 1h30m, 90s, or 0 to end)";
		return false;
	}

	int64 total = 0;
	// Each unit once, largest first: "30m2h" or "1h1h" are slips.
	int lastRank = 3;
	size_t at = 0;
	while (at < compact.size()) {
		if (!isdigit((unsigned char)compact[at])) {
			*problem = "\"" + text + "\" is no time: a number with its unit"
				" (s, m, h) is expected, e.g. 30m";
			return false;
		}
		int64 number = 0;
		size_t digits = 0;
		while (at < compact.size() && isdigit((unsigned char)compact[at])) {
			// Beyond any bound long before it could overflow.
			if (++digits > 6) {
				*problem = "\"" + text + "\" is longer than 12 hours";
				return false;
			}
			number = number * 10 + (compact[at++] - '0');
		}
		size_t unitStart = at;
		while (at < compact.size() && isalpha((unsigned char)compact[at]))
			at++;
		std::string unit = compact.substr(unitStart, at - unitStart);
		int rank;
		int64 factor;
		if (unit == "h") {
			rank = 2;
			factor = 3600;
		} else if (unit == "m" || unit == "min") {
			rank = 1;
			factor = 60;
		} else if (unit == "s") {
			rank = 0;
			factor = 1;
		} else if (unit.empty()) {
			*problem = "\"" + text + "\" has a number without its unit: 30"
				" could be seconds or minutes; write 30s or 30m";
			return false;
		} else {
			*problem = "\"" + text + "\" has the unknown unit \"" + unit
				+ "\" (s, m or min, h)";
			return false;
		}
		if (rank >= lastRank) {
			*problem = "\"" + text + "\" gives its units out of order or"
				" twice (write 1h30m)";
			return false;
		}
		lastRank = rank;
		total += number * factor;
	}
	if (total == 0) {
		*_seconds = 0;
		return true;
	}
	if (total > RDX_KEEP_OPEN_MAX) {
		*problem = "\"" + text + "\" is longer than 12 hours, the longest"
			" a door is kept open";
		return false;
	}
	*_seconds = (int32)total;
	return true;
}


std::string
KeepOpenTime::Format(int32 seconds)
{
	if (seconds <= 0)
		return "0 s";
	std::string text;
	auto part = [&](int32 amount, const char* unit) {
		if (amount == 0)
			return;
		if (!text.empty())
			text += " ";
		text += std::to_string(amount) + " " + unit;
	};
	part(seconds / 3600, "h");
	part(seconds / 60 % 60, "min");
	part(seconds % 60, "s");
	return text;
}
