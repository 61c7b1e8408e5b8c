#include "RemoteCommand.h"

#include <DeskDefs.h>
#include <KeepOpenTime.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::string
Trim(const std::string& text)
{
	size_t start = text.find_first_not_of(" \t\r\n");
	if (start == std::string::npos)
		return std::string();
	size_t end = text.find_last_not_of(" \t\r\n");
	return text.substr(start, end - start + 1);
}


std::string
Lower(std::string text)
{
	for (char& c : text)
		c = (char)tolower((unsigned char)c);
	return text;
}


// A payload as it may be shown in a line: short and printable.
std::string
Shown(const std::string& payload)
{
	std::string shown;
	for (char c : payload.substr(0, 40))
		shown += (unsigned char)c >= 0x20 && c != 0x7f ? c : '?';
	if (payload.size() > 40)
		shown += "...";
	return shown;
}


// "2026-12-08T01:02:03Z" or with fractions of a second; NAN otherwise.
double
ParseUtcTime(const std::string& text)
{
	struct tm parts = {};
	int consumed = 0;
	if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year,
			&parts.tm_mon, &parts.tm_mday, &parts.tm_hour, &parts.tm_min,
			&parts.tm_sec, &consumed) != 6)
		return NAN;
	std::string rest = text.substr((size_t)consumed);
	double fraction = 0;
	if (!rest.empty() && rest[0] == '.') {
		size_t digits = 1;
		while (digits < rest.size() && isdigit((unsigned char)rest[digits]))
			digits++;
		fraction = atof(("0" + rest.substr(0, digits)).c_str());
		rest.erase(0, digits);
	}
	if (rest != "Z" && rest != "+00:00")
		return NAN;
	parts.tm_year -= 1900;
	parts.tm_mon -= 1;
	time_t seconds = timegm(&parts);
	if (seconds == (time_t)-1)
		return NAN;
	return (double)seconds + fraction;
}

}	// namespace


RemoteCommand
RemoteCommand::Read(const TopicMap& topics, const std::string& topic,
	const std::string& payload, bool retained, double now)
{
	if (topic == TopicMap::kHomeAssistantStatus) {
		// Home Assistant keeps its status retained: a stored "online" is as
		// good as a fresh one for republishing discovery.
		RemoteCommand command;
		if (Trim(payload) == "online")
			command.fKind = kHomeAssistantOnline;
		return command;
	}

	bool isOpen = topic == topics.Open();
	bool isLockdown = topic == topics.LockdownSet();
	bool isKeepOpen = topic == topics.KeepOpenSet();
	if (!isOpen && !isLockdown && !isKeepOpen && topic != topics.BoardUseSet())
		return _Refuse("ignored a message on " + topic + ": not a command");
	// Not even a lockdown: a stored lift would come back with it.
	if (retained) {
		return _Refuse("ignored a retained command on " + topic
			+ ": a stored command never "
			+ (isOpen || isKeepOpen ? "opens the door" : isLockdown
				? "sets or lifts lockdown" : "switches board use"));
	}

	std::string text = Trim(payload);
	std::string word = text;
	std::string duration;
	bool hasDuration = false;
	if (!text.empty() && text[0] == '{') {
		// {"command": "PRESS", "time": 1765155723.5} or with the time as
		// "2026-12-08T01:02:03Z": a command that says when it was sent is
		// refused when that is not now.
		nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
		if (object.is_discarded() || !object.is_object()
			|| !object.contains("command") || !object["command"].is_string())
			return _Refuse("ignored a command on " + topic + ": \""
				+ Shown(payload) + "\" is not understood");
		word = object["command"].get<std::string>();
		if (object.contains("duration")) {
			// With its unit, as a person writes it: a bare number could be
			// seconds or minutes.
			if (!isOpen || !object["duration"].is_string())
				return _Refuse("ignored a command on " + topic + ": its"
					" duration is not a time with its unit (\"30m\")");
			duration = object["duration"].get<std::string>();
			hasDuration = true;
		}
		if (object.contains("time")) {
			const nlohmann::json& time = object["time"];
			double sent = time.is_number() ? time.get<double>()
				: time.is_string() ? ParseUtcTime(time.get<std::string>())
				: NAN;
			if (std::isnan(sent))
				return _Refuse("ignored a command on " + topic
					+ ": its time is not understood");
			if (std::fabs(now - sent) > kMaxSkew) {
				char line[160];
				snprintf(line, sizeof(line), "ignored a command on %s: it"
					" was sent %.0f seconds %s", topic.c_str(),
					std::fabs(now - sent), now > sent ? "ago" : "from now");
				return _Refuse(line);
			}
		}
	}

	RemoteCommand command;
	if (isOpen) {
		if (word != "PRESS")
			return _Refuse("ignored a command on " + topic + ": \""
				+ Shown(word) + "\" is not PRESS");
		command.fKind = kOpen;
		if (!hasDuration)
			return command;
		std::string problem;
		if (!KeepOpenTime::Parse(duration, &command.fSeconds, &problem))
			return _Refuse("ignored a command on " + topic + ": " + problem);
		command.fKind = kKeepOpen;
		return command;
	}
	if (isKeepOpen) {
		// Home Assistant's number gives minutes, perhaps as "30.0".
		std::string minutes = word;
		if (minutes.size() > 2 && minutes.compare(minutes.size() - 2, 2, ".0")
				== 0)
			minutes.resize(minutes.size() - 2);
		bool digits = !minutes.empty() && minutes.size() <= 4
			&& minutes.find_first_not_of("0123456789") == std::string::npos;
		std::string problem;
		if (digits)
			command.fSeconds = atoi(minutes.c_str()) * 60;
		else if (!KeepOpenTime::Parse(word, &command.fSeconds, &problem))
			return _Refuse("ignored a command on " + topic + ": " + problem);
		if (command.fSeconds > RDX_KEEP_OPEN_MAX)
			return _Refuse("ignored a command on " + topic + ": \""
				+ Shown(word) + "\" minutes is longer than 12 hours");
		command.fKind = kKeepOpen;
		return command;
	}
	std::string lower = Lower(word);
	if (lower != "on" && lower != "off")
		return _Refuse("ignored a command on " + topic + ": \"" + Shown(word)
			+ "\" is not on or off");
	command.fKind = isLockdown ? kLockdown : kBoardUse;
	command.fUse = lower == "on";
	return command;
}


RemoteCommand
RemoteCommand::_Refuse(const std::string& why)
{
	RemoteCommand command;
	command.fRefusal = why;
	return command;
}
