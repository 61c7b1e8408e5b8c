// Opening and closing relays against a real board, through the real wget.

#include "BoardSim.h"
#include "RefusingPort.h"
#include "RelayTestSupport.h"

#include <RDXDefs.h>
#include <FindProgram.h>
#include <RelayPath.h>

#include "TempDir.h"

#include <sys/stat.h>

#include <netinet/in.h>
#include <algorithm>
#include <cstdint>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int32
Int32Field(const BMessage& message, const char* name)
{
	int32 value = -1000;
	message.FindInt32(name, &value);
	return value;
}


std::string
ImageField(const BMessage& message)
{
	const char* image = nullptr;
	if (message.FindString(RDX_FIELD_IMAGE, &image) != B_OK)
		return "(none)";
	return image;
}



}	// namespace


class Dispatch : public RelayTest {};


TEST_F(Dispatch, OpenSwitchesOutputFiveReportsAndClosesAfterTheDelay)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	Own_Thread(3, true, board.Address().c_str(), 1);
	ASSERT_TRUE(gApp->WaitForReports(2, 20)) << fOutput->Text();
	EXPECT_EQ(board.Requests(), std::vector<std::string>{"GET /?5=0"});

	std::vector<RecordingApp::Report> reports = gApp->Reports();
	ASSERT_EQ(reports.size(), 2u);
	const BMessage& status = reports[0].message;
	const BMessage& close = reports[1].message;
	ASSERT_EQ(status.what, (uint32)RDX_MSG_STATUS);
	ASSERT_EQ(close.what, (uint32)RDX_MSG_CLOSE);
	EXPECT_EQ(Int32Field(status, RDX_FIELD_RELAIS), 3);
	EXPECT_EQ(Int32Field(status, RDX_FIELD_OPEN), 3);
	EXPECT_EQ(ImageField(status), "-xxox---");
	EXPECT_EQ(Int32Field(close, RDX_FIELD_RELAIS), 3);
	EXPECT_FALSE(close.HasInt32(RDX_FIELD_OPEN));
	EXPECT_EQ(ImageField(close), ImageField(status));
	// The hold time is the worker's own sleep between the two reports.
	EXPECT_GE(reports[1].when - reports[0].when, 0.9);
	EXPECT_LE(reports[1].when - reports[0].when, 1.6) << "held too long";
	EXPECT_EQ(RelayMark(3), 'o');
	EXPECT_EQ(fOutput->Text().find("ausschalten"), std::string::npos);

	gApp->ClearReports();
	Own_Thread(3, false, board.Address().c_str(), 2);
	ASSERT_TRUE(gApp->WaitForReports(1, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	EXPECT_EQ(board.Requests(),
		(std::vector<std::string>{"GET /?5=0", "GET /?5=1"}));
	reports = gApp->Reports();
	ASSERT_EQ(reports.size(), 1u) << "a close sends no 'rx_c'";
	EXPECT_EQ(reports[0].message.what, (uint32)RDX_MSG_STATUS);
	EXPECT_EQ(Int32Field(reports[0].message, RDX_FIELD_RELAIS), 3);
	EXPECT_FALSE(reports[0].message.HasInt32(RDX_FIELD_OPEN));
	EXPECT_EQ(ImageField(reports[0].message), "-xxxx---");
	EXPECT_EQ(RelayMark(3), 'x');
}


TEST_F(Dispatch, RelaysOneAndFourUseOutputsThreeAndSix)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	std::string address = board.Address();

	Own_Thread(1, true, address.c_str(), 0);
	Own_Thread(4, true, address.c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(4, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	Own_Thread(1, false, address.c_str(), 2);
	Own_Thread(4, false, address.c_str(), 2);
	ASSERT_TRUE(gApp->WaitForReports(6, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));

	EXPECT_EQ(board.CountOf("GET /?3=0"), 1);
	EXPECT_EQ(board.CountOf("GET /?6=0"), 1);
	EXPECT_EQ(board.CountOf("GET /?3=1"), 1);
	EXPECT_EQ(board.CountOf("GET /?6=1"), 1);
	EXPECT_EQ(board.Requests().size(), 4u);

	int opened[5] = {};
	for (const RecordingApp::Report& report : gApp->Reports()) {
		int32 relay = Int32Field(report.message, RDX_FIELD_RELAIS);
		ASSERT_TRUE(relay == 1 || relay == 4) << relay;
		if (report.message.what == RDX_MSG_STATUS
			&& report.message.HasInt32(RDX_FIELD_OPEN)) {
			EXPECT_EQ(Int32Field(report.message, RDX_FIELD_OPEN), relay);
			opened[relay]++;
		}
	}
	EXPECT_EQ(opened[1], 1);
	EXPECT_EQ(opened[4], 1);
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");
}


TEST_F(Dispatch, RequestsThatRepeatTheMarkAreRefused)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	Own_Thread(2, false, board.Address().c_str(), 2);
	EXPECT_TRUE(fOutput->WaitFor("2 schon zu!  -xxxx--- \n", 5));

	Own_Thread(2, true, board.Address().c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	Own_Thread(2, true, board.Address().c_str(), 0);
	EXPECT_TRUE(fOutput->WaitFor("2 schon auf! -xoxx--- \n", 5));

	// Neither refusal reached the board or the application.
	EXPECT_TRUE(WaitForWorkersToEnd(20));
	EXPECT_EQ(board.Requests(), std::vector<std::string>{"GET /?4=0"});
	EXPECT_EQ(gApp->Reports().size(), 2u);
}


TEST_F(Dispatch, WorkerIsNamedAfterTheRelayAndRunsAtLowPriority)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	Own_Thread(4, true, board.Address().c_str(), 3);
	ASSERT_TRUE(gApp->WaitForReports(1, 20));
	// The worker now holds the relay for its delay.
	std::vector<pid_t> workers = ThreadsNamed("rdxR4");
	ASSERT_EQ(workers.size(), 1u);
	// Below the process's own priority, whatever that is (the suite may
	// run under nice itself), as far as the kernel's lowest allows.
	int workerNice = NiceOf(workers[0]);
	int ownNice = NiceOf((pid_t)getpid());
	EXPECT_EQ(workerNice, std::min(ownNice + 10, 19));
	EXPECT_GE(workerNice, ownNice);
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
}


TEST_F(Dispatch, BoardRequestRunsAtNormalPriority)
{
	// wget inherits the nice value of the thread that starts it; a niced
	// request would open the door late on a busy machine. A wget first on
	// PATH records its nice value and hands over to the real one.
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	TempDir bin("rdx-nice-wget");
	std::string record = bin.Sub("nice");
	std::string realWget = FindProgram("wget");
	ASSERT_FALSE(realWget.empty());
	{
		FILE* script = fopen(bin.Sub("wget").c_str(), "w");
		ASSERT_NE(script, nullptr);
		fprintf(script, "#!/bin/sh\nnice > '%s'\nexec '%s' \"$@\"\n",
			record.c_str(), realWget.c_str());
		fclose(script);
		chmod(bin.Sub("wget").c_str(), 0755);
	}
	std::string oldPath = getenv("PATH") != nullptr ? getenv("PATH") : "";
	setenv("PATH", (bin.Path() + ":" + oldPath).c_str(), 1);

	Own_Thread(2, true, board.Address().c_str(), 1);
	bool reported = gApp->WaitForReports(1, 20);
	setenv("PATH", oldPath.c_str(), 1);
	ASSERT_TRUE(reported);
	EXPECT_TRUE(board.WaitForRequest("GET /?4=0", 10));
	EXPECT_EQ(read_file(record),
		std::to_string(NiceOf((pid_t)getpid())) + "\n");
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
}


TEST_F(Dispatch, InvalidRelaysAreRefusedByTheWorker)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	// The extremes would overflow any arithmetic on the relay number (the
	// sanitizer build catches that).
	for (int32 relay : {0, 5, -1, INT32_MIN, INT32_MAX}) {
		Own_Thread(relay, true, board.Address().c_str(), 0);
		std::string line = "NO VALID RELAIS! {" + std::to_string(relay)
			+ "}\n";
		EXPECT_TRUE(fOutput->WaitFor(line, 10)) << line;
	}
	// Also a close of one: neither is ever marked, so both reach the worker.
	Own_Thread(5, false, board.Address().c_str(), 0);
	EXPECT_TRUE(wait_for([&] {
		return count_of(fOutput->Text(), "NO VALID RELAIS! {5}\n") == 2;
	}, 10));
	ASSERT_TRUE(WaitForWorkersToEnd(20));

	EXPECT_TRUE(board.Requests().empty());
	EXPECT_TRUE(gApp->Reports().empty());
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");
}


TEST_F(Dispatch, NullRequestIsRefused)
{
	EXPECT_EQ(DoWithRDX(nullptr), 0);
	EXPECT_EQ(fOutput->Text(), "BAD DATA-MESSAGE \n");
	EXPECT_TRUE(gApp->Reports().empty());
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");
}


TEST_F(Dispatch, DelayZeroReportsTheCloseRightAway)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	Own_Thread(1, true, board.Address().c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
	std::vector<RecordingApp::Report> reports = gApp->Reports();
	EXPECT_EQ(reports[0].message.what, (uint32)RDX_MSG_STATUS);
	EXPECT_EQ(reports[1].message.what, (uint32)RDX_MSG_CLOSE);
	EXPECT_EQ(ImageField(reports[1].message), "-oxxx---");
	EXPECT_LE(reports[1].when - reports[0].when, 0.5) << "held at all";
}


// A board that does not answer, in each way it can fail to.
struct DeadBoard {
	const char*	name;
	std::vector<std::string> options;
};


// Shown by its name: the default shows the object's bytes, pointers among
// them, and the test's full name would change from build to build.
void
PrintTo(const DeadBoard& board, std::ostream* out)
{
	*out << board.name;
}


class DeadBoardTest : public RelayTest,
	public testing::WithParamInterface<DeadBoard> {};


TEST_P(DeadBoardTest, FailureIsReportedBeforeStatusAndClose)
{
	std::unique_ptr<BoardSim> board;
	std::unique_ptr<RefusingPort> refusing;
	std::string address;
	if (GetParam().options.empty()) {
		refusing = std::make_unique<RefusingPort>();
		address = refusing->Address();
	} else {
		board = std::make_unique<BoardSim>(GetParam().options);
		ASSERT_TRUE(board->IsListening());
		address = board->Address();
	}

	Own_Thread(2, true, address.c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(3, 20)) << fOutput->Text();
	EXPECT_EQ(ReportCodes(), (std::vector<uint32>{RDX_MSG_NO_ANSWER,
		RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	std::vector<RecordingApp::Report> reports = gApp->Reports();
	EXPECT_TRUE(reports[0].message.IsEmpty());
	EXPECT_EQ(Int32Field(reports[1].message, RDX_FIELD_OPEN), 2);
	EXPECT_EQ(ImageField(reports[2].message), "-xoxx---");

	std::smatch match;
	std::string text = fOutput->Text();
	ASSERT_TRUE(std::regex_search(text, match,
		std::regex("(^|\n)(-?[0-9]+) \\| ausschalten, da es nicht antwortet \n")))
		<< text;
	EXPECT_NE(std::stoi(match[2].str()), 0);
	if (board != nullptr) {
		EXPECT_EQ(board->Requests(),
			std::vector<std::string>{"GET /?4=0"});
	}

	// The mark stays as written, so the same open is refused now.
	EXPECT_EQ(RelayMark(2), 'o');
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	Own_Thread(2, true, address.c_str(), 0);
	EXPECT_TRUE(fOutput->WaitFor("2 schon auf! -xoxx--- \n", 5));
}


INSTANTIATE_TEST_SUITE_P(Relay, DeadBoardTest, testing::Values(
	DeadBoard{"NothingListening", {}},
	DeadBoard{"Drops", {"--drop"}},
	DeadBoard{"AnswersError", {"--status", "500"}}),
	[](const testing::TestParamInfo<DeadBoard>& info) {
		return std::string(info.param.name);
	});
