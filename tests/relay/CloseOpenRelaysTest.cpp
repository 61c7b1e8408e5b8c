// Closing what is still open when the program ends.

#include "BoardSim.h"
#include "RelayTestSupport.h"
#include "TempDir.h"
#include "UnusedPort.h"

#include <OpenRelayRecord.h>
#include <RelayPath.h>
#include <RelayRecovery.h>
#include <RelayRequests.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern double test_now();

class CloseOnQuit : public RelayTest {};


TEST_F(CloseOnQuit, ClosesEveryOpenRelayAndPostsNothing)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	RDX_RSTATUS[2].store('o');
	RDX_RSTATUS[4].store('o');

	EXPECT_EQ(CloseOpenRelays(board.Address().c_str()), 2);
	// It waited for the requests: they are in the board's log already.
	std::vector<std::string> requests = board.Requests();
	std::sort(requests.begin(), requests.end());
	EXPECT_EQ(requests, (std::vector<std::string>{"GET /?4=1", "GET /?6=1"}));
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");

	std::string text = fOutput->Text();
	EXPECT_EQ(count_of(text, "CLOSE 2 on quit\n"), 1);
	EXPECT_EQ(count_of(text, "CLOSE 4 on quit\n"), 1);
	EXPECT_EQ(count_of(text, "CLOSE 1 on quit"), 0);
	EXPECT_EQ(text.find("did not answer"), std::string::npos);

	// The application may be gone by now: nothing is posted to it.
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	EXPECT_TRUE(gApp->Reports().empty());

	// Nothing open: nothing sent.
	EXPECT_EQ(CloseOpenRelays(board.Address().c_str()), 0);
	EXPECT_EQ(board.Requests().size(), 2u);
}


TEST_F(CloseOnQuit, IsBoundedWhenTheBoardDoesNotAnswer)
{
	// A board that would take far longer than wget waits.
	BoardSim board({"--delay-ms", "30000"});
	ASSERT_TRUE(board.IsListening());
	WriteRelayStatus("-oooo---");

	double start = test_now();
	EXPECT_EQ(CloseOpenRelays(board.Address().c_str()), 4);
	double took = test_now() - start;
	// One request's time-out (2 s) for all four, as they run side by side;
	// one after another would take 8 s or more.
	EXPECT_LT(took, 7.0);
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");
	EXPECT_EQ(board.Requests().size(), 4u);
	std::string text = fOutput->Text();
	for (int relay = 1; relay <= 4; relay++) {
		EXPECT_NE(text.find("CLOSE " + std::to_string(relay)
			+ " on quit: "), std::string::npos) << text;
	}
	EXPECT_EQ(count_of(text, "| board did not answer \n"), 4);
	EXPECT_TRUE(gApp->Reports().empty());
}


TEST_F(CloseOnQuit, UnsafeAddressRunsNothing)
{
	TempDir temp;
	std::string marker = temp.Sub("quit");
	RDX_RSTATUS[1].store('o');
	EXPECT_EQ(CloseOpenRelays(("127.0.0.1:1;touch " + marker + " #").c_str()),
		1);
	struct stat info;
	EXPECT_NE(stat(marker.c_str(), &info), 0);
	EXPECT_EQ(RelayMark(1), 'x');

	RDX_RSTATUS[3].store('o');
	EXPECT_EQ(CloseOpenRelays("-oops"), 1);
	EXPECT_NE(fOutput->Text().find(
		"3 | board address refused, it begins with '-': not sent \n"),
		std::string::npos);
	EXPECT_EQ(RelayMark(3), 'x');
}


TEST_F(CloseOnQuit, ClosesEveryRecordedRelayAtItsOwnAddressAndKeepsTheUnanswered)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	std::string dead = "127.0.0.1:" + std::to_string(UnusedPort());
	TempDir state("rdx-record");
	OpenRelayRecord record(state.Sub("RDX/open-relays"));
	std::vector<OpenRelayRecord::Entry> left;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&left, &problem));
	ASSERT_EQ(B_OK, record.Begin({}));
	// Relay 2's close was missed by its board, relay 3 was opened at a
	// board that is gone; relay 4 is held open at the board of the
	// settings.
	ASSERT_EQ(B_OK, record.Opened(2, board.Address().c_str()));
	ASSERT_EQ(B_OK, record.Opened(3, dead.c_str()));
	RDX_RSTATUS[4].store('o');
	OpenRelayRecord::SetDefault(&record);
	int32 closed = CloseOpenRelays(board.Address().c_str());
	OpenRelayRecord::SetDefault(nullptr);

	EXPECT_EQ(3, closed);
	std::vector<std::string> requests = board.Requests();
	std::sort(requests.begin(), requests.end());
	EXPECT_EQ(requests, (std::vector<std::string>{"GET /?4=1", "GET /?6=1"}));
	// Only a close its own board answered is crossed out: the next start
	// closes relay 3 again.
	ASSERT_EQ(1u, record.Entries().size());
	EXPECT_EQ(3, record.Entries()[0].relay);
	EXPECT_EQ(dead, record.Entries()[0].address);
	std::string text = fOutput->Text();
	EXPECT_EQ(1, count_of(text, "CLOSE 2 at " + board.Address() + " on quit"));
	EXPECT_EQ(1, count_of(text, "CLOSE 4 on quit\n"));
	EXPECT_EQ(1, count_of(text, "CLOSE 3 on quit: ")) << text;
}


TEST_F(CloseOnQuit, StopsAnOpenStillUnderWayBeforeItCloses)
{
	// The board takes its time to answer the open: the quit must not leave
	// that open to arrive, or to be reported, after the close.
	BoardSim board({"--delay-ms", "1500"});
	ASSERT_TRUE(board.IsListening());
	Own_Thread(3, true, board.Address().c_str(), 5);
	ASSERT_TRUE(board.WaitForRequest("GET /?5=0", 10));

	EXPECT_EQ(1, CloseOpenRelays(board.Address().c_str()));
	EXPECT_EQ(board.Requests(), (std::vector<std::string>{"GET /?5=0",
		"GET /?5=1"}));
	ASSERT_TRUE(WaitForWorkersToEnd(10));
	EXPECT_TRUE(fOutput->WaitFor("relay 3: the open was stopped", 1))
		<< fOutput->Text();
	EXPECT_TRUE(gApp->Reports().empty());
	// Nor does a new open start.
	Own_Thread(2, true, board.Address().c_str(), 1);
	usleep(300000);
	EXPECT_EQ(2u, board.Requests().size());
}


TEST_F(CloseOnQuit, EndsOnlyOnceNoPassOfTheRecoveryRunsAnyMore)
{
	// A pass of the record's closes is under way when the program ends:
	// the program must not end under it (it would use the relay path's
	// objects while the process tears them down), nor may the pass go on
	// with another round the quit has already sent.
	BoardSim silent({"--delay-ms", "30000"});
	ASSERT_TRUE(silent.IsListening());
	TempDir state("rdx-record");
	OpenRelayRecord record(state.Sub("RDX/open-relays"));
	std::vector<OpenRelayRecord::Entry> left;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&left, &problem));
	ASSERT_EQ(B_OK, record.Begin({}));
	ASSERT_EQ(B_OK, record.Opened(3, silent.Address().c_str()));
	OpenRelayRecord::SetDefault(&record);
	RelayRecovery::CloseOwed();
	ASSERT_TRUE(silent.WaitForRequest("GET /?5=1", 10));
	// Board use switched on again meanwhile: the pass would go round once
	// more.
	RelayRecovery::CloseOwed();
	CloseOpenRelays(silent.Address().c_str());
	bool idle = RelayRecovery::Idle();
	EXPECT_TRUE(wait_for([] { return RelayRecovery::Idle(); }, 10));
	OpenRelayRecord::SetDefault(nullptr);
	EXPECT_TRUE(idle);
	EXPECT_EQ(2, silent.CountOf("GET /?5=1"));
	EXPECT_EQ(1u, record.Entries().size());
}


TEST_F(CloseOnQuit, LeavesWhatItCouldNotCloseWhereTheNextStartLooks)
{
	// The record's file was removed while the program ran (someone tidied
	// up the state directory); relay 3's board does not answer the close on
	// quit. The next start must still find relay 3.
	std::string dead = "127.0.0.1:" + std::to_string(UnusedPort());
	TempDir state("rdx-record");
	std::string path = state.Sub("RDX/open-relays");
	OpenRelayRecord record(path);
	std::vector<OpenRelayRecord::Entry> left;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&left, &problem));
	ASSERT_EQ(B_OK, record.Begin({}));
	ASSERT_EQ(B_OK, record.Opened(3, dead.c_str()));
	ASSERT_EQ(0, unlink(path.c_str()));
	OpenRelayRecord::SetDefault(&record);
	CloseOpenRelays(dead.c_str());
	OpenRelayRecord::SetDefault(nullptr);

	OpenRelayRecord next(path);
	ASSERT_EQ(B_NAME_IN_USE, next.Load(&left, &problem));
	std::vector<OpenRelayRecord::Entry> found;
	EXPECT_TRUE(OpenRelayRecord::Parse(read_file(path), &found));
	ASSERT_EQ(1u, found.size());
	EXPECT_EQ(3, found[0].relay);
	EXPECT_EQ(dead, found[0].address);
}


TEST_F(CloseOnQuit, WaitsForAPassOfTheRecordStillWaitingForItsBoard)
{
	// The pass's close reached a board that then went quiet on it; the
	// board that answers the quit's close (the same address, restarted)
	// answers at once. The quit still ends only after the pass.
	int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t size = sizeof(address);
	// So that the board that comes back may listen there again while the
	// held connection still has the port.
	int on = 1;
	setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
	ASSERT_EQ(0, bind(listener, (sockaddr*)&address, size));
	ASSERT_EQ(0, listen(listener, 4));
	ASSERT_EQ(0, getsockname(listener, (sockaddr*)&address, &size));
	int port = ntohs(address.sin_port);
	std::string board = "127.0.0.1:" + std::to_string(port);
	TempDir state("rdx-record");
	OpenRelayRecord record(state.Sub("RDX/open-relays"));
	std::vector<OpenRelayRecord::Entry> left;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&left, &problem));
	ASSERT_EQ(B_OK, record.Begin({{3, board}}));
	OpenRelayRecord::SetDefault(&record);
	RelayRecovery::CloseOwed();
	pollfd entry = {listener, POLLIN, 0};
	ASSERT_EQ(1, poll(&entry, 1, 10000));
	int held = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
	ASSERT_GE(held, 0);
	close(listener);
	BoardSim restarted({}, "127.0.0.1", port);
	ASSERT_TRUE(restarted.IsListening());

	CloseOpenRelays(board.c_str());
	bool idle = RelayRecovery::Idle();
	EXPECT_TRUE(wait_for([] { return RelayRecovery::Idle(); }, 10));
	close(held);
	OpenRelayRecord::SetDefault(nullptr);
	EXPECT_TRUE(idle);
	EXPECT_EQ(1, restarted.CountOf("GET /?5=1"));
	EXPECT_TRUE(record.Entries().empty());
}
