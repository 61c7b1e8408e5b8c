// The access log tests. The program also serves as a second writer of the
// same log (--write-records), so that two processes append at once.

#include "LogTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

class LogEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		// Whatever the platform keeps per user goes below a directory of
		// this test process's own.
		fHome = std::make_unique<TempDir>("rdx-log-home");
		setenv("HOME", fHome->Path().c_str(), 1);
		setenv("XDG_CONFIG_HOME", fHome->Sub("config").c_str(), 1);
		setenv("XDG_STATE_HOME", fHome->Sub("state").c_str(), 1);
		setenv("XDG_RUNTIME_DIR", fHome->Path().c_str(), 1);
	}

	void TearDown() override
	{
		fHome.reset();
	}

private:
	std::unique_ptr<TempDir> fHome;
};

}	// namespace


int
main(int argc, char** argv)
{
	if (argc > 1 && strcmp(argv[1], "--write-records") == 0)
		return WriteRecordsMain(argc, argv);
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new LogEnvironment);
	return RUN_ALL_TESTS();
}
