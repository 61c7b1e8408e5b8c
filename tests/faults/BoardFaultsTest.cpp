// A board that fails in every way a board on the network can: each request
// ends within wget's own bounds, is reported as a board that does not
// answer, and leaves no worker thread and no descriptor behind.

#include "BoardSim.h"
#include "RefusingPort.h"
#include "FaultSupport.h"
#include "RdxProgram.h"
#include "RecordingApp.h"
#include "RudeBoard.h"
#include "StdoutCapture.h"
#include "Watchdog.h"

#include <RDXDefs.h>
#include <RelayPath.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

RecordingApp* RelayApp();

namespace {



struct BoardFault {
	const char*	name;
	// How the board misbehaves: a mode of RudeBoard, "sim" for
	// rdx-board-sim with the options, or "refused".
	const char*	kind;
	std::vector<std::string> options;
	// How long wget may take by its own options: the 2-second time-out
	// after the last byte, plus the time the board takes to send its bytes.
	double		wgetBound;
};


// The worker's reports in the order they came.
std::vector<uint32>
ReportCodes(const std::vector<RecordingApp::Report>& reports)
{
	std::vector<uint32> codes;
	for (const RecordingApp::Report& report : reports)
		codes.push_back(report.message.what);
	return codes;
}


void
PrintTo(const BoardFault& fault, std::ostream* stream)
{
	*stream << fault.name;
}

}	// namespace


class BoardFaultTest : public testing::TestWithParam<BoardFault> {
protected:
	void SetUp() override
	{
		const testing::TestInfo* info
			= testing::UnitTest::GetInstance()->current_test_info();
		fWatchdog = std::make_unique<Watchdog>(info->name(), 100);
		fApp = RelayApp();
		ASSERT_TRUE(WaitForNoThreads("rdxR", 20));
		WriteRelayStatus(RDX_RSTATUS_RESET);
		fApp->ClearReports();
		fOutput = std::make_unique<StdoutCapture>();
	}

	void TearDown() override
	{
		// A worker of this test must not report into the next one.
		EXPECT_TRUE(WaitForNoThreads("rdxR", 60));
		if (HasFailure())
			fOutput->Replay();
		fOutput.reset();
		fWatchdog.reset();
	}

	// Starts the board of the case; its address.
	std::string StartBoard(const BoardFault& fault)
	{
		std::string kind = fault.kind;
		if (kind == "refused") {
			fRefusing = std::make_unique<RefusingPort>();
			return fRefusing->Address();
		}
		if (kind == "sim") {
			fSim = std::make_unique<BoardSim>(fault.options);
			return fSim->IsListening() ? fSim->Address() : "";
		}
		fRude = std::make_unique<RudeBoard>(kind);
		return fRude->IsListening() ? fRude->Address() : "";
	}

	// The requests the board was sent, without their protocol.
	std::vector<std::string> BoardRequests() const
	{
		if (fSim != nullptr)
			return fSim->Requests();
		std::vector<std::string> requests;
		if (fRude != nullptr) {
			for (const std::string& line : fRude->Requests())
				requests.push_back(line.substr(0, line.rfind(' ')));
		}
		return requests;
	}

	std::unique_ptr<Watchdog>		fWatchdog;
	RecordingApp*					fApp = nullptr;
	std::unique_ptr<StdoutCapture>	fOutput;
	std::unique_ptr<RefusingPort>	fRefusing;
	std::unique_ptr<BoardSim>		fSim;
	std::unique_ptr<RudeBoard>		fRude;
};


TEST_P(BoardFaultTest, EndsInTimeAsNoAnswerAndLeavesNothingBehind)
{
	const BoardFault& fault = GetParam();
	std::string address = StartBoard(fault);
	ASSERT_FALSE(address.empty());

	// wget is looked for, and tried at the gate, at the first request of a
	// process: done before the count, so that only the request itself is
	// measured. The worker refuses relay 9 once it runs under its own name.
	Own_Thread(9, false, address.c_str(), 0);
	ASSERT_TRUE(fOutput->WaitFor("NO VALID RELAIS! {9}\n", 10));
	ASSERT_TRUE(WaitForNoThreads("rdxR", 20));
	ASSERT_TRUE(WaitForNoThreads("rdx gate check", 20));
	std::set<int> descriptors = OpenDescriptors();
	std::multiset<std::string> threads = ThreadNames();
	ASSERT_EQ(CountThreads("rdxR"), 0);

	double start = test_now();
	Own_Thread(3, true, address.c_str(), 0);
	// The close report comes last, whether the request failed or not.
	ASSERT_TRUE(wait_for([&] {
		std::vector<uint32> codes = ReportCodes(fApp->Reports());
		return !codes.empty() && codes.back() == RDX_MSG_CLOSE;
	}, fault.wgetBound + 30)) << "the request did not end";
	std::vector<RecordingApp::Report> reports = fApp->Reports();
	double ended = reports[0].when - start;
	ReportFigure("request ended after", Seconds(ended));
	EXPECT_LT(ended, fault.wgetBound + 5) << "longer than wget's own bounds";

	// Nothing is left: the worker thread has ended, every descriptor that
	// the request used is closed, no other thread was left running.
	ASSERT_TRUE(WaitForNoThreads("rdxR", 20));
	EXPECT_TRUE(wait_for([&] { return ThreadNames() == threads; }, 10))
		<< Listed(ThreadNames()) << " now, " << Listed(threads) << " before";
	EXPECT_EQ(OpenDescriptors(), descriptors);

	// The board got the one request, to open output 5, when it took
	// connections at all.
	if (std::string(fault.kind) != "refused") {
		EXPECT_EQ(BoardRequests(), std::vector<std::string>{"GET /?5=0"});
	}

	if (std::string(fault.kind) == "garbage") {
		SKIP_KNOWN_FAULT("wget takes an answer that is not HTTP for an "
			"HTTP/0.9 one and ends with status 0: the open was reported as "
			"done (no 'rx_k') after " + Seconds(ended));
	}
	EXPECT_EQ(ReportCodes(reports), (std::vector<uint32>{RDX_MSG_NO_ANSWER,
		RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	std::smatch match;
	std::string text = fOutput->Text();
	ASSERT_TRUE(std::regex_search(text, match,
		std::regex("(^|\n)(-?[0-9]+) \\| ausschalten, da es nicht antwortet \n")))
		<< text;
	EXPECT_NE(std::stoi(match[2].str()), 0);
	ReportFigure("wget status", match[2].str());
}


INSTANTIATE_TEST_SUITE_P(Board, BoardFaultTest, testing::Values(
		BoardFault{"ConnectionRefused", "refused", {}, 0},
		BoardFault{"NeverAnswers", "silent", {}, 2},
		BoardFault{"AnswersAfterTenSeconds", "sim", {"--delay-ms", "10000"},
			2},
		BoardFault{"Status404", "sim", {"--status", "404"}, 0},
		BoardFault{"Status500", "sim", {"--status", "500"}, 0},
		BoardFault{"ConnectionReset", "reset", {}, 0},
		BoardFault{"GarbageAnswer", "garbage", {}, 0},
		// 17 bytes of status line, one every 500 ms, then silence.
		BoardFault{"TrickledStatusLine", "trickle", {}, 17 * 0.5 + 2}),
	[](const testing::TestParamInfo<BoardFault>& info) {
		return std::string(info.param.name);
	});


class EndlessBoardTest : public BoardFaultTest {};


TEST_F(EndlessBoardTest, TrickleThatNeverEndsIsCutOff)
{
	// wget's --timeout=2 bounds each wait for a byte, not the request: a
	// board that sends a byte every 500 ms would hold the worker, and the
	// relay's mark, for as long as it goes on.
	RudeBoard board("endless", 45);
	ASSERT_TRUE(board.IsListening());

	double start = test_now();
	Own_Thread(3, true, board.Address().c_str(), 0);
	bool ended = fApp->WaitForReports(3, 30);
	ReportFigure("request ended after", ended
		? Seconds(test_now() - start) : std::string("not within 30 s"));
	ASSERT_TRUE(ended) << "the request was still running after 30 s";
	EXPECT_EQ(ReportCodes(fApp->Reports()),
		(std::vector<uint32>{RDX_MSG_NO_ANSWER, RDX_MSG_STATUS,
			RDX_MSG_CLOSE}));
}


TEST(EndlessBoardProgramTest, QuitWhileTheBoardTricklesForeverEnds)
{
	// The close of the relay held open on quit goes to the same board: it
	// must not wait for it without end.
	Watchdog watchdog("QuitWhileTheBoardTricklesForeverEnds", 100);
	RudeBoard board("endless", 60);
	ASSERT_TRUE(board.IsListening());
	RdxProgram rdx(TestDisplay(), "rdx-faults");
	// Board use on: the start-up pulse opens relay 1 on the trickling board.
	ASSERT_TRUE(rdx.Seed({{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)}, {"OpenInSecs", seed::Int32(1)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}}));
	ASSERT_TRUE(rdx.Start());
	ASSERT_TRUE(wait_for([&] { return board.Requests().size() >= 1; }, 10));

	double start = test_now();
	int status = rdx.CloseAndWait();
	ReportFigure("ended after closing", status >= 0
		? Seconds(test_now() - start) : std::string("not within 30 s"));
	EXPECT_EQ(status, 0) << rdx.Transcript();
	EXPECT_EQ(rdx.Count("CLOSE 1 on quit\n"), 1) << rdx.Transcript();
	EXPECT_EQ(rdx.Count("CLOSE 1 on quit: "), 1) << "the close was not "
		"reported as failed\n" << rdx.Transcript();
}
