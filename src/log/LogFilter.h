#ifndef LOG_FILTER_H
#define LOG_FILTER_H

#include "LogRecord.h"

#include <SupportDefs.h>

#include <optional>
#include <string>

// Which records a reader of the log asks for; every condition that is set
// must hold.
struct LogFilter {
	// Milliseconds since the epoch; since inclusive, until exclusive.
	std::optional<int64>	since;
	std::optional<int64>	until;
	std::optional<std::string> tag;
	std::optional<int32>	relay;
	std::optional<std::string> event;
	// A read's outcome, or the result of a tag or door record (too-late,
	// lockdown).
	std::optional<std::string> outcome;
	// A door record's event ("forced", …): only door records have one.
	std::optional<std::string> doorEvent;

			bool			Matches(const LogRecord& record) const;
};

// A local date or date and time as a person types it: "2026-12-08",
// "2026-12-08 09:14", "2026-12-08 09:14:03" (or with 'T' between them), as
// milliseconds since the epoch. A date alone is the start of that day, or
// with endOfDay the start of the next one, so that "--until 2026-12-08"
// takes in the whole day. Nothing for any other text.
std::optional<int64> parse_local_time(const std::string& text,
	bool endOfDay = false);

// The time in local time as tables show it: "2026-12-08 10:14:03.127".
std::string format_local_time(int64 millisecondsSinceEpoch);

#endif
