// The door's side of the bridge without a broker: a sensor's messages as
// rdx-door is told them, rdx-door's notices as the broker hears them, and
// the door's Home Assistant entities.

#include <Discovery.h>
#include <DoorConfig.h>
#include <DoorNotices.h>
#include <DoorSensor.h>
#include <TopicMap.h>

#include <DoorDefs.h>
#include <Handler.h>
#include <Message.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>

namespace {

std::string
text(const BMessage& message, const char* name)
{
	const char* value = nullptr;
	return message.FindString(name, &value) == B_OK ? value : "(none)";
}


BMessage
door_notice(const char* event, const char* state, const char* alarms,
	const char* input = "", const char* extra = nullptr,
	const char* value = nullptr)
{
	BMessage notice(RDX_NOTICE_DOOR);
	notice.AddString(RDX_FIELD_DOOR, "front");
	notice.AddString(RDX_FIELD_EVENT, event);
	notice.AddString(RDX_FIELD_STATE, state);
	notice.AddString(RDX_FIELD_INPUT, input);
	notice.AddString(RDX_FIELD_ALARMS, alarms);
	if (extra != nullptr)
		notice.AddString(extra, value);
	return BHandler::MakeNotice(RDX_NOTICE_DOOR, &notice);
}

}	// namespace


TEST(DoorSensor, WhatASensorSaysIsWhatRdxDoorIsTold)
{
	DoorConfig config;
	ASSERT_EQ(config.Parse("contact = mqtt z2m/front contact interval=1h"
		" availability\n", "door.conf"), B_OK);
	DoorSensor sensor(*config.Contact());
	std::vector<std::string> topics = {"z2m/front/availability", "z2m/front"};
	EXPECT_EQ(sensor.Topics(), topics);

	struct Row {
		const char* topic;
		const char* payload;
		bool retained;
		// Null: rdx-door is told nothing.
		const char* state;
		const char* reason;
	};
	const Row rows[] = {
		{"z2m/front", "{\"contact\":false,\"battery\":97}", false, "open", ""},
		{"z2m/front", "{\"contact\":true}", false, "closed", ""},
		{"z2m/front", "{\"contact\":\"yes\"}", false, "unknown", "neither"},
		{"z2m/front", "garbage", false, "unknown", "not a JSON object"},
		{"z2m/front", "{\"battery\":3}", false, "unknown", "no \"contact\""},
		{"z2m/front", "", false, nullptr, ""},
		{"z2m/front/availability", "{\"state\":\"offline\"}", false,
			"unknown", "offline"},
		// A stored report of a sensor that is offline is its old word.
		{"z2m/front", "{\"contact\":true}", true, nullptr, ""},
		{"z2m/front/availability", "online", false, nullptr, ""},
		{"z2m/front", "{\"contact\":true}", true, "closed", ""},
		{"z2m/front/availability", " offline\n", true, "unknown", "offline"},
		// A live report is the sensor itself speaking.
		{"z2m/front", "{\"contact\":false}", false, "open", ""},
		{"z2m/front/availability", "{\"state\":\"asleep\"}", false,
			"unknown", "unreadable availability"},
		{"z2m/front/availability", "{\"state\":\"online\"}", false, nullptr,
			""},
	};
	bigtime_t now = 1000;
	for (const Row& row : rows) {
		SCOPED_TRACE(std::string(row.topic) + " " + row.payload);
		EXPECT_TRUE(sensor.Owns(row.topic));
		BMessage report;
		std::string line;
		bool told = sensor.Read(row.topic, row.payload, row.retained, now,
			&report, &line);
		ASSERT_EQ(told, row.state != nullptr) << line;
		if (!told)
			continue;
		EXPECT_EQ(report.what, (uint32)RDX_MSG_DOOR_SENSOR);
		EXPECT_EQ(text(report, RDX_FIELD_INPUT), "contact:mqtt:z2m/front");
		EXPECT_EQ(text(report, RDX_FIELD_STATE), row.state);
		if (row.reason[0] != '\0') {
			EXPECT_NE(text(report, RDX_FIELD_REASON).find(row.reason),
				std::string::npos) << text(report, RDX_FIELD_REASON);
		}
	}
	EXPECT_FALSE(sensor.Owns("z2m/front/set"));

	// The last word is told again to an rdx-door that comes back, while it
	// counts: open or closed for one report interval, unknown always.
	const bigtime_t hour = 3600 * 1000000LL;
	BMessage report;
	std::string line;
	ASSERT_TRUE(sensor.Read("z2m/front", "{\"contact\":true}", false, now,
		&report, &line));
	EXPECT_TRUE(sensor.LastReport(now + hour - 1, &report));
	EXPECT_EQ(text(report, RDX_FIELD_STATE), "closed");
	EXPECT_FALSE(sensor.LastReport(now + hour, &report));
	sensor.Unknown("the broker connection is lost", now);
	EXPECT_TRUE(sensor.LastReport(now + 48 * hour, &report));
	EXPECT_EQ(text(report, RDX_FIELD_REASON), "the broker connection is lost");
}


TEST(DoorSensor, TheAvailabilityTopicAsDoorConfNamesIt)
{
	const std::pair<const char*, const char*> rows[] = {
		{"availability", "z2m/front/availability"},
		{"availability=bridge/front/alive", "bridge/front/alive"},
		{"availability=bridge/+/alive", nullptr},
		{"availability=z2m/front", nullptr},
		{"availability=", nullptr},
	};
	for (const auto& [option, topic] : rows) {
		SCOPED_TRACE(option);
		DoorConfig config;
		status_t status = config.Parse(std::string("contact = mqtt z2m/front"
			" contact interval=1h ") + option + "\n", "door.conf");
		if (topic == nullptr) {
			EXPECT_EQ(status, B_BAD_VALUE);
			continue;
		}
		ASSERT_EQ(status, B_OK);
		EXPECT_EQ(config.Contact()->availability, topic);
	}
}


TEST(DoorNotices, TheDoorsStateAlarmsAndEventsOnTheBroker)
{
	TopicMap topics("site/front");
	DoorNotices notices(topics);
	// Before rdx-door said anything the door is unknown, never closed.
	std::vector<Publication> expected = {{"site/front/door/state", "unknown",
		true}};
	EXPECT_EQ(notices.States(), expected);

	const std::string none = "{\"alarms\":[],\"forced\":false,"
		"\"held_open\":false,\"sensor_lost\":false}";
	// A new watcher's snapshot: both states, no event.
	expected = {{"site/front/door/state", "closed", true},
		{"site/front/door/alarm", none, true}};
	EXPECT_EQ(notices.Notice(door_notice("state", "closed", ""), 1), expected);

	std::vector<Publication> opened = notices.Notice(door_notice("opened",
		"open", "", "contact:mqtt:z2m/front"), 1765155723.5);
	ASSERT_EQ(opened.size(), 2u);
	EXPECT_EQ(opened[0], (Publication{"site/front/door/state", "open", true}));
	EXPECT_EQ(opened[1].topic, "site/front/door/event");
	EXPECT_FALSE(opened[1].retained);
	nlohmann::json event = nlohmann::json::parse(opened[1].payload);
	EXPECT_EQ(event["event"], "opened");
	EXPECT_EQ(event["input"], "contact:mqtt:z2m/front");
	EXPECT_EQ(event["state"], "open");
	EXPECT_EQ(event["time"], "2025-12-08T01:02:03.500Z");

	std::vector<Publication> forced = notices.Notice(door_notice("forced",
		"open", "held-open,forced"), 2);
	ASSERT_EQ(forced.size(), 2u);
	EXPECT_EQ(forced[0], (Publication{"site/front/door/alarm",
		"{\"alarms\":[\"held-open\",\"forced\"],\"forced\":true,"
		"\"held_open\":true,\"sensor_lost\":false}", true}));
	event = nlohmann::json::parse(forced[1].payload);
	EXPECT_EQ(event["alarms"], nlohmann::json({"held-open", "forced"}));
	EXPECT_TRUE(event["input"].is_null());

	// A state rdx-door does not name is unknown; an alarm it does not name
	// is no alarm.
	std::vector<Publication> odd = notices.Notice(door_notice("sensor-lost",
		"ajar", "sensor-lost,smoke", "c", RDX_FIELD_REASON, "offline"), 4);
	ASSERT_EQ(odd.size(), 3u);
	EXPECT_EQ(odd[0], (Publication{"site/front/door/state", "unknown",
		true}));
	EXPECT_EQ(nlohmann::json::parse(odd[1].payload)["alarms"],
		nlohmann::json({"sensor-lost"}));
	EXPECT_EQ(nlohmann::json::parse(odd[2].payload)["reason"], "offline");

	notices.Notice(door_notice("closed", "closed", ""), 5);
	expected = {{"site/front/door/state", "unknown", true}};
	EXPECT_EQ(notices.Gone(), expected);
	EXPECT_TRUE(notices.Gone().empty());
	EXPECT_TRUE(notices.Notice(BMessage(RDX_NOTICE_DOOR), 6).empty());
}


TEST(Discovery, TheDoorsEntitiesFieldByField)
{
	TopicMap topics("site/front");
	Discovery discovery(topics, "front", "1.0");
	std::vector<Publication> messages = discovery.DoorMessages(true, true);
	ASSERT_EQ(messages.size(), 3u);
	std::map<std::string, nlohmann::json> entity;
	for (const Publication& message : messages) {
		EXPECT_TRUE(message.retained);
		entity[message.topic] = nlohmann::json::parse(message.payload);
	}
	const std::string door = "homeassistant/binary_sensor/rdx_front/door/config";
	const std::string alarm
		= "homeassistant/binary_sensor/rdx_front/door_alarm/config";
	const std::string exit = "homeassistant/event/rdx_front/exit/config";
	const struct {
		const std::string& topic;
		const char* field;
		nlohmann::json value;
	} rows[] = {
		{door, "device_class", "door"},
		{door, "state_topic", "site/front/door/state"},
		// Unknown shows as unknown, never as closed.
		{door, "value_template",
			"{{ {'open': 'ON', 'closed': 'OFF'}.get(value, 'None') }}"},
		{door, "payload_on", "ON"},
		{door, "payload_off", "OFF"},
		{alarm, "device_class", "problem"},
		{alarm, "state_topic", "site/front/door/alarm"},
		{alarm, "json_attributes_topic", "site/front/door/alarm"},
		{alarm, "value_template", "{{ 'ON' if value_json.alarms else 'OFF' }}"},
		{exit, "state_topic", "site/front/door/exit"},
		{exit, "event_types", {"press"}},
	};
	for (const auto& row : rows)
		EXPECT_EQ(entity[row.topic][row.field], row.value) << row.topic;
	nlohmann::json device = nlohmann::json::parse(
		discovery.Messages()[0].payload)["device"];
	for (auto& [topic, body] : entity) {
		EXPECT_EQ(body["device"], device) << topic;
		// Unavailable while rdx-door does not run, whether or not rdx does.
		EXPECT_EQ(body["availability_topic"], "site/front/door/availability");
		EXPECT_EQ(body["payload_not_available"], "offline");
	}
	EXPECT_EQ(entity[exit]["unique_id"], "rdx_front_exit");

	// Entities door.conf no longer names are taken away.
	for (const Publication& gone : discovery.DoorMessages(false, false))
		EXPECT_EQ(gone, (Publication{gone.topic, "", true}));
}
