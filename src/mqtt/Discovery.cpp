#include "Discovery.h"

#include <DeskDefs.h>

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


json
Discovery::_Device() const
{
	std::string node = Node();
	return json{
		{"identifiers", json::array({node})},
		{"name", "RDX door " + fDoor},
		{"manufacturer", "RDX"},
		{"model", "rdx-mqtt"},
		{"sw_version", fVersion},
	};
}


json
Discovery::_Entity(const std::string& object, const std::string& name,
	const std::string& availability) const
{
	std::string node = Node();
	return json{
		{"name", name},
		{"unique_id", node + "_" + object},
		{"object_id", node + "_" + object},
		{"availability_topic", availability},
		{"payload_available", "online"},
		{"payload_not_available", "offline"},
		{"device", _Device()},
	};
}


std::string
Discovery::_Topic(const char* component, const std::string& object) const
{
	return std::string("homeassistant/") + component + "/" + Node() + "/"
		+ object + "/config";
}


std::vector<Publication>
Discovery::Messages() const
{
	json device = _Device();
	auto common = [&](const std::string& object, const std::string& name) {
		return _Entity(object, name, fTopics.Availability());
	};
	auto topic = [&](const char* component, const std::string& object) {
		return _Topic(component, object);
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

	// Lockdown: on refuses every open until it is switched off again.
	json lockdown = common("lockdown", "Lockdown");
	lockdown["state_topic"] = fTopics.Lockdown();
	lockdown["command_topic"] = fTopics.LockdownSet();
	lockdown["payload_on"] = "on";
	lockdown["payload_off"] = "off";
	lockdown["state_on"] = "on";
	lockdown["state_off"] = "off";
	lockdown["icon"] = "mdi:lock-alert";
	messages.push_back(Publication{topic("switch", "lockdown"),
		lockdown.dump(), true});

	// Keep open: the minutes set keep the door open that long, 0 ends it.
	json keep = common("keep_open", "Keep open");
	keep["state_topic"] = fTopics.KeepOpen();
	keep["value_template"] = "{{ value_json.minutes | default(0) }}";
	keep["command_topic"] = fTopics.KeepOpenSet();
	keep["min"] = 0;
	keep["max"] = RDX_KEEP_OPEN_MAX / 60;
	keep["step"] = 1;
	keep["mode"] = "box";
	keep["unit_of_measurement"] = "min";
	keep["icon"] = "mdi:door-open";
	messages.push_back(Publication{topic("number", "keep_open"), keep.dump(),
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


std::vector<Publication>
Discovery::DoorMessages(bool contact, bool exit) const
{
	// The door's entities are there while rdx-door runs, whether or not
	// rdx does: a door forced while rdx restarts is still forced.
	std::string availability = fTopics.DoorAvailability();
	std::vector<Publication> messages;
	std::string doorTopic = _Topic("binary_sensor", "door");
	std::string alarmTopic = _Topic("binary_sensor", "door_alarm");
	if (contact) {
		json door = _Entity("door", "Door", availability);
		door["state_topic"] = fTopics.DoorState();
		door["device_class"] = "door";
		// "None" is Home Assistant's word for a state it cannot tell: an
		// unknown door shows as unknown, never as closed.
		door["value_template"] = "{{ {'open': 'ON', 'closed': 'OFF'}"
			".get(value, 'None') }}";
		door["payload_on"] = "ON";
		door["payload_off"] = "OFF";
		messages.push_back(Publication{doorTopic, door.dump(), true});

		json alarm = _Entity("door_alarm", "Door alarm", availability);
		alarm["state_topic"] = fTopics.DoorAlarm();
		alarm["device_class"] = "problem";
		alarm["value_template"] = "{{ 'ON' if value_json.alarms else 'OFF' }}";
		alarm["payload_on"] = "ON";
		alarm["payload_off"] = "OFF";
		alarm["json_attributes_topic"] = fTopics.DoorAlarm();
		messages.push_back(Publication{alarmTopic, alarm.dump(), true});
	} else {
		messages.push_back(Publication{doorTopic, "", true});
		messages.push_back(Publication{alarmTopic, "", true});
	}

	std::string exitTopic = _Topic("event", "exit");
	if (exit) {
		json button = _Entity("exit", "Exit button", availability);
		button["state_topic"] = fTopics.DoorExit();
		button["event_types"] = json::array({"press"});
		button["device_class"] = "button";
		button["icon"] = "mdi:exit-run";
		messages.push_back(Publication{exitTopic, button.dump(), true});
	} else
		messages.push_back(Publication{exitTopic, "", true});
	return messages;
}
