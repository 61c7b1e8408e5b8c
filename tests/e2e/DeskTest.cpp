// Keep open and lockdown, end to end: the real rdx under Xvfb, the real
// rdx-send with its readable commands over the real socket, rdx-board-sim on
// loopback logging what reaches it, the record of open relays and the
// lockdown state on the disk across restarts and a kill.

#include "E2ETest.h"

#include <csignal>
#include <functional>
#include <sstream>
#include <sys/stat.h>

extern double test_now();
extern void test_sleep_ms(int milliseconds);

namespace {

class DeskTest : public E2ETest {
protected:
	// rdx-send as the desk runs it; its status, and what it printed.
	int Desk(const std::vector<std::string>& arguments,
		std::string* output = nullptr)
	{
		ChildProcess::Options options;
		options.environment = {{"XDG_RUNTIME_DIR", TestPath("run")},
			{"HOME", TestPath("home")}};
		std::vector<std::string> argv = {RDX_BINARY_DIR
			"/tools/rdx-send/rdx-send"};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		ChildProcess send(argv, options);
		int status = -1;
		if (!send.Wait(20, &status))
			return -1;
		if (output != nullptr)
			*output = send.Output() + send.Errors();
		return status;
	}

	std::string Log() const { return read_file(fProgram->AccessLogFile()); }
	std::string LockdownFile() const
		{ return fProgram->StateHome() + "/RDX/lockdown"; }

	// rdx-send started and left running, for commands that must queue up
	// at rdx together.
	std::unique_ptr<ChildProcess> SendLater(
		const std::vector<std::string>& arguments)
	{
		ChildProcess::Options options;
		options.environment = {{"XDG_RUNTIME_DIR", TestPath("run")},
			{"HOME", TestPath("home")}};
		std::vector<std::string> argv = {RDX_BINARY_DIR
			"/tools/rdx-send/rdx-send"};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		return std::make_unique<ChildProcess>(argv, options);
	}

	// The start-up pulse of relay 1 has opened and closed.
	void WaitForStartUpPulse()
	{
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
		ASSERT_TRUE(WaitForCount("CLOSE 1|", 1));
	}
};

}	// namespace


TEST_F(DeskTest, KeepOpenHoldsTheTagRelayUntilItsTimeThenClosesByItself)
{
	StartBoard();
	// A hold time of 1 s: the keep-open must outlast it.
	Start(Settings(true, 1, 2));
	WaitForStartUpPulse();

	// A tag opens relay 2 for its second; the keep-open takes it over, and
	// the end of that second closes nothing.
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	std::string said;
	double asked = test_now();
	ASSERT_EQ(0, Desk({"--keep-open", "3s"}, &said));
	EXPECT_EQ(1, count_of(said, "keep open: relay 2 until ")) << said;
	EXPECT_EQ(1, count_of(said, "lockdown: off")) << said;
	EXPECT_TRUE(WaitForRadioColor(1, kGreen)) << "relay 2 shows open";
	EXPECT_TRUE(WaitForCount("hold: relay 2 is kept open until ", 1));
	// A tag meanwhile opens nothing more.
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	EXPECT_TRUE(WaitForCount("tag: relay 2 is kept open until ", 1));

	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	double held = test_now() - asked;
	EXPECT_GE(held, 3.0) << "closed before its time";
	EXPECT_LE(held, 4.0) << "outlived its time";
	EXPECT_EQ(1, fBoard->CountOf("GET /?4=0"));
	EXPECT_TRUE(WaitForRadioColor(1, kBackground)) << "relay 2 shows closed";
	EXPECT_EQ(1, Count("keep open: relay 2 closes (time)"));
	// Only the tag's hold ended while kept open: the keep-open's open has
	// no hold of its own.
	EXPECT_EQ(1, Count("hold: relay 2 is kept open until "));
	EXPECT_TRUE(wait_for([&] {
		return count_of(Log(), "\"action\":\"close\",\"cause\":"
			"\"keep-open-end\",\"result\":\"ok\"") == 1;
	}, 10)) << Log();
	EXPECT_EQ(1, count_of(Log(), "\"event\":\"keep-open\",\"action\":"
		"\"start\",\"relay\":2,\"seconds\":3,\"until\":")) << Log();
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(DeskTest, KeepOpenEndsEarlyClosesWithBoardUseOffAndACrashClosesIt)
{
	StartBoard();
	Start(Settings(true, 1, 2));
	WaitForStartUpPulse();
	std::string record = fProgram->StateHome() + "/RDX/open-relays";

	ASSERT_EQ(0, Desk({"--keep-open", "1h"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	// The same command again renews it: it never closes the door.
	std::string said;
	ASSERT_EQ(0, Desk({"--keep-open", "2h"}, &said));
	EXPECT_EQ(1, count_of(said, "(1 h 59 min 59 s left)")
		+ count_of(said, "(2 h left)")) << said;
	// Board use off meanwhile: the end still closes.
	Click(kUseCheckBox);
	ASSERT_TRUE(WaitForStored("rdx_use", seed::Bool(false)));
	ASSERT_EQ(0, Desk({"--end-keep-open"}, &said));
	EXPECT_EQ(1, count_of(said, "keep open: none")) << said;
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	// And with board use off, nothing is kept open.
	ASSERT_EQ(1, Desk({"--keep-open", "30m"}, &said));
	EXPECT_EQ(1, count_of(said, "refused: board use is off")) << said;

	// Kept open when rdx dies: the record knows it, and the next start
	// closes it before anything else.
	ASSERT_EQ(0, Send({"rx_u", "use:bool=true"}));
	ASSERT_TRUE(WaitForStored("rdx_use", seed::Bool(true)));
	ASSERT_EQ(0, Desk({"--keep-open", "1h"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10, 2));
	char slot[16];
	snprintf(slot, sizeof(slot), "\n2 %03zu ", fBoard->Address().size());
	EXPECT_EQ(1, count_of(read_file(record), slot + fBoard->Address()))
		<< read_file(record);
	fProgram->Signal(SIGKILL);
	WaitForExit();
	size_t seen = fBoard->Requests().size();
	Start(Settings(true, 1, 2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15, 2));
	EXPECT_EQ("GET /?4=1", fBoard->Requests()[seen]);
	EXPECT_EQ(1, Count("recovery: closed relay 2 at " + fBoard->Address()));
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(DeskTest, LockdownClosesRefusesEveryOpenButTheTestPulseAndOutlivesRdx)
{
	StartBoard();
	Start(Settings(true, 1, 2));
	WaitForStartUpPulse();
	ASSERT_EQ(0, Desk({"--keep-open", "1h"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));

	// Lockdown closes the kept-open relay at once.
	std::string said;
	ASSERT_EQ(0, Desk({"--lockdown", "on"}, &said));
	EXPECT_EQ(1, count_of(said, "lockdown: on")) << said;
	EXPECT_EQ(1, count_of(said, "keep open: none")) << said;
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	EXPECT_EQ(1, count_of(read_file(LockdownFile()), "lockdown on\nby "
		"rdx-send\n"));

	// A tag, the exit button, a keep-open and open-all: all refused.
	size_t seen = fBoard->Requests().size();
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3", "reader=front"}));
	ASSERT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened", 1));
	ASSERT_EQ(0, Send({"rxEx", "reader=exit:test"}));
	ASSERT_TRUE(WaitForCount("exit request from exit:test: lockdown: not"
		" opened", 1));
	ASSERT_EQ(1, Desk({"--keep-open", "30m"}, &said));
	EXPECT_EQ(1, count_of(said, "refused: the door is in lockdown")) << said;
	Click(kOpenAllButton);
	ASSERT_TRUE(WaitForCount("open all relay: lockdown: nothing opened", 1));
	// The installer's test pulse still works.
	Click(RadioPoint(2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?5=0", 10));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?5=1", 10));
	std::vector<std::string> requests = fBoard->Requests();
	EXPECT_EQ((std::vector<std::string>{"GET /?5=0", "GET /?5=1"}),
		std::vector<std::string>(requests.begin() + (long)seen,
			requests.end()));
	EXPECT_TRUE(wait_for([&] {
		return count_of(Log(), "\"tag\":\"04A1B2C3\",\"reader\":\"front\","
			"\"board_use\":true,\"result\":\"lockdown\"") == 1
			&& count_of(Log(), "\"what\":\"exit\",\"input\":\"exit:test\","
				"\"result\":\"lockdown\"") == 1;
	}, 10)) << Log();
	EXPECT_EQ(0, CloseAndWait());

	// A new rdx is in lockdown from its first moment: no start-up pulse.
	seen = fBoard->Requests().size();
	Start(Settings(true, 1, 3));
	EXPECT_EQ(1, Count("lockdown is on by rdx-send since "));
	EXPECT_EQ(1, Count("start-up pulse: lockdown: not sent"));
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened", 1));
	EXPECT_EQ(seen, fBoard->Requests().size());
	// Lifted by the same command: the next tag opens.
	ASSERT_EQ(0, Desk({"--lockdown", "off"}, &said));
	EXPECT_EQ(1, count_of(said, "lockdown: off")) << said;
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?5=0", 10, 2));
	EXPECT_EQ(0, CloseAndWait());

	// A state file others may write cannot be believed: lockdown, and a
	// line that says how to mend it; lifting writes it anew.
	ASSERT_EQ(0, chmod(LockdownFile().c_str(), 0666));
	Start(Settings(true, 1, 3));
	EXPECT_EQ(1, Count("cannot be trusted (others may write it (mode 0666)):"
		" lockdown counts as on until it is lifted")) << Output();
	EXPECT_EQ(1, Count("start-up pulse: lockdown: not sent"));
	ASSERT_EQ(0, Desk({"--lockdown", "off"}));
	struct stat status;
	ASSERT_EQ(0, stat(LockdownFile().c_str(), &status));
	EXPECT_EQ(0600u, status.st_mode & 0777);
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(DeskTest, CommandsQueuedBehindAStallLeaveNoRelayOpen)
{
	// Each row: what reaches a stalled rdx at once, in this order, and
	// the line that shows the last of it was taken. Whatever asked for the
	// relay, the last word closed it: it must close at the board.
	struct Row {
		std::vector<std::vector<std::string>> commands;
		const char* taken;
	};
	const std::vector<Row> rows = {
		// A keep-open ended at once.
		{{{"rxKo", "seconds:int32=600", "sender=first"},
			{"rxKo", "seconds:int32=0", "sender=second"}},
			"keep open: relay 2 closes (ended)"},
		// A keep-open that lockdown follows.
		{{{"rxKo", "seconds:int32=600", "sender=first"},
			{"rxLd", "on:bool=true", "sender=second"}},
			"keep open: relay 2 closes (lockdown)"},
	};
	StartBoard();
	Start(Settings(true, 1, 2));
	WaitForStartUpPulse();
	// The worker of the first may or may not have started when the next
	// is taken: three tries each.
	for (int attempt = 0; attempt < 6; attempt++) {
		const Row& r = rows[attempt % rows.size()];
		SCOPED_TRACE(attempt);
		// Relay 2 was opened and closed before: rdx knows it closed.
		size_t closes = fBoard->CountOf("GET /?4=1");
		ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10, closes + 1));
		int taken = Count(r.taken);

		fProgram->Signal(SIGSTOP);
		std::vector<std::unique_ptr<ChildProcess>> senders;
		for (const std::vector<std::string>& command : r.commands) {
			senders.push_back(SendLater(command));
			test_sleep_ms(150);
		}
		fProgram->Signal(SIGCONT);
		for (std::unique_ptr<ChildProcess>& sender : senders) {
			int status = -1;
			ASSERT_TRUE(sender->Wait(20, &status));
			EXPECT_EQ(0, status);
		}
		ASSERT_TRUE(WaitForCount(r.taken, taken + 1)) << Output();
		EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10, closes + 2))
			<< "relay 2 was left open";
		std::vector<std::string> requests = fBoard->Requests();
		EXPECT_EQ("GET /?4=1", requests.back());
		if (Count("lockdown on by second") > 0) {
			ASSERT_EQ(0, Desk({"--lockdown", "off"}));
		}
	}
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(DeskTest, ALockdownStateBeyondBeliefEndsOnlyWithWhatTheMendLeaves)
{
	// Each row: lockdown as it was left, what others could do to its file
	// while they could, what happens while rdx runs (at last the owner's
	// mend), and whether the next tag opens then. What others may have
	// changed is never read as a lift: only the file as rdx left it is.
	struct Row {
		bool on;
		std::function<void(const std::string& file)> meddle;
		std::function<void(const std::string& file)> mend;
		bool opens;
	};
	auto directory = [](const std::string& file) {
		return file.substr(0, file.rfind('/'));
	};
	const std::vector<Row> rows = {
		// Another user rewrote a file they could write: the mode is
		// mended, the bytes are still theirs.
		{true, [](const std::string& file) {
				chmod(file.c_str(), 0666);
				FILE* out = fopen(file.c_str(), "w");
				fputs("lockdown off\n", out);
				fclose(out);
			}, [](const std::string& file) { chmod(file.c_str(), 0600); },
			false},
		// Another user removed it from a directory they could write,
		// after rdx had seen it there.
		{true, [&](const std::string& file) {
				chmod(directory(file).c_str(), 0777);
			}, [&](const std::string& file) {
				unlink(file.c_str());
				chmod(directory(file).c_str(), 0700);
			}, false},
		// The directory alone was open to others and the file is as it
		// was left: on stays on, off is off again.
		{true, [&](const std::string& file) {
				chmod(directory(file).c_str(), 0777);
			}, [&](const std::string& file) {
				chmod(directory(file).c_str(), 0700);
			}, false},
		{false, [&](const std::string& file) {
				chmod(directory(file).c_str(), 0777);
			}, [&](const std::string& file) {
				chmod(directory(file).c_str(), 0700);
			}, true},
	};
	StartBoard();
	int row = 0;
	for (const Row& r : rows) {
		SCOPED_TRACE(row++);
		Start(Settings(true, 1, 2));
		ASSERT_EQ(0, Desk({"--lockdown", r.on ? "on" : "off"}));
		ASSERT_EQ(0, CloseAndWait());
		r.meddle(LockdownFile());
		Start(Settings(true, 1, 2));
		EXPECT_EQ(1, Count("cannot be trusted")) << Output();
		EXPECT_EQ(1, Count("start-up pulse: lockdown: not sent"));
		r.mend(LockdownFile());
		size_t opens = fBoard->CountOf("GET /?4=0");
		ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
		if (r.opens) {
			EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10, opens + 1));
		} else {
			EXPECT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened",
				1)) << Output();
			EXPECT_EQ(opens, fBoard->CountOf("GET /?4=0"));
		}
		ASSERT_EQ(0, Desk({"--lockdown", "off"}));
		ASSERT_EQ(0, CloseAndWait());
	}
}


TEST_F(DeskTest, ALockdownFileChangedBehindRdxsBackIsWrittenAgain)
{
	// Each row: what happens to the lockdown state while rdx holds the
	// door in lockdown. Only the lift ends it: the next start, and the
	// readers that go by the file, still find it on.
	const std::vector<std::function<void(const std::string& file)>> rows = {
		[](const std::string& file) { unlink(file.c_str()); },
		[](const std::string& file) {
			std::string directory = file.substr(0, file.rfind('/'));
			std::string command = "rm -rf '" + directory + "'";
			ASSERT_EQ(0, system(command.c_str()));
		},
		[](const std::string& file) {
			std::string temporary = file + ".by-hand";
			FILE* out = fopen(temporary.c_str(), "w");
			fputs("lockdown off\n", out);
			fclose(out);
			rename(temporary.c_str(), file.c_str());
		},
	};
	StartBoard();
	int row = 0;
	for (const auto& meddle : rows) {
		SCOPED_TRACE(row++);
		Start(Settings(true, 1, 2));
		ASSERT_EQ(0, Desk({"--lockdown", "on"}));
		meddle(LockdownFile());
		ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
		ASSERT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened", 1));
		EXPECT_EQ(1, count_of(read_file(LockdownFile()), "lockdown on\n"))
			<< "the readers go by the file";
		ASSERT_EQ(0, CloseAndWait());

		size_t seen = fBoard->Requests().size();
		Start(Settings(true, 1, 2));
		EXPECT_EQ(1, Count("start-up pulse: lockdown: not sent")) << Output();
		ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
		EXPECT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened", 1));
		ASSERT_EQ(0, Desk({"--lockdown", "off"}));
		EXPECT_EQ(seen, fBoard->Requests().size());
		ASSERT_EQ(0, CloseAndWait());
	}
}


TEST_F(DeskTest, ADeskCommandIsTakenOnlyAsRdxCanKeepIt)
{
	// Each row: a command as another program may post it, and the line
	// that says what rdx made of it. None of them opens the door: out of
	// range, without a time, late, or a late lift (a late lockdown is set
	// all the same: when in doubt, lock).
	struct Row {
		std::vector<std::string> command;
		const char* line;
	};
	const std::vector<Row> rows = {
		{{"rxKo", "seconds:int32=43201", "sender=t"},
			"keep open from t: no time from 0 to 43200 seconds: refused"},
		{{"rxKo", "seconds:int32=-1", "sender=t"},
			"keep open from t: no time from 0 to 43200 seconds: refused"},
		{{"rxKo", "sender=t"},
			"keep open from t: no time from 0 to 43200 seconds: refused"},
		{{"rxKo", "seconds:int32=60", "sender=t", "deadline=0"},
			"keep open from t came "},
		{{"rxLd", "on:bool=true", "sender=t", "deadline=0"},
			"lockdown on by t: "},
		{{"rxLd", "on:bool=false", "sender=t", "deadline=0"},
			"lockdown off from t came "},
		{{"rxKo", "seconds:int32=60", "sender=t"},
			"keep open from t: lockdown: not opened"},
	};
	StartBoard();
	// A hold of 10 s that the lockdown cuts short.
	Start(Settings(true, 10, 2));
	WaitForStartUpPulse();
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	double opened = test_now();
	int row = 0;
	for (const Row& r : rows) {
		SCOPED_TRACE(row++);
		ASSERT_EQ(0, Send(r.command));
		EXPECT_TRUE(WaitForCount(r.line, 1)) << Output();
	}
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	EXPECT_LT(test_now() - opened, 8) << "the hold ran on in lockdown";
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf("GET /?4=0"));
	EXPECT_EQ(1, count_of(read_file(LockdownFile()), "lockdown on\nby t\n"));
	// A lift that cannot be written is refused: the readers and the next
	// start would find the door locked while this rdx opened it.
	std::string directory = fProgram->StateHome() + "/RDX";
	ASSERT_EQ(0, chmod(directory.c_str(), 0777));
	EXPECT_NE(0, Desk({"--lockdown", "off"}));
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	EXPECT_TRUE(WaitForCount("tag 04A1B2C3: lockdown: not opened", 1));
	ASSERT_EQ(0, chmod(directory.c_str(), 0700));
	EXPECT_EQ(0, CloseAndWait());
	EXPECT_EQ(1, fBoard->CountOf("GET /?4=0"));
}


TEST_F(DeskTest, ARenewedKeepOpenStaysOnTheRelayItOpened)
{
	StartBoard();
	Start(Settings(true, 1, 2));
	WaitForStartUpPulse();
	ASSERT_EQ(0, Desk({"--keep-open", "1h"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	// The door's relock and exit button change nothing.
	ASSERT_EQ(0, Send({"rxLk", "reader=contact:test"}));
	ASSERT_TRUE(WaitForCount("relock: relay 2 is kept open until ", 1));
	ASSERT_EQ(0, Send({"rxEx", "reader=exit:test"}));
	ASSERT_TRUE(WaitForCount("exit request: relay 2 is kept open until ",
		1));
	// Relay 3 becomes the tag relay meanwhile (with its test pulse): the
	// renewal still holds relay 2, and the end closes relay 2.
	Click(RadioPoint(2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?5=1", 10));
	std::string said;
	ASSERT_EQ(0, Desk({"--keep-open", "2h"}, &said));
	EXPECT_EQ(1, count_of(said, "keep open: relay 2 until ")) << said;
	ASSERT_EQ(0, Desk({"--end-keep-open"}));
	EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	EXPECT_EQ(1, fBoard->CountOf("GET /?5=0"));
	EXPECT_EQ(1, fBoard->CountOf("GET /?4=1"));
	// The keep-open's own open has no hold that ends.
	EXPECT_EQ(0, Count("hold: relay 2 is kept open"));
	EXPECT_EQ(0, CloseAndWait());
}
