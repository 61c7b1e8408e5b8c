// The real rdx under Xvfb against rdx-board-sim, with its access log: what a
// tag, a board that is down and the operator's changes leave in it, and a
// log directory that is read-only or full, which must not keep the door
// shut.

#include "BoardSim.h"
#include "FaultSupport.h"
#include "LogTestSupport.h"
#include "RdxProgram.h"
#include "UnusedPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using nlohmann::json;

const WindowPoint kRadioThree = {244 + 35 * 2 + 8, 48};
const WindowPoint kOpenAllButton = {313, 71};
const WindowPoint kRadioPoint2 = {244 + 35 + 8, 48};


class RdxAccessLogTest : public testing::Test {
protected:
	void SetUp() override
	{
		fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-log-e2e");
	}

	void TearDown() override
	{
		if (fRdx == nullptr)
			return;
		fRdx->Stop();
		if (HasFailure() && fRdx->Started()) {
			printf("%s---- access log ----\n%s---- end ----\n",
				fRdx->Transcript().c_str(),
				read_file(fRdx->AccessLogFile()).c_str());
		}
		fRdx.reset();
	}

	seed::Values Settings(const std::string& address, bool use, int32_t hold,
		int32_t tagRelay)
	{
		return {
			{"rdx_ip", seed::Text(address)},
			{"rdx_use", seed::Bool(use)},
			{"OpenInSecs", seed::Int32(hold)},
			{"TagsUseDoor", seed::Int32(tagRelay)},
			{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
		};
	}

	// The records of the log without the fields that change from run to
	// run (time, pid, ms), for comparing whole.
	std::vector<json> Records()
	{
		std::vector<json> records;
		for (json record : FileRecords(fRdx->AccessLogFile())) {
			EXPECT_EQ(record["program"], "rdx");
			EXPECT_EQ(record["pid"], fRdx->Pid());
			EXPECT_TRUE(record["time"].is_string());
			if (record.contains("ms")) {
				EXPECT_GT(record["ms"].get<double>(), 0) << record;
				record.erase("ms");
			}
			for (const char* name : {"time", "program", "pid"})
				record.erase(name);
			records.push_back(record);
		}
		// The tag's record is made once its request is on its way, so on a
		// busy machine the worker's record of the open can come first.
		for (size_t i = 1; i < records.size(); i++) {
			if (records[i]["event"] == "tag"
				&& records[i - 1]["event"] == "relay"
				&& records[i - 1].value("cause", "") == "tag"
				&& records[i - 1].value("tag", "") == records[i]["tag"]) {
				std::swap(records[i - 1], records[i]);
			}
		}
		return records;
	}

	std::unique_ptr<RdxProgram> fRdx;
};


json
Relay(int relay, const char* action, const char* cause, const char* result,
	int status, const char* tag = nullptr)
{
	json record = {{"event", "relay"}, {"relay", relay}, {"action", action},
		{"cause", cause}};
	if (tag != nullptr)
		record["tag"] = tag;
	record["result"] = result;
	record["status"] = status;
	return record;
}


TEST_F(RdxAccessLogTest, TagOpensAndTheHoldEndCloses)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	ASSERT_TRUE(fRdx->Seed(Settings(board.Address(), true, 1, 2)));
	ASSERT_TRUE(fRdx->Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 15));
	ASSERT_TRUE(fRdx->WaitForCount("CLOSE 1|", 1));
	ASSERT_EQ(fRdx->Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 15));
	// The close is recorded once wget has returned, which on a busy machine
	// may be after the board saw the request: the next tag waits for it,
	// so that the records' order is the doors'.
	for (int i = 0; i < 1000 && Records().size() < 6; i++)
		usleep(10 * 1000);
	// A remote open names its reader.
	ASSERT_EQ(fRdx->Send({"RFID", "_tagstr=mqtt:hall", "reader=mqtt"}), 0);
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 15, 2));
	ASSERT_TRUE(fRdx->WaitForCount("CLOSE 2|", 2));
	ASSERT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CloseAndWait(), 0);

	std::vector<json> records = Records();
	std::vector<json> expected = {
		{{"event", "start"}},
		Relay(1, "open", "start-up", "ok", 0),
		Relay(1, "close", "hold-end", "ok", 0),
		{{"event", "tag"}, {"tag", "04A1B2C3"}, {"board_use", true}},
		Relay(2, "open", "tag", "ok", 0, "04A1B2C3"),
		Relay(2, "close", "hold-end", "ok", 0),
		{{"event", "tag"}, {"tag", "mqtt:hall"}, {"reader", "mqtt"},
			{"board_use", true}},
		Relay(2, "open", "tag", "ok", 0, "mqtt:hall"),
		Relay(2, "close", "hold-end", "ok", 0),
		{{"event", "stop"}},
	};
	EXPECT_EQ(json(records), json(expected));
	// Nothing of it went to standard error.
	EXPECT_EQ(fRdx->Errors(), "");
}


TEST_F(RdxAccessLogTest, BoardThatIsDownTurnsBoardUseOff)
{
	int port = UnusedPort();
	ASSERT_GT(port, 0);
	ASSERT_TRUE(fRdx->Seed(Settings("127.0.0.1:" + std::to_string(port), true,
		1, 1)));
	ASSERT_TRUE(fRdx->Start());
	// The open and the close after the hold time both failed.
	ASSERT_TRUE(fRdx->WaitForCount("| ausschalten, da es nicht antwortet \n",
		2));
	ASSERT_EQ(fRdx->Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(fRdx->WaitForCount("rdx ist aus\n", 4));
	ASSERT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CloseAndWait(), 0);

	// wget's status 4: a network failure.
	std::vector<json> expected = {
		{{"event", "start"}},
		Relay(1, "open", "start-up", "no-answer", 4),
		{{"event", "board-use"}, {"use", "off"}, {"why", "no-answer"}},
		// The door this program opened is closed after its hold time,
		// board use or not.
		Relay(1, "close", "hold-end", "no-answer", 4),
		{{"event", "tag"}, {"tag", "04A1B2C3"}, {"board_use", false}},
		// The record of open relays still holds it: tried once more at quit.
		Relay(1, "close", "quit", "no-answer", 4),
		{{"event", "stop"}},
	};
	EXPECT_EQ(json(Records()), json(expected));
}


TEST_F(RdxAccessLogTest, OperatorChangesAreSettings)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	ASSERT_TRUE(fRdx->Seed(Settings(board.Address(), false, 1, 1)));
	ASSERT_TRUE(fRdx->Start());
	ASSERT_TRUE(fRdx->Click(kUseCheckBox));
	ASSERT_TRUE(fRdx->WaitForStored("rdx_use", seed::Bool(true)));
	ASSERT_TRUE(fRdx->Enter(kHoldTimeField, "5"));
	ASSERT_TRUE(fRdx->WaitForCount("open time= 5\n", 1));
	std::string address = "localhost:" + std::to_string(board.Port());
	ASSERT_TRUE(fRdx->Enter(kAddressField, address));
	ASSERT_TRUE(fRdx->WaitForStored("rdx_ip", seed::Text(address)));
	ASSERT_TRUE(fRdx->Click(kRadioThree));
	ASSERT_TRUE(board.WaitForRequest("GET /?5=1", 15));
	ASSERT_TRUE(fRdx->Click(kUseCheckBox));
	ASSERT_TRUE(fRdx->WaitForStored("rdx_use", seed::Bool(false)));
	ASSERT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CloseAndWait(), 0);

	std::vector<json> expected = {
		{{"event", "start"}},
		{{"event", "board-use"}, {"use", "on"}, {"why", "operator"}},
		{{"event", "setting"}, {"setting", "hold time"}, {"old", 1},
			{"new", 5}},
		{{"event", "setting"}, {"setting", "address"},
			{"old", board.Address()}, {"new", address}},
		{{"event", "setting"}, {"setting", "tag relay"}, {"old", 1},
			{"new", 3}},
		Relay(3, "open", "panel", "ok", 0),
		Relay(3, "close", "hold-end", "ok", 0),
		{{"event", "board-use"}, {"use", "off"}, {"why", "operator"}},
		{{"event", "stop"}},
	};
	EXPECT_EQ(json(Records()), json(expected));
}


TEST_F(RdxAccessLogTest, OpenAllAndQuitDuringTheHold)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	ASSERT_TRUE(fRdx->Seed(Settings(board.Address(), true, 1, 1)));
	ASSERT_TRUE(fRdx->Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 15));
	ASSERT_TRUE(fRdx->WaitForCount("CLOSE 1|", 1));
	ASSERT_TRUE(fRdx->Sync());
	ASSERT_TRUE(fRdx->Click(kOpenAllButton));
	ASSERT_TRUE(board.WaitForRequest("GET /?6=1", 15));
	ASSERT_TRUE(fRdx->WaitForCount("CLOSE ", 5));
	ASSERT_TRUE(fRdx->Sync());
	// The window closes while relay 2 is held open by a tag: the close on
	// quit is the request's cause.
	ASSERT_TRUE(fRdx->Click(kRadioPoint2));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 15, 2));
	ASSERT_TRUE(fRdx->WaitForCount("CLOSE 2|", 2));
	ASSERT_TRUE(fRdx->Enter(kHoldTimeField, "9"));
	ASSERT_TRUE(fRdx->WaitForCount("open time= 9\n", 1));
	ASSERT_EQ(fRdx->Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(board.WaitForRequest("GET /?4=0", 15, 3));
	EXPECT_EQ(fRdx->CloseAndWait(), 0);
	ASSERT_EQ(board.CountOf("GET /?4=1"), 3);

	std::vector<json> records = Records();
	ASSERT_EQ(records.size(), 19u) << json(records);
	// The four workers of open-all report in any order: the fourth to the
	// eleventh record.
	std::multiset<std::string> openAll;
	std::vector<json> rest;
	for (size_t i = 0; i < records.size(); i++) {
		if (i >= 3 && i < 11)
			openAll.insert(records[i].dump());
		else
			rest.push_back(records[i]);
	}
	std::multiset<std::string> expectedOpenAll;
	for (int relay = 1; relay <= 4; relay++) {
		expectedOpenAll.insert(Relay(relay, "open", "open-all", "ok", 0)
			.dump());
		expectedOpenAll.insert(Relay(relay, "close", "hold-end", "ok", 0)
			.dump());
	}
	EXPECT_EQ(openAll, expectedOpenAll);
	std::vector<json> expected = {
		{{"event", "start"}},
		Relay(1, "open", "start-up", "ok", 0),
		Relay(1, "close", "hold-end", "ok", 0),
		{{"event", "setting"}, {"setting", "tag relay"}, {"old", 1},
			{"new", 2}},
		Relay(2, "open", "panel", "ok", 0),
		Relay(2, "close", "hold-end", "ok", 0),
		{{"event", "setting"}, {"setting", "hold time"}, {"old", 1},
			{"new", 9}},
		{{"event", "tag"}, {"tag", "04A1B2C3"}, {"board_use", true}},
		Relay(2, "open", "tag", "ok", 0, "04A1B2C3"),
		Relay(2, "close", "quit", "ok", 0),
		{{"event", "stop"}},
	};
	EXPECT_EQ(json(rest), json(expected));
}


// The door opens whatever the log's disk does; the log costs one line.
void
ExpectDoorOpensWithOneLine(RdxProgram& rdx, const std::string& reason)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	ASSERT_TRUE(rdx.Seed({
		{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)},
		{"OpenInSecs", seed::Int32(1)},
		{"TagsUseDoor", seed::Int32(4)},
	}));
	ASSERT_TRUE(rdx.Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 15));
	for (int i = 1; i <= 3; i++) {
		ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
		ASSERT_TRUE(board.WaitForRequest("GET /?6=1", 15, i));
	}
	EXPECT_TRUE(rdx.Sync());
	EXPECT_EQ(rdx.CloseAndWait(), 0);
	std::string errors = rdx.Errors();
	EXPECT_EQ(count_of(errors, "\n"), 1) << errors;
	EXPECT_EQ(count_of(errors, "rdx: access log: "), 1) << errors;
	EXPECT_NE(errors.find(reason + "; going on without it\n"),
		std::string::npos) << errors;
}


TEST_F(RdxAccessLogTest, ReadOnlyLogDirectory)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	std::string directory = fRdx->StateHome() + "/RDX";
	ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
	// The log alone: the record of open relays beside it must be kept, or
	// nothing opens.
	int fd = open(fRdx->AccessLogFile().c_str(), O_WRONLY | O_CREAT, 0600);
	ASSERT_GE(fd, 0);
	close(fd);
	ASSERT_EQ(BindReadOnly(fRdx->AccessLogFile()), "");
	ExpectDoorOpensWithOneLine(*fRdx, "Read-only file system");
	EXPECT_EQ(read_file(fRdx->AccessLogFile()), "");
}


TEST_F(RdxAccessLogTest, FullLogDirectory)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	std::string directory = fRdx->StateHome() + "/RDX";
	ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
	ASSERT_EQ(MountFileSystem("tmpfs", directory, "size=16k,mode=700"), "");
	// An earlier run made the record of open relays, which is rewritten in
	// place and so still kept.
	std::string record = "RDX open relays 2\n";
	for (int slot = 0; slot < 22; slot++)
		record += "- 000 " + std::string(175, ' ') + "\n";
	int recordFd = open((directory + "/open-relays").c_str(), O_WRONLY
		| O_CREAT, 0600);
	ASSERT_EQ(write(recordFd, record.data(), record.size()),
		(ssize_t)record.size());
	close(recordFd);
	// The log exists and the disk is full to the last byte.
	int fd = open(fRdx->AccessLogFile().c_str(), O_WRONLY | O_CREAT
		| O_APPEND, 0600);
	ASSERT_GE(fd, 0);
	std::string filler(4096, 'x');
	while (write(fd, filler.data(), filler.size()) > 0) {
	}
	while (write(fd, "x", 1) > 0) {
	}
	close(fd);
	ExpectDoorOpensWithOneLine(*fRdx, "No space left on device");
}

}	// namespace
