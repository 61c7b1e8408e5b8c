#include "ReadHistory.h"

#include <LogRecord.h>
#include <TagNames.h>

#include <nlohmann/json.hpp>


ReadHistory::ReadHistory(size_t kept)
	:
	fKept(kept)
{
}


bool
ReadHistory::Add(const LogRecord& record)
{
	if (record.Event() == "door" && !record.DoorEvent().empty())
		return _AddDoor(record);
	if (record.Event() == "lockdown" || record.Event() == "keep-open"
		|| (record.Event() == "start" && record.Program() == "rdx")) {
		_AddDesk(record);
		return false;
	}
	// rdx's own refusal of a read that reached it is a read too.
	bool refusedByRdx = record.Event() == "tag" && !record.Outcome().empty();
	if ((record.Event() != "read" && !refusedByRdx) || record.Tag().empty())
		return false;
	// The record was parsed once already; its outcome and source are read
	// here from the line, as the log wrote them.
	nlohmann::json fields = nlohmann::json::parse(record.Line(), nullptr,
		false);
	if (!fields.is_object())
		return false;
	TagRead read;
	read.time = record.Time();
	read.tag = upper_case(record.Tag());
	auto text = [&](const char* name) {
		auto found = fields.find(name);
		return found != fields.end() && found->is_string()
			? found->get<std::string>() : std::string();
	};
	read.source = refusedByRdx ? text("reader") : text("source");
	read.outcome = record.Outcome();

	fRecent.push_front(read);
	if (fRecent.size() > fKept)
		fRecent.pop_back();
	TagRead& last = fLast[read.tag];
	if (read.time >= last.time)
		last = read;
	return true;
}


const TagRead*
ReadHistory::LastSeen(const std::string& tag) const
{
	auto found = fLast.find(upper_case(tag));
	return found != fLast.end() ? &found->second : nullptr;
}


bool
ReadHistory::_AddDoor(const LogRecord& record)
{
	nlohmann::json fields = nlohmann::json::parse(record.Line(), nullptr,
		false);
	if (!fields.is_object())
		return false;
	auto text = [&](const char* name) {
		auto found = fields.find(name);
		return found != fields.end() && found->is_string()
			? found->get<std::string>() : std::string();
	};
	TagRead event;
	event.time = record.Time();
	event.door = text("door");
	if (event.door.empty())
		event.door = "door";
	event.outcome = record.DoorEvent();
	// A press that opened nothing says why: "exit: lockdown".
	std::string result = text("result");
	if (!result.empty() && result != "passed-on")
		event.outcome += ": " + result;
	event.source = text("input");
	// Beside the reads, never in a tag's "last seen".
	fRecent.push_front(event);
	if (fRecent.size() > fKept)
		fRecent.pop_back();
	return true;
}


void
ReadHistory::SetLockdown(bool on, const std::string& by)
{
	fDesk.lockdown = on ? 1 : 0;
	fDesk.lockdownBy = by;
}


void
ReadHistory::_AddDesk(const LogRecord& record)
{
	if (record.Event() == "start") {
		fDesk.keptRelay = 0;
		fDesk.keptUntil = 0;
		return;
	}
	nlohmann::json fields = nlohmann::json::parse(record.Line(), nullptr,
		false);
	if (!fields.is_object())
		return;
	auto text = [&](const char* name) {
		auto found = fields.find(name);
		return found != fields.end() && found->is_string()
			? found->get<std::string>() : std::string();
	};
	if (record.Event() == "lockdown") {
		fDesk.lockdown = text("lockdown") == "off" ? 0 : 1;
		fDesk.lockdownBy = text("by");
		return;
	}
	std::string action = text("action");
	if (action == "start" || action == "renew") {
		std::optional<int64> until = parse_record_time(text("until"));
		fDesk.keptRelay = record.Relay();
		fDesk.keptUntil = until ? *until : 0;
		fDesk.refused.clear();
	} else if (action == "end") {
		fDesk.keptRelay = 0;
		fDesk.keptUntil = 0;
	} else if (action == "refused") {
		fDesk.refused = text("why");
		fDesk.refusedBy = text("by");
	}
}
