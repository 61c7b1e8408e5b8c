#ifndef LOG_RECORD_H
#define LOG_RECORD_H

#include <SupportDefs.h>

#include <optional>
#include <string>

// One record of the access log as a reader sees it: the line as written and
// the fields that a table or a filter asks for.
class LogRecord {
public:
	// No record is longer, or nests deeper, than these; a line that does is
	// damaged, so that any line is read within bounded memory and stack.
	static constexpr size_t kMaxLine = 65536;
	static constexpr int kMaxDepth = 16;

	// The record of one line; nothing for a line that is not a JSON object
	// with a valid "time" and an "event" (a damaged line).
	static	std::optional<LogRecord> Parse(const std::string& line);

			int64			Time() const { return fTime; }
			const std::string& Line() const { return fLine; }
			const std::string& Event() const { return fEvent; }
			const std::string& Program() const { return fProgram; }
	// 0 for records that name no relay.
			int32			Relay() const { return fRelay; }
			const std::string& Tag() const { return fTag; }
	// A read's outcome ("passed-on", "outside-hours", "lockdown", …); for a
	// tag record or a door record, its result ("too-late", "lockdown",
	// "passed-on"); empty for other records.
			const std::string& Outcome() const { return fOutcome; }
	// A door record's event ("opened", "forced", "exit", …); empty for
	// other records.
			const std::string& DoorEvent() const { return fDoorEvent; }
	// What happened, in a few words: "open ok (tag, 12.5 ms)",
	// "passed-on (serial:/dev/ttyUSB0)", "hold time: 2 → 5".
			const std::string& Result() const { return fResult; }

private:
			int64			fTime = 0;
			std::string		fLine;
			std::string		fEvent;
			std::string		fProgram;
			int32			fRelay = 0;
			std::string		fTag;
			std::string		fOutcome;
			std::string		fDoorEvent;
			std::string		fResult;
};

// The milliseconds since the epoch of a record's time
// ("2026-12-08T09:14:03.127Z"); nothing for another text.
std::optional<int64> parse_record_time(const std::string& text);

#endif
