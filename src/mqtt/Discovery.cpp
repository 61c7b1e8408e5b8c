#include "Discovery.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

Discovery::Discovery(const TopicMap& topics, const std::string& door,
	const std::string& version)
	:
	fTopics(topics),
	fDoor(door),
	fVersion(version)
{
}


std::string
Discovery::Node() const
{
	// Home Assistant takes letters, digits, '_' and '-' in a node id.
	std::string node = "rdx_";
	for (char c : fDoor)
		node += isalnum((unsigned char)c) || c == '-' ? c : '_';
	return node;
}


std::vector<Publication>
Discovery::Messages() const
{
	std::string node = Node();
	json device = {
		{"identifiers", json::array({node})},
		{"name", "RDX door " + fDoor},
		{"manufacturer", "RDX"},
		{"model", "rdx-mqtt"},
		{"sw_version", fVersion},
	};
	auto common = [&](const std::string& object, const std::string& name) {
		return json{
			{"name", name},
			{"unique_id", node + "_" + object},
			{"object_id", node + "_" + object},
			{"availability_topic", fTopics.Availability()},
			{"payload_available", "online"},
			{"payload_not_available", "offline"},
			{"device", device},
		};
	};
	auto topic = [&](const char* component, const std::string& object) {
		return std::string("homeassistant/") + component + "/" + node + "/"
			+ object + "/config";
	};

	std::vector<Publication> messages;
	json button = common("open", "Open door");
	button["command_topic"] = fTopics.Open();
	button["payload_press"] = "PRESS";
	button["icon"] = "mdi:door-open";
	messages.push_back(Publication{topic("button", "open"), button.dump(),
		true});

	for (int relay = 1; relay <= 4; relay++) {
		std::string object = "relay" + std::to_string(relay);
		json sensor = common(object, "Relay " + std::to_string(relay));
		sensor["state_topic"] = fTopics.Relay(relay);
		sensor["payload_on"] = "open";
		sensor["payload_off"] = "closed";
		sensor["device_class"] = "opening";
		messages.push_back(Publication{topic("binary_sensor", object),
			sensor.dump(), true});
	}

	json use = common("board_use", "Board use");
	use["state_topic"] = fTopics.BoardUse();
	use["command_topic"] = fTopics.BoardUseSet();
	use["payload_on"] = "on";
	use["payload_off"] = "off";
	use["state_on"] = "on";
	use["state_off"] = "off";
	messages.push_back(Publication{topic("switch", "board_use"), use.dump(),
		true});

	// A tag scanner has no name or availability of its own in Home
	// Assistant's scheme: a topic, how to get the tag out, the device.
	json scanner = {
		{"topic", fTopics.Tag()},
		{"value_template", "{{ value_json.tag }}"},
		{"device", device},
	};
	messages.push_back(Publication{topic("tag", "reader"), scanner.dump(),
		true});
	return messages;
}
