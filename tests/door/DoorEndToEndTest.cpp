// rdx-door beside the real rdx under Xvfb and rdx-board-sim on loopback:
// the exit button opens the tag relay through rdx, and the door's alarms
// come from what the contact and rdx say, into the access log and onto
// the desk.

#include "BoardSim.h"
#include "DoorTestSupport.h"
#include "RdxProgram.h"

#include <DoorDefs.h>

#include <gtest/gtest.h>
#include <linux/input.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

// Tags use relay 2, output 4: the start-up pulse of relay 1 never mixes
// with them.
const char* kOpen = "GET /?4=0";
const char* kClose = "GET /?4=1";


class DoorEndToEndTest : public testing::Test {
protected:
	void SetUp() override
	{
		const char* display = getenv("DISPLAY");
		fProgram = std::make_unique<RdxProgram>(display != nullptr
			? display : "", "rdx-door-e2e");
		fBoard = std::make_unique<BoardSim>();
		ASSERT_TRUE(fBoard->IsListening());
		fContact = std::make_unique<DeviceFifo>(fProgram->Directory(),
			"contact");
		fButton = std::make_unique<DeviceFifo>(fProgram->Directory(),
			"button");
	}

	void TearDown() override
	{
		if (HasFailure()) {
			if (fDoor != nullptr)
				printf("---- rdx-door ----\n%s", fDoor->Output().c_str());
			if (fProgram->Started())
				printf("%s", fProgram->Transcript().c_str());
			printf("---- board log ----\n%s", read_file(
				fBoard->LogFile()).c_str());
			printf("---- access log ----\n%s", read_file(
				fProgram->AccessLogFile()).c_str());
		}
		fDoor.reset();
		fProgram->Stop();
	}

	void StartRdx(int holdTime = 1)
	{
		ASSERT_TRUE(fProgram->Seed({
			{"rdx_ip", seed::Text(fBoard->Address())},
			{"rdx_use", seed::Bool(true)},
			{"OpenInSecs", seed::Int32(holdTime)},
			{"TagsUseDoor", seed::Int32(2)},
			{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
		}));
		ASSERT_TRUE(fProgram->Start());
		// The start-up pulse of relay 1 is over before the door starts.
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 20));
	}

	// rdx-door with the contact closed (a switch on: the magnet holds it).
	void StartDoor(const std::string& extra = "",
		const std::vector<std::pair<std::string, std::string>>& environment
			= {})
	{
		fDoor = std::make_unique<DoorProcess>(fProgram->Directory(),
			"door = front\nheld_open = 1s\nforced_grace = 300ms\n"
			"contact = evdev " + fContact->Path() + " SW_DOCK\n"
			"exit = evdev " + fButton->Path() + " KEY_ENTER\n" + extra,
			std::vector<std::string>(), environment);
		ASSERT_TRUE(fDoor->WaitFor("rdx-door: watching rdx"));
		Contact(true);
		ASSERT_TRUE(fDoor->WaitFor("front: closed ("));
	}

	void Contact(bool closed)
	{
		ASSERT_TRUE(fContact->Write(input_event(EV_SW, SW_DOCK,
			closed ? 1 : 0)));
	}

	void Press()
	{
		ASSERT_TRUE(fButton->Write(input_event(EV_KEY, KEY_ENTER, 1)));
		ASSERT_TRUE(fButton->Write(input_event(EV_KEY, KEY_ENTER, 0)));
	}

	// The relay records of relay 2 as "action cause result".
	std::vector<std::string> RelayRecords()
	{
		std::vector<std::string> records;
		std::istringstream in(read_file(fProgram->AccessLogFile()));
		for (std::string line; std::getline(in, line);) {
			nlohmann::json record = nlohmann::json::parse(line, nullptr,
				false);
			if (record.is_object() && record.value("event", "") == "relay"
				&& record.value("relay", 0) == 2) {
				records.push_back(record.value("action", "") + " "
					+ record.value("cause", "") + " "
					+ record.value("result", ""));
			}
		}
		return records;
	}

	// When the board had the first request of its kind (its log's seconds).
	double RequestTime(const std::string& request)
	{
		std::istringstream in(read_file(fBoard->LogFile()));
		for (std::string line; std::getline(in, line);) {
			size_t blank = line.find(' ');
			if (blank != std::string::npos && line.substr(blank + 1) == request)
				return atof(line.substr(0, blank).c_str());
		}
		return -1;
	}

	// The "door" records one program made, as "what:result".
	std::vector<std::string> DoorRecordsOf(const std::string& program)
	{
		std::vector<std::string> records;
		std::istringstream in(read_file(fProgram->AccessLogFile()));
		for (std::string line; std::getline(in, line);) {
			nlohmann::json record = nlohmann::json::parse(line, nullptr,
				false);
			if (!record.is_object() || record.value("event", "") != "door"
				|| record.value("program", "") != program)
				continue;
			records.push_back(record.value("what", "") + ":"
				+ record.value("result", ""));
		}
		return records;
	}

	bool WaitForDoorRecords(size_t count)
	{
		return wait_for([&] {
			return door_records(fProgram->AccessLogFile()).size() >= count;
		}, 20);
	}

	std::unique_ptr<RdxProgram> fProgram;
	std::unique_ptr<BoardSim> fBoard;
	std::unique_ptr<DeviceFifo> fContact;
	std::unique_ptr<DeviceFifo> fButton;
	std::unique_ptr<DoorProcess> fDoor;
};


TEST_F(DoorEndToEndTest, ExitButtonOpensThroughRdxAndOnlyAsATagWould)
{
	StartRdx();
	StartDoor();
	// rdx's watchers hear of the exit as of a tag.
	ChildProcess::Options options;
	options.environment = {{"XDG_RUNTIME_DIR",
		fProgram->Directory().Sub("run")}};
	ChildProcess watch({std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-send/rdx-send", "--watch", "rxEx", "rxSt"}, options);
	ASSERT_TRUE(watch.WaitForOutput("rxSt", 10)) << watch.Output();
	Press();
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20));
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 20));
	ASSERT_TRUE(fDoor->WaitFor("front: exit (exit:" + fButton->Path()
		+ ":KEY_ENTER): passed-on\n"));
	EXPECT_TRUE(watch.WaitForOutput("exit:" + fButton->Path()
		+ ":KEY_ENTER", 10)) << watch.Output();

	// Board use off: the press reaches rdx and opens nothing.
	ASSERT_EQ(0, fProgram->Send({"rx_u", "use:bool=false"}));
	ASSERT_TRUE(fProgram->Sync());
	int off = fProgram->Count("rdx ist aus");
	Press();
	ASSERT_TRUE(fProgram->WaitForCount("rdx ist aus", off + 1));
	// A press that reaches rdx after its sender gave up opens nothing,
	// board use or not.
	ASSERT_EQ(0, fProgram->Send({"rx_u", "use:bool=true"}));
	ASSERT_EQ(0, fProgram->Send({"rxEx", "reader=exit:test", "deadline=1"}));
	ASSERT_TRUE(fProgram->WaitForCount("exit request from exit:test came", 1));
	// A deadline that is none is not met either.
	ASSERT_EQ(0, fProgram->Send({"rxEx", "reader=exit:test",
		"deadline=soon"}));
	ASSERT_TRUE(fProgram->WaitForCount("exit request from exit:test came with"
		" a deadline that is none", 1));
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kOpen));

	ASSERT_TRUE(wait_for([&] { return RelayRecords().size() >= 2; }, 20));
	EXPECT_EQ((std::vector<std::string>{"open exit ok", "close hold-end ok"}),
		RelayRecords());
	ASSERT_TRUE(WaitForDoorRecords(5));
	EXPECT_EQ((std::vector<std::string>{"closed", "exit:passed-on",
		"exit:passed-on", "exit:too-late", "exit:too-late"}),
		door_records(fProgram->AccessLogFile()));
}


TEST_F(DoorEndToEndTest, ForcedDoorIsAnAlarmOnTheDeskUntilItCloses)
{
	NotificationDesk desk;
	ASSERT_TRUE(desk.Start());
	StartRdx();
	StartDoor("", {{"DBUS_SESSION_BUS_ADDRESS", desk.Address()}});
	Contact(false);
	ASSERT_TRUE(fDoor->WaitFor("front: forced (contact:"));
	Contact(true);
	ASSERT_TRUE(fDoor->WaitFor("front: closed (", 2));
	ASSERT_TRUE(WaitForDoorRecords(4));
	EXPECT_EQ((std::vector<std::string>{"closed", "opened", "forced",
		"closed"}), door_records(fProgram->AccessLogFile()));

	// The desk was told which door and what happened.
	ASSERT_TRUE(desk.WaitForCalls(1));
	nlohmann::json shown = nlohmann::json::parse(desk.Calls()[0]);
	EXPECT_EQ("front: forced open", shown["summary"]);
	EXPECT_NE(std::string::npos, shown["body"].get<std::string>().find(
		"The door front was opened at ")) << shown.dump();
	EXPECT_EQ(2, shown["urgency"]);
	EXPECT_EQ(0, fBoard->CountOf(kOpen));
}


TEST_F(DoorEndToEndTest, HeldOpenAfterATagAndClearedWhenClosed)
{
	StartRdx();
	StartDoor();
	ASSERT_EQ(0, fProgram->Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20));
	Contact(false);
	ASSERT_TRUE(fDoor->WaitFor("front: opened ("));
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 20));
	// One second after the relay closed, and no forced alarm: a tag let
	// the person in.
	ASSERT_TRUE(fDoor->WaitFor("front: held-open (contact:"));
	Contact(true);
	ASSERT_TRUE(fDoor->WaitFor("front: closed (", 2));
	ASSERT_TRUE(WaitForDoorRecords(4));
	EXPECT_EQ((std::vector<std::string>{"closed", "opened", "held-open",
		"closed"}), door_records(fProgram->AccessLogFile()));
}


TEST_F(DoorEndToEndTest, LostContactAndAnRdxRestartAreToldApart)
{
	StartRdx();
	StartDoor();
	// rdx ends and starts again: its watch ends, it comes back with its
	// start-up pulse. No door event, no alarm.
	fProgram->Stop();
	ASSERT_TRUE(fDoor->WaitFor("rdx went away"));
	// Opened while rdx is away: nobody knows whether it was locked, so it
	// is no forced opening.
	Contact(false);
	ASSERT_TRUE(fDoor->WaitFor("front: opened ("));
	usleep(600 * 1000);
	Contact(true);
	ASSERT_TRUE(fDoor->WaitFor("front: closed (", 2));
	ASSERT_TRUE(fProgram->Start());
	ASSERT_TRUE(fDoor->WaitFor("rdx-door: watching rdx", 2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 20, 2));

	fContact->Unplug();
	ASSERT_TRUE(fDoor->WaitFor("front: sensor-lost (contact:"
		+ fContact->Path() + ":SW_DOCK): unplugged"));
	ASSERT_TRUE(WaitForDoorRecords(4));
	EXPECT_EQ((std::vector<std::string>{"closed", "opened", "closed",
		"sensor-lost"}), door_records(fProgram->AccessLogFile()));
	EXPECT_EQ(0, fDoor->Terminate());
}


TEST_F(DoorEndToEndTest, RelockClosesTheRelayOnceTheDoorClosedAgain)
{
	StartRdx(10);
	StartDoor("relock = on\n");
	Press();
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20));
	// A person reaches for the handle once the lock has let go; by then
	// rdx has told that the relay is open.
	ASSERT_TRUE(fProgram->WaitForCount(" OPEN 2|", 1));
	usleep(100 * 1000);
	Contact(false);
	ASSERT_TRUE(fDoor->WaitFor("front: opened ("));
	Contact(true);
	// Long before the hold time of 10 s.
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 5));
	ASSERT_TRUE(wait_for([&] { return RelayRecords().size() >= 2; }, 20));
	EXPECT_EQ((std::vector<std::string>{"open exit ok", "close relock ok"}),
		RelayRecords());
	// Asked again with the relay closed: nothing goes to the board.
	ASSERT_EQ(0, fProgram->Send({"rxLk"}));
	ASSERT_TRUE(fProgram->WaitForCount("relock: relay 2 is not open", 1));
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kClose));
	EXPECT_EQ(1, fBoard->CountOf(kOpen));
}


// Presses that rdx cannot take at once, or that are read long after they
// were made, open nothing later for a person who has gone; then a press as
// it should be opens, so that the rows are not quiet for another reason.
TEST_F(DoorEndToEndTest, AnExitIsNeverHonouredLate)
{
	StartRdx(2);
	StartDoor();
	const std::string press = input_event(EV_KEY, KEY_ENTER, 1)
		+ input_event(EV_KEY, KEY_ENTER, 0);
	struct Row {
		const char*					name;
		std::function<void()>		act;
		std::vector<std::string>	records;
	};
	const std::vector<Row> rows = {
		{"five presses while rdx is stopped, which goes on 2.5 s later",
			[&] {
				fProgram->Signal(SIGSTOP);
				ASSERT_TRUE(fButton->Write(press + press + press + press
					+ press));
				usleep(2500 * 1000);
				fProgram->Signal(SIGCONT);
			},
			{"exit:not-delivered", "exit:too-late", "exit:too-late",
				"exit:too-late", "exit:too-late"}},
		{"a press stamped 5 s before it is read (made before a suspend)",
			[&] {
				int64_t then = boot_time() - 5000000;
				ASSERT_TRUE(fButton->Write(input_event(EV_KEY, KEY_ENTER, 1,
					then) + input_event(EV_KEY, KEY_ENTER, 0, then + 100000)));
			},
			{"exit:too-late"}},
	};
	// The closed door of the start is on record (the log writes on a
	// thread of its own).
	ASSERT_TRUE(wait_for([&] {
		return DoorRecordsOf("rdx-door").size() >= 1;
	}, 20));
	size_t seen = DoorRecordsOf("rdx-door").size();
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		int opens = fBoard->CountOf(kOpen);
		row.act();
		ASSERT_TRUE(wait_for([&] {
			return DoorRecordsOf("rdx-door").size()
				>= seen + row.records.size();
		}, 20));
		// rdx has taken whatever reached it.
		ASSERT_TRUE(fProgram->Sync());
		usleep(300 * 1000);
		EXPECT_EQ(opens, fBoard->CountOf(kOpen));
		std::vector<std::string> records = DoorRecordsOf("rdx-door");
		EXPECT_EQ(row.records, std::vector<std::string>(
			records.begin() + (long)seen, records.end()));
		seen = records.size();
	}
	// A press made now opens, for the hold time and not longer.
	ASSERT_TRUE(fButton->Write(press));
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20));
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 20));
	double held = RequestTime(kClose) - RequestTime(kOpen);
	EXPECT_GE(held, 1.9);
	EXPECT_LT(held, 3.5) << "held open well beyond the hold time of 2 s";
}


// With relock on, the relay closes early once the door shut; the next
// tag's open then holds for its own hold time, and the end of the first
// open's hold closes nothing.
TEST_F(DoorEndToEndTest, RelockNeverCutsALaterOpenShort)
{
	using Clock = std::chrono::steady_clock;
	StartRdx(5);
	StartDoor("relock = on\n");
	Press();
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20));
	Clock::time_point first = Clock::now();
	ASSERT_TRUE(fProgram->WaitForCount(" OPEN 2|", 1));
	usleep(100 * 1000);
	Contact(false);
	ASSERT_TRUE(fDoor->WaitFor("front: opened ("));
	Contact(true);
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 5));

	// The next person, 2 s after the first open: the first open's hold
	// ends 3 s later, this one's 5 s later.
	std::this_thread::sleep_until(first + std::chrono::seconds(2));
	ASSERT_EQ(0, fProgram->Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 5, 2));
	Clock::time_point second = Clock::now();
	std::this_thread::sleep_until(second + std::chrono::seconds(4));
	EXPECT_EQ(1, fBoard->CountOf(kClose))
		<< "the second open was closed before its hold time";
	ASSERT_TRUE(fBoard->WaitForRequest(kClose, 10, 2));
	ASSERT_TRUE(wait_for([&] { return RelayRecords().size() >= 4; }, 20));
	EXPECT_EQ((std::vector<std::string>{"open exit ok", "close relock ok",
		"open tag ok", "close hold-end ok"}), RelayRecords());
}

}	// namespace
