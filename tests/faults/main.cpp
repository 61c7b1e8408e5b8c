// The fault tests. The program also serves as the misbehaving board of the
// board cases (--rude-board), so that the board runs in a process of its
// own.

#include "RecordingApp.h"
#include "RudeBoard.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<AppRunner> sRunner;


class FaultEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		// Whatever the platform keeps per user goes below a directory of
		// this test process's own.
		fHome = std::make_unique<TempDir>("rdx-faults-home");
		setenv("HOME", fHome->Path().c_str(), 1);
		setenv("XDG_CONFIG_HOME", fHome->Sub("config").c_str(), 1);
		setenv("XDG_RUNTIME_DIR", fHome->Path().c_str(), 1);
	}

	void TearDown() override
	{
		sRunner.reset();
		fHome.reset();
	}

private:
	std::unique_ptr<TempDir> fHome;
};

}	// namespace


// The application that relay workers of this process report to, made when
// a test first needs it; a process has one.
RecordingApp*
RelayApp()
{
	if (sRunner == nullptr)
		sRunner = std::make_unique<AppRunner>();
	return sRunner->App();
}


int
main(int argc, char** argv)
{
	if (argc > 1 && strcmp(argv[1], "--rude-board") == 0)
		return RunRudeBoard(argc, argv);
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new FaultEnvironment);
	return RUN_ALL_TESTS();
}
