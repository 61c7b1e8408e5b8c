// door.conf as a person writes it: every line that cannot serve is named,
// a file others may write is refused, and an MQTT sensor's report is read
// one way only.

#include "TempDir.h"

#include <DoorConfig.h>

#include <gtest/gtest.h>
#include <linux/input.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(DoorConfigTest, LinesAreReadAsWritten)
{
	DoorConfig config;
	ASSERT_EQ(B_OK, config.Parse(
		"# the front door\n"
		"door = front   # a comment after a value\n"
		"held_open = 2min\n"
		"forced_grace = 1500ms\n"
		"relock = on\r\n"
		"contact = gpio gpiochip0 17 active-low bias=pull-up debounce=50ms\n"
		"exit = evdev /dev/input/by-id/usb-IO-event-kbd KEY_F1\n"
		"exit=evdev /dev/input/by-id/usb-IO-event-kbd key:60\n", "door.conf"))
		<< config.Errors()[0];
	EXPECT_EQ("front", config.door);
	EXPECT_EQ(120 * 1000000LL, config.heldOpen);
	EXPECT_EQ(1500 * 1000LL, config.forcedGrace);
	EXPECT_TRUE(config.relock);
	ASSERT_EQ(3u, config.inputs.size());
	const DoorInput& contact = config.inputs[0];
	EXPECT_EQ("contact:gpiochip0/17", contact.Name());
	EXPECT_EQ("/dev/gpiochip0", contact.chipPath);
	EXPECT_TRUE(contact.activeLow);
	EXPECT_EQ(DoorInput::kPullUp, contact.bias);
	EXPECT_EQ(50 * 1000LL, contact.debounce);
	EXPECT_FALSE(contact.ActiveIsOpen());
	EXPECT_EQ("exit:/dev/input/by-id/usb-IO-event-kbd:KEY_F1",
		config.inputs[1].Name());
	EXPECT_EQ(EV_KEY, config.inputs[2].type);
	EXPECT_EQ(KEY_F2, config.inputs[2].code);
	EXPECT_EQ(&config.inputs[0], config.Contact());
}


TEST(DoorConfigTest, EveryLineThatCannotServeIsNamed)
{
	struct Case {
		const char* text;
		// The error's start: the line that is named.
		const char* error;
	};
	const std::vector<Case> cases = {
		{"colour = red\n", "d.conf:1: unknown key \"colour\""},
		{"exit gpio gpiochip0 3\n", "d.conf:1: \"exit gpio gpiochip0 3\" is"},
		{"door = a b\n", "d.conf:1: door \"a b\""},
		{"door = a\ndoor = b\n", "d.conf:2: door is given twice"},
		// A bare number could be seconds or milliseconds.
		{"held_open = 30\n", "d.conf:1: held_open takes a time"},
		{"held_open = 0s\n", "d.conf:1: held_open takes a time"},
		{"forced_grace = 2m\n", "d.conf:1: forced_grace takes a time"},
		{"relock = yes\n", "d.conf:1: relock is on or off"},
		{"exit = gpio chip0 3\n", "d.conf:1: \"chip0\" is no GPIO chip"},
		{"exit = gpio gpiochip0 -3\n", "d.conf:1: \"-3\" is no line"},
		{"exit = gpio gpiochip0 3 bias=up\n", "d.conf:1: bias=up: bias is"},
		{"exit = gpio gpiochip0 3 active=open\n", "d.conf:1: active=open: not"},
		{"exit = gpio gpiochip0 3 debounce=2s\n", "d.conf:1: debounce=2s:"},
		{"exit = gpio gpiochip0 3 active-low active-low\n",
			"d.conf:1: active-low: given twice"},
		{"exit = evdev event3 KEY_A\n", "d.conf:1: \"event3\" is no device"},
		// A number alone could be a key or a switch.
		{"exit = evdev /dev/x 28\n", "d.conf:1: \"28\" is no key or switch"},
		{"exit = evdev /dev/x KEY_NOPE\n", "d.conf:1: \"KEY_NOPE\" is no key"},
		{"exit = evdev /dev/x KEY_A active-low\n",
			"d.conf:1: active-low: not an option"},
		{"exit = mqtt a/b x interval=1s\n",
			"d.conf:1: an exit button is a gpio or evdev input"},
		{"contact = mqtt a/+/b x interval=1s\n", "d.conf:1: \"a/+/b\" is no"},
		{"contact = mqtt a/b x\n", "d.conf:1: an MQTT contact needs"},
		{"contact = mqtt a/b x interval=1s open=1 closed=1\n",
			"d.conf:1: open and closed are both \"1\""},
		{"contact = gpio gpiochip0 1\ncontact = gpio gpiochip0 2\n",
			"d.conf:2: a door has one contact"},
		{"exit = gpio gpiochip0 1\nexit = gpio /dev/gpiochip0 1\n",
			"d.conf:2: exit:gpiochip0/1 is named already"},
		{"exit = evdev /dev/x KEY_A\x01\n", "d.conf:1: a control character"},
		{"# only a comment\n", "d.conf: names no contact and no exit button"},
	};
	for (const Case& c : cases) {
		DoorConfig config;
		EXPECT_EQ(B_BAD_VALUE, config.Parse(c.text, "d.conf")) << c.text;
		ASSERT_EQ(1u, config.Errors().size()) << c.text;
		EXPECT_EQ(0u, config.Errors()[0].find(c.error))
			<< c.text << " gave: " << config.Errors()[0];
	}

	// Each of several bad lines, not only the first; the good ones do not
	// make up for them.
	DoorConfig config;
	EXPECT_EQ(B_BAD_VALUE, config.Parse("exit = gpio gpiochip0 1\n"
		"held_open = soon\n\nrelock = maybe\n", "d.conf"));
	ASSERT_EQ(2u, config.Errors().size());
	EXPECT_EQ(0u, config.Errors()[0].find("d.conf:2:"));
	EXPECT_EQ(0u, config.Errors()[1].find("d.conf:4:"));
}


TEST(DoorConfigTest, AFileOthersMayWriteIsRefused)
{
	TempDir directory("rdx-door-config");
	chmod(directory.Path().c_str(), 0700);
	std::string path = directory.Sub("door.conf");
	FILE* file = fopen(path.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("exit = gpio gpiochip0 27\n", file);
	fclose(file);

	struct Case {
		mode_t file;
		mode_t directory;
		status_t status;
		const char* error;
	};
	const std::vector<Case> cases = {
		{0600, 0700, B_OK, ""},
		{0644, 0755, B_OK, ""},
		{0620, 0700, B_NOT_ALLOWED, "may be written by others (mode 0620)"},
		{0602, 0700, B_NOT_ALLOWED, "may be written by others (mode 0602)"},
		{0600, 0770, B_NOT_ALLOWED, "may be written by others (mode 0770)"},
		// Only a file's owner may replace it in a sticky directory.
		{0600, 01777, B_OK, ""},
	};
	for (const Case& c : cases) {
		chmod(path.c_str(), c.file);
		chmod(directory.Path().c_str(), c.directory);
		DoorConfig config;
		EXPECT_EQ(c.status, config.Load(path)) << std::oct << c.file << " "
			<< c.directory;
		if (c.status != B_OK) {
			ASSERT_EQ(1u, config.Errors().size());
			EXPECT_NE(std::string::npos, config.Errors()[0].find(c.error))
				<< config.Errors()[0];
			EXPECT_TRUE(config.inputs.empty());
		}
	}
	chmod(directory.Path().c_str(), 0700);
	DoorConfig missing;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.Load(directory.Sub("none.conf")));
}


// Whoever may replace a directory above door.conf, or a link on the way
// to it, may replace door.conf: the whole way is looked at.
TEST(DoorConfigTest, TheWholeWayToTheFileIsLookedAt)
{
	TempDir root("rdx-door-way");
	chmod(root.Path().c_str(), 0700);
	std::string above = root.Sub("above");
	std::string below = above + "/below";
	std::string mine = root.Sub("mine");
	for (const std::string& directory : {above, below, mine})
		ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
	for (const std::string& path : {below + "/door.conf",
			mine + "/door.conf"}) {
		FILE* file = fopen(path.c_str(), "w");
		ASSERT_NE(nullptr, file);
		fputs("exit = gpio gpiochip0 27\n", file);
		fclose(file);
		chmod(path.c_str(), 0600);
	}
	// Tests run as root here: "another user" is nobody.
	const uid_t kOther = 65534;

	struct Case {
		const char*		name;
		mode_t			above;
		// The file is read through a link in "mine"; kOther's link when
		// foreign.
		bool			throughLink;
		bool			foreignLink;
		status_t		status;
		const char*		error;
	};
	const std::vector<Case> cases = {
		{"the way is the user's", 0700, false, false, B_OK, ""},
		{"a directory above others may write", 0777, false, false,
			B_NOT_ALLOWED, "the directory " },
		{"a sticky one above", 01777, false, false, B_OK, ""},
		{"a link of the user's into a way others may change", 0777, true,
			false, B_NOT_ALLOWED, "may be written by others (mode 0777)"},
		{"a link of another user", 0700, true, true, B_NOT_ALLOWED,
			"belongs to another user (uid 65534)"},
	};
	std::string link = mine + "/linked.conf";
	for (const Case& c : cases) {
		chmod(above.c_str(), c.above);
		unlink(link.c_str());
		std::string path = below + "/door.conf";
		if (c.throughLink) {
			ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));
			if (c.foreignLink) {
				ASSERT_EQ(0, lchown(link.c_str(), kOther, kOther));
			}
			path = link;
		}
		DoorConfig config;
		EXPECT_EQ(c.status, config.Load(path)) << c.name;
		if (c.status == B_OK)
			continue;
		EXPECT_EQ(1u, config.Errors().size()) << c.name;
		if (!config.Errors().empty()) {
			EXPECT_NE(std::string::npos, config.Errors()[0].find(c.error))
				<< c.name << ": " << config.Errors()[0];
		}
	}
	chmod(above.c_str(), 0700);
}


TEST(DoorConfigTest, SensorReportsAreReadOneWayOnly)
{
	DoorConfig config;
	ASSERT_EQ(B_OK, config.Parse("contact = mqtt zigbee2mqtt/front contact"
		" interval=2h\n", "d.conf"));
	const DoorInput& zigbee = config.inputs[0];
	EXPECT_EQ("contact:mqtt:zigbee2mqtt/front", zigbee.Name());
	DoorConfig raw;
	ASSERT_EQ(B_OK, raw.Parse("contact = mqtt door/state - interval=5min"
		" open=OPEN closed=CLOSED\n", "d.conf"));

	struct Case {
		const DoorInput& input;
		const char* payload;
		DoorState state;
	};
	const std::vector<Case> cases = {
		// A Zigbee contact sensor: "contact": true while the magnet is near.
		{zigbee, "{\"contact\":true,\"battery\":97}", DoorState::kClosed},
		{zigbee, "{\"battery\":97,\"contact\":false}", DoorState::kOpen},
		{zigbee, "{\"battery\":97}", DoorState::kUnknown},
		{zigbee, "{\"contact\":null}", DoorState::kUnknown},
		{zigbee, "{\"contact\":\"true\"}", DoorState::kClosed},
		{zigbee, "{\"contact\":1}", DoorState::kUnknown},
		{zigbee, "{\"contact\":[true]}", DoorState::kUnknown},
		{zigbee, "true", DoorState::kUnknown},
		{zigbee, "{\"contact\":tru", DoorState::kUnknown},
		// Given twice, the field could be read either way.
		{zigbee, "{\"contact\":false,\"contact\":true}", DoorState::kUnknown},
		{zigbee, "{\"contact\":true,\"battery\":9,\"contact\":false}",
			DoorState::kUnknown},
		{zigbee, "{\"last\":{\"contact\":false},\"contact\":true}",
			DoorState::kClosed},
		{raw.inputs[0], " OPEN\n", DoorState::kOpen},
		{raw.inputs[0], "CLOSED", DoorState::kClosed},
		{raw.inputs[0], "closed", DoorState::kUnknown},
		{raw.inputs[0], "", DoorState::kUnknown},
	};
	for (const Case& c : cases) {
		std::string reason;
		EXPECT_EQ(c.state, c.input.StateOfPayload(c.payload, &reason))
			<< c.payload;
		EXPECT_EQ(c.state == DoorState::kUnknown, !reason.empty())
			<< c.payload;
	}
}

}	// namespace
