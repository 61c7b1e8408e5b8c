// What happens once per process (the wget test, the first set-up of the
// status string) runs in a fresh child process for each case.

#include "BoardSim.h"
#include "RelayTestSupport.h"

#include <RelayPath.h>

#include <sys/resource.h>
#include <thread>

namespace {

std::string
RealPath()
{
	const char* path = getenv("PATH");
	return path != nullptr ? path : "/usr/bin:/bin";
}

}	// namespace


// The child halves: skipped unless started by the parent tests below.

TEST(ChildCase, FirstCallChecksWgetAndSetsUpTheString)
{
	if (!IsChildRun())
		GTEST_SKIP() << "runs in a child process of its own";
	StdoutCapture output;
	ASSERT_EQ(CopyRelayStatus(), "");
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	Own_Thread(2, false, board.Address().c_str(), 2);
	EXPECT_EQ(output.Text(), "wget checked..\n"
		"init RDX_RSTATUS: '-xxxx---'\n"
		"2 schon zu!  -xxxx--- \n");

	// The test is not repeated; the set-up neither.
	Own_Thread(1, true, board.Address().c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	std::string text = output.Text();
	EXPECT_EQ(count_of(text, "wget checked..\n"), 1);
	EXPECT_EQ(count_of(text, "init RDX_RSTATUS"), 1);
	EXPECT_EQ(board.Requests(), std::vector<std::string>{"GET /?3=0"});
}


TEST(ChildCase, WgetMissingRefusesEveryRequest)
{
	if (!IsChildRun())
		GTEST_SKIP() << "runs in a child process of its own";
	StdoutCapture output;
	const char* withWget = getenv("RDX_RELAY_REAL_PATH");
	ASSERT_NE(withWget, nullptr);

	Own_Thread(1, true, "127.0.0.1:1", 0);
	EXPECT_EQ(output.Text(), "wget checked..\nwget not availabel \n");

	// wget is there now, but the test is never made again.
	setenv("PATH", withWget, 1);
	Own_Thread(1, true, "127.0.0.1:1", 0);
	Own_Thread(2, false, "127.0.0.1:1", 0);
	EXPECT_EQ(output.Text(), "wget checked..\nwget not availabel \n"
		"wget not availabel \nwget not availabel \n");

	EXPECT_TRUE(ThreadsNamed("rdxR1").empty());
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	EXPECT_TRUE(gApp->Reports().empty());
	EXPECT_EQ(CopyRelayStatus(), "");
}


TEST(ChildCase, FailedSpawnDropsTheRequest)
{
	if (!IsChildRun())
		GTEST_SKIP() << "runs in a child process of its own";
	StdoutCapture output;
	// The first call makes the one-time test and the set-up.
	Own_Thread(2, false, "127.0.0.1:1", 0);
	ASSERT_EQ(CopyRelayStatus(), "-xxxx---");

	// No room left for another thread's stack.
	std::string status = read_file("/proc/self/status");
	size_t at = status.find("VmSize:");
	ASSERT_NE(at, std::string::npos);
	rlim_t size = (rlim_t)atoll(status.c_str() + at + 7) * 1024;
	struct rlimit limit = {size + 1024 * 1024, RLIM_INFINITY};
	ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);

	Own_Thread(3, true, "127.0.0.1:1", 0);
	std::string text = output.Text();

	limit.rlim_cur = RLIM_INFINITY;
	setrlimit(RLIMIT_AS, &limit);
	EXPECT_NE(text.find("..thread-failure\n"), std::string::npos) << text;
	EXPECT_EQ(CopyRelayStatus(), "-xxxx---");
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	EXPECT_TRUE(gApp->Reports().empty());
}


// The parent halves.

TEST(OncePerProcess, FirstCallChecksWgetAndSetsUpTheString)
{
	if (IsChildRun())
		GTEST_SKIP();
	std::string output;
	EXPECT_TRUE(RunChildCase("ChildCase.FirstCallChecksWgetAndSetsUpTheString",
		{}, &output)) << output;
}


TEST(OncePerProcess, WgetMissingFromThePath)
{
	if (IsChildRun())
		GTEST_SKIP();
	TempDir empty("rdx-nowget");
	std::string output;
	EXPECT_TRUE(RunChildCase("ChildCase.WgetMissingRefusesEveryRequest",
		{{"PATH", empty.Path()}, {"RDX_RELAY_REAL_PATH", RealPath()}},
		&output)) << output;
}


TEST(OncePerProcess, FailedSpawn)
{
	if (IsChildRun())
		GTEST_SKIP();
	std::string output;
	EXPECT_TRUE(RunChildCase("ChildCase.FailedSpawnDropsTheRequest", {},
		&output)) << output;
}
