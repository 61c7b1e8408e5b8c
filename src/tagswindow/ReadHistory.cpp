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
	if (record.Event() != "read" || record.Tag().empty())
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
	read.source = text("source");
	read.outcome = text("outcome");

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
	event.source = text("input");
	// Beside the reads, never in a tag's "last seen".
	fRecent.push_front(event);
	if (fRecent.size() > fKept)
		fRecent.pop_back();
	return true;
}
