// rdx-reader with the real rdx under Xvfb and rdx-board-sim on loopback:
// a tag read at a reader ends as the board's requests, or as none.

#include "BoardSim.h"
#include "LocalTime.h"
#include "PinHash.h"
#include "RdxProgram.h"
#include "ReaderTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Tags use relay 2, output 4: the start-up pulse of relay 1 never mixes
// with them.
const char* kOpen = "GET /?4=0";
const char* kClose = "GET /?4=1";


class ReaderEndToEndTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const char* display = getenv("DISPLAY");
		fProgram = std::make_unique<RdxProgram>(display != nullptr
			? display : "", "rdx-reader-e2e");
		fBoard = std::make_unique<BoardSim>();
		ASSERT_TRUE(fBoard->IsListening());
		ASSERT_TRUE(fProgram->Seed({
			{"rdx_ip", seed::Text(fBoard->Address())},
			{"rdx_use", seed::Bool(true)},
			{"OpenInSecs", seed::Int32(1)},
			{"TagsUseDoor", seed::Int32(2)},
			{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
		}));
		fTags = fProgram->Directory().Sub("tags");
		FILE* file = fopen(fTags.c_str(), "w");
		ASSERT_NE(nullptr, file);
		fputs("0014594826 fob\n04A1B2C3 card\nABC123 line reader\n", file);
		fclose(file);
	}

	void TearDown() override
	{
		if (HasFailure()) {
			if (fReader != nullptr)
				printf("---- rdx-reader ----\n%s", fReader->Output().c_str());
			if (fProgram->Started())
				printf("%s", fProgram->Transcript().c_str());
			printf("---- board log ----\n%s", read_file(
				fBoard->LogFile()).c_str());
		}
		fReader.reset();
		fProgram->Stop();
		fProgram.reset();
		fBoard.reset();
	}

	void StartRdx()
	{
		ASSERT_TRUE(fProgram->Start());
		// The start-up pulse of relay 1 is over before tags are read.
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 20));
	}

	void StartReader(const std::vector<std::string>& sources,
		const std::vector<std::string>& options = {})
	{
		std::vector<std::string> arguments = {"--tags", fTags};
		arguments.insert(arguments.end(), options.begin(), options.end());
		arguments.insert(arguments.end(), sources.begin(), sources.end());
		fReader = std::make_unique<ReaderProcess>(arguments,
			std::map<std::string, std::string>{
				{"XDG_RUNTIME_DIR", fProgram->Directory().Sub("run")},
				{"HOME", fProgram->Directory().Sub("home")},
				{"XDG_CONFIG_HOME", fProgram->ConfigHome()},
				{"XDG_STATE_HOME", fProgram->StateHome()}});
		ASSERT_TRUE(fReader->WaitForCount(": reading\n",
			(int)sources.size() / 2));
	}

	// Waits for the relay's open and close count times each, in order.
	void ExpectOpenedAndClosed(int count)
	{
		ASSERT_TRUE(fBoard->WaitForRequest(kOpen, 20, count));
		ASSERT_TRUE(fBoard->WaitForRequest(kClose, 20, count));
		std::vector<std::string> requests = fBoard->Requests();
		int open = 0;
		for (const std::string& request : requests) {
			if (request == kOpen)
				open++;
			if (request == kClose) {
				EXPECT_EQ(1, open) << "a close without its open before it";
				open--;
			}
		}
	}

	std::unique_ptr<RdxProgram> fProgram;
	std::unique_ptr<BoardSim> fBoard;
	std::unique_ptr<ReaderProcess> fReader;
	std::string		fTags;
};


TEST_F(ReaderEndToEndTest, ListedTagFromEachKindOfReaderOpensTheDoor)
{
	StartRdx();
	EventFifo keyboard;
	Pty rdm6300;
	Pty lines;
	ASSERT_TRUE(rdm6300.IsValid() && lines.IsValid());
	StartReader({"--keyboard", keyboard.Path(), "--serial",
		rdm6300.SlavePath(), "--serial", lines.SlavePath() + ",9600,lines"});

	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n")));
	ASSERT_TRUE(fReader->WaitFor(keyboard.Path()
		+ ": 04A1B2C3 (card): passed on\n"));
	ExpectOpenedAndClosed(1);

	ASSERT_TRUE(rdm6300.Write(rdm6300_frame("2900DEB30A")));
	ASSERT_TRUE(fReader->WaitFor(rdm6300.SlavePath()
		+ ": 0014594826 (fob): passed on\n"));
	ExpectOpenedAndClosed(2);

	ASSERT_TRUE(lines.Write("abc123\r\n"));
	ASSERT_TRUE(fReader->WaitFor(lines.SlavePath()
		+ ": ABC123 (line reader): passed on\n"));
	ExpectOpenedAndClosed(3);

	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(3, fProgram->Count(" OPEN 2|"));
	EXPECT_EQ(3, count_of(fReader->Output(), ": passed on\n"));
}


TEST_F(ReaderEndToEndTest, UnlistedTagAndRepeatMakeNoRequest)
{
	StartRdx();
	Pty rdm6300;
	ASSERT_TRUE(rdm6300.IsValid());
	StartReader({"--serial", rdm6300.SlavePath()});

	ASSERT_TRUE(rdm6300.Write(rdm6300_frame("0100000001")));
	ASSERT_TRUE(fReader->WaitFor(": 0000000001: unknown\n"));
	// The module repeats the listed tag while it stays in the field.
	std::string frame = rdm6300_frame("2900DEB30A");
	ASSERT_TRUE(rdm6300.Write(frame + frame + frame));
	ASSERT_TRUE(fReader->WaitForCount(": 0014594826 (fob): repeat\n", 2));
	ExpectOpenedAndClosed(1);
	// Whatever rdx was sent has been handled by now.
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kOpen));
	EXPECT_EQ(1, count_of(fReader->Output(), ": passed on\n"));
	EXPECT_EQ(1, fProgram->Count(" OPEN 2|"));

	// Both programs keep the access log: the reads with their outcomes,
	// then rdx's tag with the reader it came from, the open it asked for
	// and the close at the end of the hold.
	std::string log = fProgram->StateHome() + "/RDX/access.log";
	std::vector<std::string> events;
	ASSERT_TRUE(wait_for([&] {
		events.clear();
		std::string text = read_file(log);
		size_t start = 0;
		for (size_t end; (end = text.find('\n', start)) != std::string::npos;
				start = end + 1) {
			nlohmann::json record = nlohmann::json::parse(
				text.substr(start, end - start), nullptr, false);
			if (record.is_discarded()) {
				events.push_back("damaged");
				continue;
			}
			std::string event = record.value("event", "");
			if (event == "read")
				event += " " + record.value("outcome", "");
			else if (event == "tag")
				event += " " + record.value("tag", "") + " from "
					+ record.value("reader", "");
			else if (event == "relay" && record.value("relay", 0) == 2)
				event += " " + record.value("action", "") + " "
					+ record.value("cause", "") + " "
					+ record.value("result", "");
			else
				continue;
			events.push_back(event);
		}
		return events.size() >= 7;
	}, 20)) << read_file(log);
	// rdx's writer may put the tag's record after its open's.
	std::sort(events.begin(), events.end());
	EXPECT_EQ(events, (std::vector<std::string>{"read passed-on",
		"read repeat", "read repeat", "read unknown",
		"relay close hold-end ok", "relay open tag ok",
		"tag 0014594826 from " + rdm6300.SlavePath()}));
}


TEST_F(ReaderEndToEndTest, ReadWithoutRdxIsDroppedNotKept)
{
	EventFifo keyboard;
	StartReader({"--keyboard", keyboard.Path()});
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n")));
	ASSERT_TRUE(fReader->WaitFor(": 04A1B2C3 (card): no rdx: rdx does not"
		" run, the read is dropped\n"));

	StartRdx();
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(0, fBoard->CountOf(kOpen));

	// And once rdx runs, the next read goes through (another tag: the
	// same one might still be within its repeat window).
	ASSERT_TRUE(keyboard.Write(KeyScript(2000000000LL * 1000)
		.Type("0014594826\n")));
	ASSERT_TRUE(fReader->WaitFor(": 0014594826 (fob): passed on\n"));
	ExpectOpenedAndClosed(1);
}

TEST_F(ReaderEndToEndTest, ReadItsSenderGaveUpOnNeverOpensLater)
{
	StartRdx();
	EventFifo keyboard;
	StartReader({"--keyboard", keyboard.Path()});

	// rdx stalls (swap, a debugger): the reader waits its second, reports
	// the read as not delivered and hangs up; after the stall rdx refuses
	// it, since the reader stops waiting no earlier than the deadline it
	// put into the read.
	fProgram->Signal(SIGSTOP);
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n")));
	bool reported = fReader->WaitFor(": 04A1B2C3 (card): not delivered: ", 20);
	fProgram->Signal(SIGCONT);
	ASSERT_TRUE(reported);
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fProgram->Count("tag 04A1B2C3 came "));

	// One whose time is over when rdx gets to it: refused with a line
	// and a record.
	EXPECT_EQ(0, fProgram->Send({"RFID", "_tagstr=ABC123", "reader=late",
		"deadline=1000"}));
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fProgram->Count("tag ABC123 came "));
	EXPECT_EQ(2, fProgram->Count(" ms after its sender stopped waiting: not"
		" opened\n"));
	EXPECT_EQ(0, fBoard->CountOf(kOpen));
	std::string log = fProgram->StateHome() + "/RDX/access.log";
	EXPECT_TRUE(wait_for([&] {
		return count_of(read_file(log), "\"event\":\"tag\",\"tag\":"
			"\"ABC123\",\"reader\":\"late\",\"result\":\"too-late\"")
			== 1;
	}, 10)) << read_file(log);

	// Within their time, reads open as before: the reader's, and
	// rdx-send's.
	ASSERT_TRUE(keyboard.Write(KeyScript(2000000000LL * 1000)
		.Type("0014594826\n")));
	ASSERT_TRUE(fReader->WaitFor(": 0014594826 (fob): passed on\n"));
	ExpectOpenedAndClosed(1);
	ASSERT_EQ(0, fProgram->Send({"RFID", "_tagstr=ABC123"}));
	ExpectOpenedAndClosed(2);
}


TEST_F(ReaderEndToEndTest, ListedTagOutsideItsHoursOpensNothing)
{
	// Hours on a day that is neither today nor yesterday: outside them
	// whatever the time.
	static const char* const kDays[] = {"Mo", "Tu", "We", "Th", "Fr", "Sa",
		"Su"};
	FILE* file = fopen(fTags.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fprintf(file, "0014594826 fob | %s 10:00-11:00\n0000000001 other\n",
		kDays[(LocalTime::Now().Weekday() + 3) % 7]);
	fclose(file);
	StartRdx();
	Pty rdm6300;
	ASSERT_TRUE(rdm6300.IsValid());
	StartReader({"--serial", rdm6300.SlavePath()});

	ASSERT_TRUE(rdm6300.Write(rdm6300_frame("2900DEB30A")));
	ASSERT_TRUE(fReader->WaitFor(": 0014594826 (fob): outside-hours (line"
		" 1)\n"));
	// The next listed tag opens: nothing was on its way before it.
	ASSERT_TRUE(rdm6300.Write(rdm6300_frame("0100000001")));
	ASSERT_TRUE(fReader->WaitFor(": 0000000001 (other): passed on\n"));
	ExpectOpenedAndClosed(1);
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kOpen));
	EXPECT_EQ(1, fProgram->Count(" OPEN 2|"));

	std::string log = fProgram->StateHome() + "/RDX/access.log";
	ASSERT_TRUE(wait_for([&] {
		return count_of(read_file(log), "\"event\":\"read\"") >= 2;
	}, 20)) << read_file(log);
	std::string text = read_file(log);
	EXPECT_EQ(1, count_of(text, "\"tag\":\"0014594826\",\"outcome\":"
		"\"outside-hours\"")) << text;
	EXPECT_EQ(1, count_of(text, "\"outcome\":\"passed-on\"")) << text;
}



// Card and PIN: the tag alone opens nothing, a wrong PIN opens nothing, the
// right one opens the door through rdx as a tag does.
TEST_F(ReaderEndToEndTest, TagWithItsPinOpensAndWithoutItNothing)
{
	std::string hash, problem;
	ASSERT_TRUE(PinHash::Make("2580", 4, &hash, &problem)) << problem;
	FILE* file = fopen(fTags.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fprintf(file, "04A1B2C3 card | pin ; pinhash %s\n", hash.c_str());
	fclose(file);
	StartRdx();
	EventFifo keyboard;
	StartReader({"--keyboard", keyboard.Path()}, {"--repeat-ms", "0"});
	const std::string read = keyboard.Path() + ": 04A1B2C3 (card): ";

	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n")));
	ASSERT_TRUE(fReader->WaitFor(read + "pin-wanted"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("0852\n", 300)));
	ASSERT_TRUE(fReader->WaitFor(read + "wrong-pin (1 of 3 in a row)\n"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n")));
	ASSERT_TRUE(fReader->WaitForCount(read + "pin-wanted", 2));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("2580\n", 300)));
	ASSERT_TRUE(fReader->WaitFor(read + "passed on (the PIN is right)\n"));
	ExpectOpenedAndClosed(1);
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kOpen));
	EXPECT_EQ(1, fProgram->Count(" OPEN 2|"));
}


// Editors save in two ways that leave the list half-written for a moment:
// the old file removed and a new one written at its path, or the file
// truncated and written in place. rdx-reader is stopped while the editor is
// half-way, so that it sees everything at once when it goes on, and is
// woken by the change in the middle (the file removed, its permissions
// set). The half-written "7100 Visitor " would let the visitor in at any
// time; until the editor has finished, the list read before stays in force.
TEST_F(ReaderEndToEndTest, HalfWrittenListNeverOpens)
{
	FILE* file = fopen(fTags.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("7100 Visitor | off\n7200 Anna\n", file);
	fclose(file);
	ASSERT_EQ(0, chmod(fTags.c_str(), 0600));
	StartRdx();
	EventFifo keyboard;
	StartReader({"--keyboard", keyboard.Path()}, {"--repeat-ms", "0"});
	int64_t start = 1000000000LL * 1000;
	auto present = [&](const char* tag, const std::string& outcome) {
		int before = count_of(fReader->Output(), std::string(": ") + tag);
		start += 1000000000LL;
		ASSERT_TRUE(keyboard.Write(KeyScript(start).Type(std::string(tag)
			+ "\n")));
		ASSERT_TRUE(fReader->WaitForCount(std::string(": ") + tag, before
			+ 1));
		EXPECT_EQ(before + 1, count_of(fReader->Output(), ": " + std::string(tag)
			+ " " + outcome)) << fReader->Output();
	};
	auto write_all = [](int fd, const char* text) {
		return write(fd, text, strlen(text)) == (ssize_t)strlen(text);
	};
	// Waits until the list was looked at again count times in all.
	const std::string kBeingWritten = " is being written by another program:"
		" the list read before stays in force until it is saved\n";
	auto lookedAt = [&](int count) {
		return wait_for([&] {
			std::string output = fReader->Output();
			return count_of(output, kBeingWritten)
				+ count_of(output, "read again the tag list") >= count;
		}, 20);
	};
	present("7100", "(Visitor): off (line 1)\n");

	// Removed, and a new file written at the list's path.
	fReader->Process().Signal(SIGSTOP);
	ASSERT_EQ(0, unlink(fTags.c_str()));
	int fd = open(fTags.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
		0600);
	ASSERT_GE(fd, 0);
	ASSERT_TRUE(write_all(fd, "7100 Visitor "));
	fReader->Process().Signal(SIGCONT);
	ASSERT_TRUE(lookedAt(1));
	present("7100", "(Visitor): off (line 1)\n");
	ASSERT_TRUE(write_all(fd, "| off\n7200 Anna\n"));
	ASSERT_EQ(0, close(fd));
	ASSERT_TRUE(lookedAt(2));
	present("7100", "(Visitor): off (line 1)\n");

	// Truncated and written in place.
	fReader->Process().Signal(SIGSTOP);
	fd = open(fTags.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
	ASSERT_GE(fd, 0);
	ASSERT_TRUE(write_all(fd, "7100 Visitor "));
	ASSERT_EQ(0, fchmod(fd, 0600));
	fReader->Process().Signal(SIGCONT);
	ASSERT_TRUE(lookedAt(3));
	present("7100", "(Visitor): off (line 1)\n");
	ASSERT_TRUE(write_all(fd, "| off\n7200 Anna\n"));
	ASSERT_EQ(0, close(fd));
	ASSERT_TRUE(lookedAt(4));
	present("7100", "(Visitor): off (line 1)\n");

	// The door opened for the one tag the list lets in, and for no other.
	present("7200", "(Anna): passed on\n");
	ExpectOpenedAndClosed(1);
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(1, fBoard->CountOf(kOpen));
	EXPECT_EQ(0, count_of(fReader->Output(), "7100 (Visitor): passed on"));
	EXPECT_EQ(2, count_of(fReader->Output(), kBeingWritten));
	EXPECT_EQ(2, count_of(fReader->Output(), "read again the tag list"));
}

}	// namespace


// Lockdown as rdx keeps it in the state directory: the reader shows it as
// the outcome of a read that would pass, also after it restarts, and takes
// the lift as it comes (inotify, no polling).
TEST_F(ReaderEndToEndTest, ReadDuringLockdownIsRefusedAcrossARestart)
{
	StartRdx();
	EventFifo keyboard;
	StartReader({"--keyboard", keyboard.Path()}, {"--repeat-ms", "0"});
	ASSERT_EQ(0, fProgram->Send({"--lockdown", "on"}));
	ASSERT_TRUE(fReader->WaitFor("rdx-reader: the door is in lockdown: no"
		" read is passed on until it is lifted\n"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("04A1B2C3\n0055\n")));
	ASSERT_TRUE(fReader->WaitFor(": 04A1B2C3 (card): lockdown (the door is"
		" in lockdown)\n"));
	// The list's own word stands first: an unknown card is unknown.
	ASSERT_TRUE(fReader->WaitFor(": 0055: unknown\n"));

	// A reader started during lockdown is in it from its first read.
	fReader.reset();
	StartReader({"--keyboard", keyboard.Path()}, {"--repeat-ms", "0"});
	ASSERT_TRUE(fReader->WaitFor("the door is in lockdown"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("0014594826\n")));
	ASSERT_TRUE(fReader->WaitFor(": 0014594826 (fob): lockdown"));
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(0, fBoard->CountOf(kOpen));
	std::string log = fProgram->StateHome() + "/RDX/access.log";
	EXPECT_TRUE(wait_for([&] {
		return count_of(read_file(log), "\"outcome\":\"lockdown\"") == 2;
	}, 10)) << read_file(log);

	ASSERT_EQ(0, fProgram->Send({"--lockdown", "off"}));
	ASSERT_TRUE(fReader->WaitFor("rdx-reader: lockdown lifted: reads are"
		" passed on again\n"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("0014594826\n")));
	ASSERT_TRUE(fReader->WaitFor(": 0014594826 (fob): passed on\n"));
	ExpectOpenedAndClosed(1);
}
