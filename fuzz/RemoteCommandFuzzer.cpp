// Feeds arbitrary payloads to the reader of rdx-mqtt's remote commands. The
// first input byte chooses the topic (the door's open command, its board
// use switch, Home Assistant's status, another topic of the door) and
// whether the broker marked the message as retained; the rest is the
// payload.
//
// A door opens only on purpose: a retained message never acts; only the
// open topic opens and only the switch topic switches; a plain payload acts
// only as exactly PRESS, on or off; a JSON one only with that command, and
// when it says when it was sent, only within a window of a few seconds
// around that time. An open keeps the door open only when it names a
// duration, and never for longer than 12 hours. A refusal says why in one
// printable line.

#include "FuzzCheck.h"

#include <RemoteCommand.h>
#include <TopicMap.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace {

const double kNow = 1765155723.25;


std::string
trimmed(const std::string& text)
{
	size_t start = text.find_first_not_of(" \t\r\n");
	if (start == std::string::npos)
		return std::string();
	return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}


std::string
lower(std::string text)
{
	for (char& c : text) {
		if (c >= 'A' && c <= 'Z')
			c = (char)(c - 'A' + 'a');
	}
	return text;
}


bool
acts(const RemoteCommand& command)
{
	return command.What() == RemoteCommand::kOpen
		|| command.What() == RemoteCommand::kKeepOpen
		|| command.What() == RemoteCommand::kBoardUse;
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	TopicMap topics("rdx/front");
	const std::string kTopics[] = {topics.Open(), topics.BoardUseSet(),
		TopicMap::kHomeAssistantStatus, topics.BoardUse()};
	const std::string& topic = kTopics[data[0] & 3];
	bool retained = (data[0] & 4) != 0;
	std::string payload(reinterpret_cast<const char*>(data + 1), size - 1);

	RemoteCommand command = RemoteCommand::Read(topics, topic, payload,
		retained, kNow);
	for (unsigned char c : command.Refusal())
		FUZZ_CHECK(c >= 0x20 && c != 0x7f);
	if (command.What() == RemoteCommand::kHomeAssistantOnline) {
		FUZZ_CHECK(topic == TopicMap::kHomeAssistantStatus);
		return 0;
	}
	if (!acts(command)) {
		FUZZ_CHECK(topic == TopicMap::kHomeAssistantStatus
			|| !command.Refusal().empty());
		return 0;
	}
	FUZZ_CHECK(command.Refusal().empty());
	FUZZ_CHECK(!retained);
	// A keep-open is the open command with a duration.
	bool keep = command.What() == RemoteCommand::kKeepOpen;
	bool open = command.What() == RemoteCommand::kOpen || keep;
	FUZZ_CHECK(topic == (open ? topics.Open() : topics.BoardUseSet()));

	std::string text = trimmed(payload);
	std::string word = text;
	bool timed = false;
	bool duration = false;
	if (!text.empty() && text[0] == '{') {
		nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
		FUZZ_CHECK(object.is_object() && object.contains("command")
			&& object["command"].is_string());
		word = object["command"].get<std::string>();
		timed = object.contains("time");
		duration = object.contains("duration")
			&& object["duration"].is_string();
	}
	FUZZ_CHECK(keep == duration);
	if (keep)
		FUZZ_CHECK(command.Seconds() >= 0 && command.Seconds() <= 12 * 3600);
	if (open)
		FUZZ_CHECK(word == "PRESS");
	else {
		FUZZ_CHECK(lower(word) == "on" || lower(word) == "off");
		FUZZ_CHECK(command.Use() == (lower(word) == "on"));
	}

	// The same command a little more than the whole window earlier or later
	// acts again only when it carries no time.
	const double kWindow = 2 * RemoteCommand::kMaxSkew + 1;
	for (double now : {kNow - kWindow, kNow + kWindow}) {
		RemoteCommand other = RemoteCommand::Read(topics, topic, payload,
			false, now);
		FUZZ_CHECK(acts(other) == !timed);
	}
	return 0;
}
