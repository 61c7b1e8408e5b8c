#include "RemoteCommand.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
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
	if (!isOpen && topic != topics.BoardUseSet())
		return _Refuse("ignored a message on " + topic + ": not a command");
	if (retained) {
		return _Refuse("ignored a retained command on " + topic
			+ ": a stored command never "
			+ (isOpen ? "opens the door" : "switches board use"));
	}

	std::string text = Trim(payload);
	std::string word = text;
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
		return command;
	}
	std::string lower = Lower(word);
	if (lower != "on" && lower != "off")
		return _Refuse("ignored a command on " + topic + ": \"" + Shown(word)
			+ "\" is not on or off");
	command.fKind = kBoardUse;
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
