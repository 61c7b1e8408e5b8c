// The bridge's logic without a broker: settings, commands, what notices
// become, and the discovery messages.

#include <Discovery.h>
#include <RdxState.h>
#include <MqttConfig.h>
#include <RemoteCommand.h>
#include <TopicMap.h>

#include <Handler.h>
#include <Message.h>
#include <DeskDefs.h>
#include <RDXDefs.h>
#include <TempDir.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool
write_file(const std::string& path, const std::string& text, mode_t mode)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
		mode);
	if (fd < 0)
		return false;
	bool written = write(fd, text.data(), text.size())
		== (ssize_t)text.size();
	fchmod(fd, mode);
	return close(fd) == 0 && written;
}


BMessage
notice(uint32 what, const BMessage& message)
{
	return BHandler::MakeNotice(what, &message);
}

}	// namespace


TEST(MqttConfig, AFullFileAndTheDefaults)
{
	TempDir temp("rdx-mqtt-config");
	std::string password = temp.Sub("secret");
	ASSERT_TRUE(write_file(password, "s3cret\nignored\n", 0600));
	std::string text =
		"# the front door\n"
		"host = broker.example\n"
		"  port=8884   # a comment after a value\n"
		"tls_ca = /etc/ca.crt\n"
		"tls_cert = /etc/me.crt\n"
		"tls_key = /etc/me.key\n"
		"username = door\n"
		"password_file = " + password + "\n"
		"client_id = front-door.1\n"
		"door = front\n"
		"prefix = site/doors/front\n"
		"\n";
	MqttConfig config;
	ASSERT_EQ(config.Parse(text, "mqtt.conf"), B_OK) << config.Error();
	ASSERT_EQ(config.Finish(), B_OK) << config.Error();
	EXPECT_EQ(config.host, "broker.example");
	EXPECT_EQ(config.port, 8884);
	EXPECT_TRUE(config.UsesTLS());
	EXPECT_EQ(config.password, "s3cret");
	EXPECT_EQ(config.clientID, "front-door.1");
	EXPECT_EQ(config.prefix, "site/doors/front");

	MqttConfig defaults;
	ASSERT_EQ(defaults.Parse("door = back\n", "x"), B_OK);
	ASSERT_EQ(defaults.Finish(), B_OK);
	EXPECT_EQ(defaults.host, "127.0.0.1");
	EXPECT_EQ(defaults.port, 1883);
	EXPECT_EQ(defaults.prefix, "rdx/back");
	EXPECT_EQ(defaults.clientID, "rdx-mqtt-back");

	MqttConfig tls;
	ASSERT_EQ(tls.Parse("tls_ca = /ca\n", "x"), B_OK);
	ASSERT_EQ(tls.Finish(), B_OK);
	EXPECT_EQ(tls.port, 8883);

	// The door defaults to the host's name, which makes a usable prefix.
	MqttConfig host;
	ASSERT_EQ(host.Finish(), B_OK);
	EXPECT_FALSE(host.door.empty());
	EXPECT_EQ(host.prefix, "rdx/" + host.door);
}


TEST(MqttConfig, EveryMistakeIsNamed)
{
	struct Case {
		std::string text;
		const char* error;
	};
	const Case cases[] = {
		{"colour = blue\n", "conf:1: unknown key \"colour\""},
		{"\n\nport = 0\n", "conf:3: port must be a number from 1 to 65535"},
		{"port = 18x\n", "not \"18x\""},
		{"port\n", "is not \"key = value\""},
		{"door = a/b\n", "door \"a/b\" must be"},
		{"client_id = \n", "client_id \"\" must be"},
		{"prefix = rdx/\n", "prefix \"rdx/\" must be a topic"},
		{"prefix = /rdx\n", "prefix \"/rdx\""},
		{"prefix = rdx/+/x\n", "without '+'"},
		{"host = a b\n", "is not a host name"},
		{"tls_ca =\n", "tls_ca needs a file name"},
		{"tls_ca = /ca\ntls_cert = /c\n", "tls_cert and tls_key go together"},
		{"tls_cert = /c\ntls_key = /k\n", "need tls_ca"},
		{"password_file = /p\n", "password_file needs a username"},
		{"username = u\npassword_file = /nonexistent/p\n",
			"/nonexistent/p: cannot read the password"},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.text);
		MqttConfig config;
		status_t status = config.Parse(testCase.text, "conf");
		if (status == B_OK)
			status = config.Finish();
		EXPECT_EQ(status, B_BAD_VALUE);
		EXPECT_NE(config.Error().find(testCase.error), std::string::npos)
			<< config.Error();
	}
}


TEST(MqttConfig, FilesThatCannotServeAreRefused)
{
	TempDir temp("rdx-mqtt-config");
	MqttConfig config;
	// Only a file asked for must exist.
	EXPECT_EQ(config.Load(temp.Sub("none.conf"), false), B_OK);
	EXPECT_EQ(config.Load(temp.Sub("none.conf"), true), B_BAD_VALUE);
	EXPECT_NE(config.Error().find(temp.Sub("none.conf") + ": cannot read it"),
		std::string::npos);
	EXPECT_EQ(config.Load(temp.Path(), true), B_BAD_VALUE);
	EXPECT_NE(config.Error().find("not a regular file"), std::string::npos);

	std::string open = temp.Sub("open-secret");
	ASSERT_TRUE(write_file(open, "pw\n", 0644));
	// Its group is others too, and so is a writer.
	std::string group = temp.Sub("group-secret");
	ASSERT_TRUE(write_file(group, "pw\n", 0640));
	std::string writable = temp.Sub("writable-secret");
	ASSERT_TRUE(write_file(writable, "pw\n", 0602));
	std::string empty = temp.Sub("empty-secret");
	ASSERT_TRUE(write_file(empty, "\n", 0600));
	for (const auto& [file, error] : {
			std::pair{open, "others may read it (mode 0644)"},
			std::pair{group, "others may read it (mode 0640)"},
			std::pair{writable, "others may read it (mode 0602)"},
			std::pair{empty, "the first line holds no password"}}) {
		MqttConfig withPassword;
		ASSERT_EQ(withPassword.Parse("username = u\npassword_file = " + file,
			"conf"), B_OK);
		EXPECT_EQ(withPassword.Finish(), B_BAD_VALUE);
		EXPECT_NE(withPassword.Error().find(error), std::string::npos)
			<< withPassword.Error();
	}
}


TEST(RemoteCommand, OnlyFreshUnderstoodCommandsAct)
{
	TopicMap topics("rdx/front");
	const double now = 1765155723.0;
	struct Case {
		const char* topic;
		std::string payload;
		bool retained;
		RemoteCommand::Kind kind;
		bool use;
		const char* refusal;
	};
	const Case cases[] = {
		{"rdx/front/open", "PRESS", false, RemoteCommand::kOpen, false, ""},
		{"rdx/front/open", " PRESS\n", false, RemoteCommand::kOpen, false, ""},
		// A stored command is never acted on, whatever it says.
		{"rdx/front/open", "PRESS", true, RemoteCommand::kNone, false,
			"ignored a retained command on rdx/front/open: a stored command"
			" never opens the door"},
		{"rdx/front/board_use/set", "on", true, RemoteCommand::kNone, false,
			"never switches board use"},
		{"rdx/front/open", "press", false, RemoteCommand::kNone, false,
			"is not PRESS"},
		{"rdx/front/open", "", false, RemoteCommand::kNone, false,
			"is not PRESS"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"time\":1765155721}",
			false, RemoteCommand::kOpen, false, ""},
		{"rdx/front/open", "{\"command\":\"PRESS\","
			"\"time\":\"2025-12-08T01:02:01.5Z\"}", false,
			RemoteCommand::kOpen, false, ""},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"time\":1765155700}",
			false, RemoteCommand::kNone, false, "sent 23 seconds ago"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"time\":1765155793}",
			false, RemoteCommand::kNone, false, "70 seconds from now"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"time\":\"yesterday\"}",
			false, RemoteCommand::kNone, false, "time is not understood"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"time\":[1]}", false,
			RemoteCommand::kNone, false, "time is not understood"},
		{"rdx/front/open", "{\"time\":1765155723}", false,
			RemoteCommand::kNone, false, "is not understood"},
		{"rdx/front/open", "{not json", false, RemoteCommand::kNone, false,
			"is not understood"},
		{"rdx/front/board_use/set", "on", false, RemoteCommand::kBoardUse,
			true, ""},
		{"rdx/front/board_use/set", "OFF", false, RemoteCommand::kBoardUse,
			false, ""},
		{"rdx/front/board_use/set", "maybe", false, RemoteCommand::kNone,
			false, "is not on or off"},
		{"rdx/other/open", "PRESS", false, RemoteCommand::kNone, false,
			"not a command"},
		{"homeassistant/status", "online", true,
			RemoteCommand::kHomeAssistantOnline, false, ""},
		{"homeassistant/status", "offline", false, RemoteCommand::kNone,
			false, ""},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(std::string(testCase.topic) + " " + testCase.payload);
		RemoteCommand command = RemoteCommand::Read(topics, testCase.topic,
			testCase.payload, testCase.retained, now);
		EXPECT_EQ(command.What(), testCase.kind);
		if (testCase.kind == RemoteCommand::kBoardUse)
			EXPECT_EQ(command.Use(), testCase.use);
		if (testCase.refusal[0] == '\0')
			EXPECT_EQ(command.Refusal(), "");
		else {
			EXPECT_NE(command.Refusal().find(testCase.refusal),
				std::string::npos) << command.Refusal();
		}
	}
}


TEST(RemoteCommand, KeepOpenAndLockdownOnlyFreshAndReadOneWay)
{
	TopicMap topics("rdx/front");
	struct Case {
		const char* topic;
		std::string payload;
		bool retained;
		RemoteCommand::Kind kind;
		// Seconds for a keep-open, 1 for lockdown on.
		int32 value;
		const char* refusal;
	};
	const Case cases[] = {
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":\"30m\"}",
			false, RemoteCommand::kKeepOpen, 1800, ""},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":\"0\"}",
			false, RemoteCommand::kKeepOpen, 0, ""},
		// A bare number could be seconds or minutes.
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":1800}",
			false, RemoteCommand::kNone, 0, "not a time with its unit"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":\"30\"}",
			false, RemoteCommand::kNone, 0, "without its unit"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":\"13h\"}",
			false, RemoteCommand::kNone, 0, "longer than 12 hours"},
		{"rdx/front/open", "{\"command\":\"PRESS\",\"duration\":\"1h\"}",
			true, RemoteCommand::kNone, 0, "never opens the door"},
		// Home Assistant's number: minutes.
		{"rdx/front/keep_open/set", "30", false, RemoteCommand::kKeepOpen,
			1800, ""},
		{"rdx/front/keep_open/set", "45.0", false, RemoteCommand::kKeepOpen,
			2700, ""},
		{"rdx/front/keep_open/set", "0", false, RemoteCommand::kKeepOpen, 0,
			""},
		{"rdx/front/keep_open/set", "2h", false, RemoteCommand::kKeepOpen,
			7200, ""},
		{"rdx/front/keep_open/set", "721", false, RemoteCommand::kNone, 0,
			"longer than 12 hours"},
		{"rdx/front/keep_open/set", "-5", false, RemoteCommand::kNone, 0,
			"is no time"},
		{"rdx/front/keep_open/set", "30", true, RemoteCommand::kNone, 0,
			"never opens the door"},
		{"rdx/front/lockdown/set", "on", false, RemoteCommand::kLockdown, 1,
			""},
		{"rdx/front/lockdown/set", "OFF", false, RemoteCommand::kLockdown, 0,
			""},
		// A stored lift must not come back after a reconnect.
		{"rdx/front/lockdown/set", "off", true, RemoteCommand::kNone, 0,
			"never sets or lifts lockdown"},
		{"rdx/front/lockdown/set", "maybe", false, RemoteCommand::kNone, 0,
			"is not on or off"},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(std::string(testCase.topic) + " " + testCase.payload);
		RemoteCommand command = RemoteCommand::Read(topics, testCase.topic,
			testCase.payload, testCase.retained, 1765155723.0);
		EXPECT_EQ(command.What(), testCase.kind);
		if (testCase.kind == RemoteCommand::kKeepOpen)
			EXPECT_EQ(command.Seconds(), testCase.value);
		if (testCase.kind == RemoteCommand::kLockdown)
			EXPECT_EQ(command.Use(), testCase.value == 1);
		EXPECT_NE(command.Refusal().find(testCase.refusal), std::string::npos)
			<< command.Refusal();
	}
}


TEST(DoorState, LockdownAndKeepOpenAreRetainedStatesAndRefusedReadsSaySo)
{
	TopicMap topics("rdx/front");
	RdxState state(topics);
	BMessage mode(RDX_NOTICE_DOOR_MODE);
	mode.AddBool(RDX_FIELD_LOCKDOWN, false);
	mode.AddInt32(RDX_FIELD_KEPT_RELAY, 2);
	mode.AddString(RDX_FIELD_KEPT_UNTIL, "2025-12-08T01:32:03.000Z");
	mode.AddInt32(RDX_FIELD_KEPT_LEFT, 1800);
	std::vector<Publication> expected = {
		{"rdx/front/lockdown", "off", true},
		{"rdx/front/keep_open", "{\"minutes\":30,\"relay\":2,\"state\":"
			"\"on\",\"until\":\"2025-12-08T01:32:03.000Z\"}", true},
	};
	EXPECT_EQ(state.Notice(notice(RDX_NOTICE_DOOR_MODE, mode), 0), expected);
	EXPECT_TRUE(state.Notice(notice(RDX_NOTICE_DOOR_MODE, mode), 0).empty());

	BMessage locked(RDX_NOTICE_DOOR_MODE);
	locked.AddBool(RDX_FIELD_LOCKDOWN, true);
	locked.AddInt32(RDX_FIELD_KEPT_RELAY, 0);
	expected = {{"rdx/front/lockdown", "on", true},
		{"rdx/front/keep_open", "{\"state\":\"off\"}", true}};
	EXPECT_EQ(state.Notice(notice(RDX_NOTICE_DOOR_MODE, locked), 0),
		expected);
	EXPECT_EQ(state.States(), expected);

	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1");
	tag.AddString(RDX_FIELD_READ_RESULT, "lockdown");
	std::vector<Publication> event = state.Notice(notice(RDX_MSG_TAG, tag),
		0);
	ASSERT_EQ(event.size(), 1u);
	EXPECT_EQ(nlohmann::json::parse(event[0].payload)["result"], "lockdown");
}


TEST(DoorState, NoticesBecomeStatesAndEvents)
{
	TopicMap topics("rdx/front");
	RdxState state(topics);
	EXPECT_TRUE(state.States().empty());

	BMessage settings(RDX_NOTICE_SETTINGS);
	settings.AddBool(RDX_FIELD_USE, true);
	settings.AddString(RDX_FIELD_IMAGE, "-xuxx---");
	std::vector<Publication> expected = {
		{"rdx/front/board_use", "on", true},
		{"rdx/front/relay/1", "closed", true},
		{"rdx/front/relay/3", "closed", true},
		{"rdx/front/relay/4", "closed", true},
	};
	EXPECT_EQ(state.Notice(notice(RDX_NOTICE_SETTINGS, settings), 0),
		expected);
	// Nothing changed, nothing to say.
	EXPECT_TRUE(state.Notice(notice(RDX_NOTICE_SETTINGS, settings), 0)
		.empty());

	BMessage report(RDX_MSG_STATUS);
	report.AddInt32(RDX_FIELD_RELAIS, 2);
	report.AddString(RDX_FIELD_IMAGE, "-xoxx---");
	report.AddInt32(RDX_FIELD_OPEN, 2);
	expected = {{"rdx/front/relay/2", "open", true}};
	EXPECT_EQ(state.Notice(notice(RDX_MSG_STATUS, report), 0), expected);
	EXPECT_EQ(state.RelayMark(2), 'o');

	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1\xff");
	tag.AddString(RDX_FIELD_READER, "mqtt");
	std::vector<Publication> event = state.Notice(notice(RDX_MSG_TAG, tag),
		1765155723.25);
	ASSERT_EQ(event.size(), 1u);
	EXPECT_EQ(event[0].topic, "rdx/front/tag");
	EXPECT_FALSE(event[0].retained);
	nlohmann::json body = nlohmann::json::parse(event[0].payload);
	EXPECT_EQ(body["tag"], "04A1\xef\xbf\xbd");
	EXPECT_EQ(body["reader"], "mqtt");
	EXPECT_EQ(body["time"], "2025-12-08T01:02:03.250Z");

	// A tag message without a tag, a close report and foreign notices say
	// nothing.
	BMessage bare(RDX_MSG_TAG);
	EXPECT_TRUE(state.Notice(notice(RDX_MSG_TAG, bare), 0).empty());
	BMessage close(RDX_MSG_CLOSE);
	close.AddInt32(RDX_FIELD_RELAIS, 2);
	EXPECT_TRUE(state.Notice(notice(RDX_MSG_CLOSE, close), 0).empty());
	EXPECT_TRUE(state.Notice(report, 0).empty());

	settings.MakeEmpty();
	settings.AddBool(RDX_FIELD_USE, false);
	expected = {{"rdx/front/board_use", "off", true}};
	EXPECT_EQ(state.Notice(notice(RDX_NOTICE_SETTINGS, settings), 0),
		expected);
	EXPECT_EQ(state.States().size(), 5u);
}


TEST(Discovery, OneDeviceWithAButtonSensorsASwitchAndATagScanner)
{
	TopicMap topics("site/front");
	Discovery discovery(topics, "front.door", "1.0");
	std::vector<Publication> messages = discovery.Messages();
	ASSERT_EQ(messages.size(), 9u);

	std::map<std::string, nlohmann::json> byTopic;
	for (const Publication& message : messages) {
		EXPECT_TRUE(message.retained) << message.topic;
		byTopic[message.topic] = nlohmann::json::parse(message.payload);
	}
	const std::string node = "homeassistant/%s/rdx_front_door/";
	auto at = [&](const std::string& component, const std::string& object) {
		std::string topic = "homeassistant/" + component
			+ "/rdx_front_door/" + object + "/config";
		EXPECT_EQ(byTopic.count(topic), 1u) << topic;
		return byTopic[topic];
	};

	nlohmann::json button = at("button", "open");
	EXPECT_EQ(button["command_topic"], "site/front/open");
	EXPECT_EQ(button["payload_press"], "PRESS");
	EXPECT_EQ(button["name"], "Open door");
	EXPECT_EQ(button["availability_topic"], "site/front/availability");
	for (int relay = 1; relay <= 4; relay++) {
		nlohmann::json sensor = at("binary_sensor",
			"relay" + std::to_string(relay));
		EXPECT_EQ(sensor["state_topic"],
			"site/front/relay/" + std::to_string(relay));
		EXPECT_EQ(sensor["payload_on"], "open");
		EXPECT_EQ(sensor["payload_off"], "closed");
	}
	nlohmann::json use = at("switch", "board_use");
	EXPECT_EQ(use["command_topic"], "site/front/board_use/set");
	EXPECT_EQ(use["state_topic"], "site/front/board_use");
	nlohmann::json lockdown = at("switch", "lockdown");
	EXPECT_EQ(lockdown["command_topic"], "site/front/lockdown/set");
	EXPECT_EQ(lockdown["state_topic"], "site/front/lockdown");
	nlohmann::json keep = at("number", "keep_open");
	EXPECT_EQ(keep["command_topic"], "site/front/keep_open/set");
	EXPECT_EQ(keep["state_topic"], "site/front/keep_open");
	EXPECT_EQ(keep["max"], 720);
	nlohmann::json scanner = at("tag", "reader");
	EXPECT_EQ(scanner["topic"], "site/front/tag");
	EXPECT_EQ(scanner["value_template"], "{{ value_json.tag }}");

	// One device, one id; every entity id is its own.
	std::set<std::string> ids;
	for (const auto& [topic, body] : byTopic) {
		EXPECT_EQ(body["device"], button["device"]) << topic;
		if (body.contains("unique_id"))
			EXPECT_TRUE(ids.insert(body["unique_id"]).second) << topic;
	}
	EXPECT_EQ(button["device"]["identifiers"][0], "rdx_front_door");
	EXPECT_EQ(button["device"]["sw_version"], "1.0");
}


TEST(MqttConfig, TheReadmeExampleIsUnderstood)
{
	// The example as the README gives it, indented by four spaces.
	std::string readme;
	{
		FILE* file = fopen(RDX_SOURCE_DIR "/README.md", "r");
		ASSERT_NE(file, nullptr);
		char buffer[4096];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
			readme.append(buffer, count);
		fclose(file);
	}
	size_t start = readme.find("    # ~/.config/RDX/mqtt.conf");
	ASSERT_NE(start, std::string::npos);
	size_t end = readme.find("\n\n", start);
	std::string example;
	for (size_t at = start; at < end;) {
		size_t newline = readme.find('\n', at);
		example += readme.substr(at + 4, newline - at - 4) + "\n";
		at = newline + 1;
	}
	MqttConfig config;
	ASSERT_EQ(config.Parse(example, "README"), B_OK) << config.Error();
	EXPECT_EQ(config.door, "front");
	EXPECT_EQ(config.prefix, "rdx/front");
	EXPECT_EQ(config.username, "front-door");
}
