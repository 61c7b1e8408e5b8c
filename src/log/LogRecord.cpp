#include "LogRecord.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace {

using nlohmann::json;


std::string
text(const json& record, const char* name)
{
	auto found = record.find(name);
	if (found == record.end() || found->is_null())
		return std::string();
	if (found->is_string())
		return found->get<std::string>();
	return found->dump(-1, ' ', false, json::error_handler_t::replace);
}


std::string
relay_result(const json& record)
{
	std::string result = text(record, "action") + " " + text(record, "result");
	std::string status = text(record, "status");
	if (text(record, "result") != "ok" && !status.empty())
		result += " (wget " + status + ")";
	std::string cause = text(record, "cause");
	std::string ms = text(record, "ms");
	result += " by " + (cause.empty() ? std::string("?") : cause);
	if (!ms.empty())
		result += ", " + ms + " ms";
	return result;
}


std::string
describe(const json& record, const std::string& event)
{
	if (event == "relay")
		return relay_result(record);
	if (event == "tag") {
		auto use = record.find("board_use");
		std::string result = use != record.end() && use->is_boolean()
			&& use->get<bool>() ? "board use on" : "board use off";
		// A read rdx refused says why, not whether it would have opened.
		std::string refused = text(record, "result");
		std::string late = text(record, "late_ms");
		if (!refused.empty())
			result = refused + (late.empty() ? "" : ", " + late + " ms late");
		std::string reader = text(record, "reader");
		if (!reader.empty())
			result += ", from " + reader;
		return result;
	}
	if (event == "read") {
		std::string source = text(record, "source");
		return text(record, "outcome")
			+ (source.empty() ? "" : " (" + source + ")");
	}
	if (event == "board-use") {
		std::string why = text(record, "why");
		return text(record, "use") + (why.empty() ? "" : " (" + why + ")");
	}
	if (event == "door") {
		// "front: forced (contact:gpiochip0/17)", "front: exit
		// (exit:gpiochip0/27): passed-on".
		std::string door = text(record, "door");
		std::string result = (door.empty() ? "" : door + ": ")
			+ text(record, "what");
		std::string input = text(record, "input");
		if (!input.empty())
			result += " (" + input + ")";
		for (const char* name : {"reason", "result"}) {
			std::string detail = text(record, name);
			if (!detail.empty())
				result += ": " + detail;
		}
		std::string late = text(record, "late_ms");
		if (!late.empty())
			result += ", " + late + " ms late";
		return result;
	}
	if (event == "lockdown") {
		// "on (rdx-tags)", "on (at start: the lockdown state ... )".
		std::string result = text(record, "lockdown");
		std::string by = text(record, "by");
		std::string why = text(record, "why");
		if (!by.empty())
			result += " by " + by;
		if (!why.empty())
			result += ": " + why;
		return result;
	}
	if (event == "keep-open") {
		// "start 30 min until 2026-12-08T10:14:03.127Z by rdx-send",
		// "end: time", "refused: lockdown".
		std::string result = text(record, "action");
		std::string seconds = text(record, "seconds");
		if (!seconds.empty())
			result += " " + seconds + " s";
		std::string until = text(record, "until");
		if (!until.empty())
			result += " until " + until;
		std::string by = text(record, "by");
		if (!by.empty())
			result += " by " + by;
		std::string why = text(record, "why");
		if (!why.empty())
			result += ": " + why;
		return result;
	}
	if (event == "setting") {
		return text(record, "setting") + ": " + text(record, "old") + " → "
			+ text(record, "new");
	}
	return text(record, "program") + " " + text(record, "pid");
}

// Whether the line nests arrays and objects no deeper than a record does,
// with room to spare. The parser would take any depth, but its tree is
// freed and printed by recursion: a line nested 200,000 deep would end the
// reader on its stack.
bool
nesting_within(const std::string& line, int limit)
{
	int depth = 0;
	bool inString = false;
	bool escaped = false;
	for (char c : line) {
		if (inString) {
			if (escaped)
				escaped = false;
			else if (c == '\\')
				escaped = true;
			else if (c == '"')
				inString = false;
			continue;
		}
		if (c == '"')
			inString = true;
		else if (c == '[' || c == '{') {
			if (++depth > limit)
				return false;
		} else if (c == ']' || c == '}')
			depth--;
	}
	return true;
}

}	// namespace


std::optional<int64>
parse_record_time(const std::string& value)
{
	int year, month, day, hour, minute, second, milliseconds;
	int used = 0;
	if (value.size() != 24 || sscanf(value.c_str(),
			"%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour,
			&minute, &second, &milliseconds, &used) != 7 || used != 24) {
		return std::nullopt;
	}
	if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23
		|| minute > 59 || second > 60 || milliseconds < 0) {
		return std::nullopt;
	}
	struct tm utc = {};
	utc.tm_year = year - 1900;
	utc.tm_mon = month - 1;
	utc.tm_mday = day;
	utc.tm_hour = hour;
	utc.tm_min = minute;
	utc.tm_sec = second;
	return (int64)timegm(&utc) * 1000 + milliseconds;
}


std::optional<LogRecord>
LogRecord::Parse(const std::string& line)
{
	// A line deeper or longer than any record is damaged, so that any line
	// is read within bounded stack and memory. The JSON reader takes a NUL
	// for the end of its input, so that a record followed by a NUL and
	// anything at all would pass: such a line is damaged too, as a power
	// cut's zeros leave it.
	if (line.size() > kMaxLine || !nesting_within(line, kMaxDepth)
		|| line.find('\0') != std::string::npos)
		return std::nullopt;
	// No exceptions: a damaged line is a value, not an error.
	json record = json::parse(line, nullptr, false);
	if (record.is_discarded() || !record.is_object())
		return std::nullopt;
	auto time = record.find("time");
	auto event = record.find("event");
	if (time == record.end() || !time->is_string() || event == record.end()
		|| !event->is_string()) {
		return std::nullopt;
	}
	std::optional<int64> when = parse_record_time(time->get<std::string>());
	if (!when)
		return std::nullopt;

	LogRecord parsed;
	parsed.fTime = *when;
	parsed.fLine = line;
	parsed.fEvent = event->get<std::string>();
	parsed.fProgram = text(record, "program");
	auto relay = record.find("relay");
	if (relay != record.end() && relay->is_number_integer())
		parsed.fRelay = relay->get<int32>();
	parsed.fTag = text(record, "tag");
	// What became of a read: rdx-reader's outcome, or why rdx (a tag
	// record) or the door (its exit) refused it.
	parsed.fOutcome = parsed.fEvent == "read" ? text(record, "outcome")
		: parsed.fEvent == "tag" || parsed.fEvent == "door"
		? text(record, "result") : std::string();
	if (parsed.fEvent == "door")
		parsed.fDoorEvent = text(record, "what");
	parsed.fResult = describe(record, parsed.fEvent);
	return parsed;
}
