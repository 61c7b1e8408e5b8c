// rdx-door as a user runs it, without rdx: its devices are FIFOs of real
// input_event records, rdx-mqtt's reports are posted with rdx-send, and
// what it tells its watchers is read with rdx-send --watch.

#include "DoorTestSupport.h"

#include <DoorDefs.h>

#include <gtest/gtest.h>
#include <linux/input.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string
rdx_send()
{
	return std::string(RDX_BINARY_DIR) + "/tools/rdx-send/rdx-send";
}


class DoorProgramTest : public testing::Test {
protected:
	DoorProgramTest()
		:
		fHome("rdx-door-program")
	{
	}

	void TearDown() override
	{
		if (HasFailure() && fDoor != nullptr)
			printf("---- rdx-door ----\n%s", fDoor->Output().c_str());
		fDoor.reset();
	}

	// rdx-send with the door's runtime directory; its exit status.
	int Send(const std::vector<std::string>& arguments)
	{
		std::vector<std::string> argv = {rdx_send(), "--to",
			RDX_DOOR_SIGNATURE};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		ChildProcess::Options options;
		options.environment = {{"XDG_RUNTIME_DIR", fHome.Sub("run")}};
		ChildProcess send(argv, options);
		int status = -1;
		return send.Wait(10, &status) ? status : -1;
	}

	std::string Log() const { return fHome.Sub("state/RDX/access.log"); }

	TempDir			fHome;
	std::unique_ptr<DoorProcess> fDoor;
};


TEST_F(DoorProgramTest, ExitButtonAsksOncePerPressAndNeverForAGlitch)
{
	DeviceFifo button(fHome, "button");
	fDoor = std::make_unique<DoorProcess>(fHome, "door = back\nexit = evdev "
		+ button.Path() + " KEY_ENTER debounce=50ms\n");
	ASSERT_TRUE(fDoor->WaitFor("rdx does not run; waiting for it"));

	// Held down: the key repeats, and it is still one press.
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 1)
		+ input_event(EV_KEY, KEY_ENTER, 2) + input_event(EV_KEY, KEY_ENTER, 2)));
	ASSERT_TRUE(fDoor->WaitFor("back: exit ("));
	usleep(300 * 1000);
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 2)
		+ input_event(EV_KEY, KEY_ENTER, 0)));
	// A spike shorter than the debounce time is no press; nor is another
	// key of the device.
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 1)
		+ input_event(EV_KEY, KEY_ENTER, 0) + input_event(EV_KEY, KEY_A, 1)));
	usleep(300 * 1000);
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 1)));
	ASSERT_TRUE(fDoor->WaitFor("back: exit (", 2));
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 0)));
	usleep(300 * 1000);
	// Unplugged while held down: a button that cannot be read is pressed
	// by nobody.
	ASSERT_TRUE(button.Write(input_event(EV_KEY, KEY_ENTER, 1)));
	usleep(100 * 1000);
	button.Unplug();
	ASSERT_TRUE(fDoor->WaitFor("gone; waiting for it to come back"));
	usleep(300 * 1000);

	EXPECT_EQ(3, count_of(fDoor->Output(), "back: exit (exit:" + button.Path()
		+ ":KEY_ENTER): no-rdx\n")) << fDoor->Output();
	EXPECT_EQ(0, fDoor->Terminate());
	EXPECT_EQ((std::vector<std::string>{"exit:no-rdx", "exit:no-rdx",
		"exit:no-rdx"}), door_records(Log()));
}


TEST_F(DoorProgramTest, SensorReportsReachTheWatchersAndSilenceIsALostSensor)
{
	fDoor = std::make_unique<DoorProcess>(fHome, "door = front\n"
		"contact = mqtt zigbee2mqtt/front contact interval=2s\n");
	ASSERT_TRUE(fDoor->WaitFor("rdx does not run; waiting for it"));
	ChildProcess::Options options;
	options.environment = {{"XDG_RUNTIME_DIR", fHome.Sub("run")}};
	ChildProcess watch({rdx_send(), "--to", RDX_DOOR_SIGNATURE, "--watch"},
		options);
	// The watch starts with how things stand: nothing heard yet.
	ASSERT_TRUE(watch.WaitForOutput("\"state\"", 10));

	const std::string input = "input=contact:mqtt:zigbee2mqtt/front";
	EXPECT_EQ(0, Send({"rxDs", input, "state=closed"}));
	EXPECT_EQ(0, Send({"rxDs", input, "state=open"}));
	EXPECT_EQ(0, Send({"rxDs", "input=contact:mqtt:other", "state=closed"}));
	EXPECT_EQ(0, Send({"rxDs", input, "state=ajar"}));
	ASSERT_TRUE(fDoor->WaitFor("front: opened (contact:mqtt:zigbee2mqtt/front)"
		"\n"));
	ASSERT_TRUE(fDoor->WaitFor("for contact:mqtt:other, which door.conf does"
		" not name: ignored"));
	ASSERT_TRUE(fDoor->WaitFor("that is neither open, closed nor unknown:"
		" ignored"));
	// No report for two seconds: lost, never taken for closed.
	ASSERT_TRUE(fDoor->WaitFor("front: sensor-lost (contact:mqtt:zigbee2mqtt"
		"/front): silent for 2s\n", 1, 10));
	EXPECT_EQ(0, Send({"rxDs", input, "state=unknown", "reason=offline"}));
	EXPECT_EQ(0, Send({"rxDs", input, "state=closed"}));
	ASSERT_TRUE(fDoor->WaitFor("front: closed (", 2));

	ASSERT_TRUE(wait_for([&] {
		return count_of(watch.Output(), "NTCH") >= 5;
	}, 10)) << watch.Output();
	std::vector<std::string> events;
	std::string text = watch.Output();
	const std::string marker = "entry          event, type='CSTR', c=1, size=";
	for (size_t at = text.find(marker); at != std::string::npos;
			at = text.find(marker, at + 1)) {
		size_t quote = text.find('"', at);
		events.push_back(text.substr(quote + 1,
			text.find('"', quote + 1) - quote - 1));
	}
	EXPECT_EQ((std::vector<std::string>{"state", "closed", "opened",
		"sensor-lost", "closed"}), events) << text;
	EXPECT_NE(std::string::npos, text.find("\"sensor-lost\"")) << text;
	EXPECT_EQ(0, fDoor->Terminate());
	EXPECT_EQ((std::vector<std::string>{"closed", "opened", "sensor-lost",
		"closed"}), door_records(Log()));
}


TEST_F(DoorProgramTest, AContactThatIsUnpluggedIsLostUntilItComesBack)
{
	DeviceFifo contact(fHome, "contact");
	fDoor = std::make_unique<DoorProcess>(fHome, "door = side\ncontact ="
		" evdev " + contact.Path() + " SW_DOCK\n");
	ASSERT_TRUE(fDoor->WaitFor(contact.Path() + ": reading"));
	// A switch on: the magnet holds the reed switch, the door is closed.
	ASSERT_TRUE(contact.Write(input_event(EV_SW, SW_DOCK, 1)));
	ASSERT_TRUE(fDoor->WaitFor("side: closed ("));
	contact.Unplug();
	ASSERT_TRUE(fDoor->WaitFor("side: sensor-lost (contact:" + contact.Path()
		+ ":SW_DOCK): unplugged\n"));
	ASSERT_TRUE(fDoor->WaitFor("gone; waiting for it to come back"));

	DeviceFifo again(fHome, "contact");
	ASSERT_TRUE(fDoor->WaitFor(contact.Path() + ": back, reading"));
	// Back as it was when it went: read anew, not taken from before.
	ASSERT_TRUE(again.Write(input_event(EV_SW, SW_DOCK, 1)));
	ASSERT_TRUE(fDoor->WaitFor("side: closed (", 2));
	ASSERT_TRUE(again.Write(input_event(EV_SW, SW_DOCK, 0)));
	ASSERT_TRUE(fDoor->WaitFor("side: opened ("));
	EXPECT_EQ(0, fDoor->Terminate());
	EXPECT_EQ((std::vector<std::string>{"closed", "sensor-lost", "closed",
		"opened"}), door_records(Log()));
}


TEST_F(DoorProgramTest, AContactNotThereAtTheStartIsLostUntilItComes)
{
	std::string path = fHome.Sub("late");
	fDoor = std::make_unique<DoorProcess>(fHome, "door = side\ncontact ="
		" evdev " + path + " SW_DOCK\n");
	ASSERT_TRUE(fDoor->WaitFor(path + ": not there (No such file or"
		" directory); waiting for it"));
	ASSERT_TRUE(fDoor->WaitFor("side: sensor-lost (contact:" + path
		+ ":SW_DOCK): No such file or directory\n"));
	DeviceFifo contact(fHome, "late");
	ASSERT_TRUE(fDoor->WaitFor(path + ": back, reading"));
	ASSERT_TRUE(contact.Write(input_event(EV_SW, SW_DOCK, 1)));
	ASSERT_TRUE(fDoor->WaitFor("side: closed ("));
	EXPECT_EQ(0, fDoor->Terminate());
}


TEST_F(DoorProgramTest, OneRdxDoorPerUserAndSettingsThatCannotServe)
{
	DeviceFifo button(fHome, "button");
	std::string conf = "exit = evdev " + button.Path() + " KEY_ENTER\n";
	fDoor = std::make_unique<DoorProcess>(fHome, conf);
	ASSERT_TRUE(fDoor->WaitFor("rdx does not run"));

	DoorProcess second(fHome, conf);
	int status = -1;
	ASSERT_TRUE(second.Process().Wait(10, &status));
	EXPECT_EQ(3, status);
	EXPECT_NE(std::string::npos, second.Process().Errors().find(
		"another rdx-door already runs for this user"));

	TempDir other("rdx-door-bad");
	DoorProcess bad(other, "exit = evdev " + button.Path() + " KEY_ENTER\n"
		"held_open = long\n");
	ASSERT_TRUE(bad.Process().Wait(10, &status));
	EXPECT_EQ(2, status);
	EXPECT_NE(std::string::npos, bad.Process().Errors().find(
		"door.conf:2: held_open takes a time")) << bad.Process().Errors();

	// Written by others: refused, whatever it says.
	std::string writable = other.Sub("config/RDX/writable.conf");
	FILE* file = fopen(writable.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs(conf.c_str(), file);
	fclose(file);
	chmod(writable.c_str(), 0660);
	DoorProcess refused(other, conf, {"--config", writable});
	ASSERT_TRUE(refused.Process().Wait(10, &status));
	EXPECT_EQ(2, status);
	EXPECT_NE(std::string::npos, refused.Process().Errors().find(
		"may be written by others (mode 0660)"));
	EXPECT_EQ(0, fDoor->Terminate());
}


// One device under two of its names (its by-id and its by-path link): one
// device, whose keys and switches all reach their inputs; the same key
// named twice so is refused like a line that names it twice.
TEST_F(DoorProgramTest, OneDeviceUnderTwoNamesIsOneDevice)
{
	DeviceFifo board(fHome, "board");
	std::string link = fHome.Sub("by-path-board");
	ASSERT_EQ(0, symlink(board.Path().c_str(), link.c_str()));
	// A GPIO chip's node and a link to it (the check does not open them).
	std::string chip = fHome.Sub("gpiochip7");
	FILE* node = fopen(chip.c_str(), "w");
	ASSERT_NE(nullptr, node);
	fclose(node);
	std::string chipLink = fHome.Sub("gpio-header");
	ASSERT_EQ(0, symlink(chip.c_str(), chipLink.c_str()));

	struct Row {
		const char*		name;
		std::string		conf;
		int				status;
		const char*		said;
	};
	const std::vector<Row> rows = {
		{"the same key as exit and as contact",
			"exit = evdev " + board.Path() + " KEY_F1\ncontact = evdev "
				+ link + " KEY_F1\n", 2,
			"door.conf:2: exit:" },
		{"the same key as two exits",
			"exit = evdev " + link + " KEY_F1\nexit = evdev "
				+ board.Path() + " KEY_F1\n", 2,
			"door.conf:2: exit:" },
		{"one line of a GPIO chip under two paths",
			"contact = gpio " + chip + " 4\nexit = gpio " + chipLink
				+ " 4\n", 2, "door.conf:2: contact:" },
	};
	for (const Row& row : rows) {
		TempDir home("rdx-door-twice");
		DoorProcess door(home, row.conf);
		int status = -1;
		ASSERT_TRUE(door.Process().Wait(10, &status)) << row.name;
		EXPECT_EQ(row.status, status) << row.name;
		EXPECT_NE(std::string::npos, door.Process().Errors().find(row.said))
			<< row.name << ": " << door.Process().Errors();
		EXPECT_NE(std::string::npos, door.Process().Errors().find(
			"is named already")) << row.name;
	}

	// Different keys of the board under its two names: the button and the
	// contact both work.
	fDoor = std::make_unique<DoorProcess>(fHome, "door = side\n"
		"exit = evdev " + board.Path() + " KEY_F1\n"
		"contact = evdev " + link + " KEY_F2\n");
	ASSERT_TRUE(fDoor->WaitFor("rdx does not run; waiting for it"));
	ASSERT_TRUE(board.Write(input_event(EV_KEY, KEY_F2, 1)));
	ASSERT_TRUE(fDoor->WaitFor("side: closed ("));
	ASSERT_TRUE(board.Write(input_event(EV_KEY, KEY_F1, 1)
		+ input_event(EV_KEY, KEY_F1, 0)));
	ASSERT_TRUE(fDoor->WaitFor("side: exit ("));
	ASSERT_TRUE(board.Write(input_event(EV_KEY, KEY_F2, 0)));
	ASSERT_TRUE(fDoor->WaitFor("side: opened ("));
	EXPECT_EQ(0, fDoor->Terminate());
	EXPECT_EQ((std::vector<std::string>{"closed", "exit:no-rdx", "opened"}),
		door_records(Log()));
}

}	// namespace
