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
