// The door on the broker: a Zigbee-like contact sensor (mosquitto_pub on
// Debian's mosquitto) read by the real rdx-mqtt and posted to the real
// rdx-door, beside the real rdx and its board simulator; the door's state,
// alarms, events and entities as the broker then holds them.

#include "DoorTestSupport.h"
#include "MqttTestSupport.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <nlohmann/json.hpp>

namespace {

std::string
bridge_config(const Broker& broker, const std::string& door)
{
	return "host = 127.0.0.1\nport = " + std::to_string(broker.Port())
		+ "\ndoor = " + door + "\nprefix = site/" + door + "\n";
}


// Waits until the last message on the topic is the payload.
bool
last_is(const TopicLog& log, const std::string& topic,
	const std::string& payload)
{
	return wait_for([&] { return log.Last(topic) == payload; }, 30);
}


// The last JSON message on a topic, {} while none came.
nlohmann::json
last_json(const TopicLog& log, const std::string& topic)
{
	nlohmann::json body = nlohmann::json::parse(log.Last(topic), nullptr,
		false);
	return body.is_discarded() ? nlohmann::json::object() : body;
}

}	// namespace


TEST(MqttDoor, AZigbeeContactDrivesRdxDoorAndTheBrokerHearsTheDoor)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	TopicLog log(broker);
	Door door("front");
	ASSERT_TRUE(door.StartRdx(true, 2));
	ASSERT_TRUE(door.Board().WaitForRequest("GET /?3=1", 30));
	// The sensor's last report, kept by the broker before either starts: a
	// state, taken as the door's.
	ASSERT_TRUE(broker.Publish("z2m/front", "{\"contact\":true}", true));
	DeviceFifo button(door.Rdx().Directory(), "button");
	DoorProcess rdxDoor(door.Rdx().Directory(), "door = front\n"
		"forced_grace = 300ms\n"
		"contact = mqtt z2m/front contact interval=1h availability\n"
		"exit = evdev " + button.Path() + " KEY_F1\n");
	ASSERT_TRUE(rdxDoor.WaitFor("rdx-door: watching rdx"));
	door.WriteConfig(bridge_config(broker, "front"));
	ASSERT_TRUE(door.StartBridge());

	ASSERT_TRUE(last_is(log, "site/front/door/availability", "online"))
		<< door.BridgeErrors();
	ASSERT_TRUE(last_is(log, "site/front/door/state", "closed"))
		<< door.BridgeErrors() << rdxDoor.Output();
	ASSERT_TRUE(rdxDoor.WaitFor("front: closed (contact:mqtt:z2m/front)"));
	for (const char* entity : {"binary_sensor/rdx_front/door",
			"binary_sensor/rdx_front/door_alarm", "event/rdx_front/exit"}) {
		std::string topic = std::string("homeassistant/") + entity + "/config";
		ASSERT_TRUE(log.WaitFor(topic, "", 30)) << topic;
		EXPECT_EQ(last_json(log, topic)["availability_topic"],
			"site/front/door/availability");
	}

	// Opened with the relay closed and nobody let in: forced, on the broker
	// and in the access log.
	ASSERT_TRUE(broker.Publish("z2m/front", "{\"contact\":false}"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "open"));
	ASSERT_TRUE(wait_for([&] {
		return last_json(log, "site/front/door/alarm")["forced"] == true;
	}, 30)) << log.Text();
	ASSERT_TRUE(wait_for([&] {
		return last_json(log, "site/front/door/event")["event"] == "forced";
	}, 30));
	ASSERT_TRUE(wait_for([&] {
		return door_records(door.Rdx().AccessLogFile()).size() >= 3;
	}, 30));
	EXPECT_EQ(door_records(door.Rdx().AccessLogFile()),
		(std::vector<std::string>{"closed", "opened", "forced"}));
	EXPECT_EQ(door.Board().CountOf(Door::OpenRequest(2)), 0);

	// Closed: the alarm clears.
	ASSERT_TRUE(broker.Publish("z2m/front", "{\"contact\":true}"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "closed"));
	ASSERT_TRUE(wait_for([&] {
		return last_json(log, "site/front/door/alarm")["alarms"].empty();
	}, 30));

	// The exit button opens through rdx and is an event of its own.
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_F1, 1)));
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_F1, 0)));
	ASSERT_TRUE(door.Board().WaitForRequest(Door::OpenRequest(2), 30));
	ASSERT_TRUE(log.WaitFor("site/front/door/exit", "", 30));
	EXPECT_EQ(last_json(log, "site/front/door/exit")["event_type"], "press");

	// The sensor's bridge says it is offline: unknown, sensor lost.
	ASSERT_TRUE(broker.Publish("z2m/front/availability",
		"{\"state\":\"offline\"}"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "unknown"));
	ASSERT_TRUE(rdxDoor.WaitFor("front: sensor-lost"
		" (contact:mqtt:z2m/front): offline"));
	ASSERT_TRUE(wait_for([&] {
		return last_json(log, "site/front/door/alarm")["sensor_lost"] == true;
	}, 30));

	// It reports again; then rdx-door stops: its entities are unavailable
	// and the door unknown. Back, it hears the sensor's last word again.
	ASSERT_TRUE(broker.Publish("z2m/front", "{\"contact\":true}"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "closed"));
	EXPECT_EQ(rdxDoor.Terminate(), 0);
	ASSERT_TRUE(last_is(log, "site/front/door/availability", "offline"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "unknown"));
	DoorProcess again(door.Rdx().Directory(), "door = front\n"
		"contact = mqtt z2m/front contact interval=1h availability\n"
		"exit = evdev " + button.Path() + " KEY_F1\n");
	ASSERT_TRUE(last_is(log, "site/front/door/availability", "online"));
	ASSERT_TRUE(last_is(log, "site/front/door/state", "closed"))
		<< door.BridgeErrors();

	// rdx-mqtt ending leaves nobody to read the sensor.
	EXPECT_EQ(door.StopBridge(), 0);
	ASSERT_TRUE(again.WaitFor("front: sensor-lost (contact:mqtt:z2m/front):"
		" rdx-mqtt stopped"));
	EXPECT_EQ(again.Terminate(), 0);
}


TEST(MqttDoor, ASilentSensorAndALostBrokerAreNeverAClosedDoor)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	TopicLog log(broker);
	Door door("side");
	DoorProcess rdxDoor(door.Rdx().Directory(), "door = side\n"
		"contact = mqtt z2m/side - interval=2s open=OPEN closed=SHUT\n");
	door.WriteConfig(bridge_config(broker, "side"));
	ASSERT_TRUE(door.StartBridge());
	// Told after the bridge subscribed to the sensor: unknown until it
	// reports.
	ASSERT_TRUE(last_is(log, "site/side/door/state", "unknown"))
		<< door.BridgeErrors();
	ASSERT_TRUE(broker.Publish("z2m/side", "SHUT"));
	ASSERT_TRUE(rdxDoor.WaitFor("side: closed (contact:mqtt:z2m/side)"));
	ASSERT_TRUE(last_is(log, "site/side/door/state", "closed"));
	// Silent past its interval.
	ASSERT_TRUE(rdxDoor.WaitFor("side: sensor-lost (contact:mqtt:z2m/side):"
		" silent for 2s"));
	ASSERT_TRUE(last_is(log, "site/side/door/state", "unknown"));

	ASSERT_TRUE(broker.Publish("z2m/side", "SHUT"));
	ASSERT_TRUE(rdxDoor.WaitFor("side: closed (", 2));
	broker.Stop();
	ASSERT_TRUE(rdxDoor.WaitFor("side: sensor-lost (contact:mqtt:z2m/side):"
		" the broker connection is lost"));
	EXPECT_EQ(rdxDoor.Terminate(), 0);
}
