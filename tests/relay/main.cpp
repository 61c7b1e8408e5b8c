// The relay tests share one application per process: the workers report to
// be_app_messenger, and a process has one application.

#include "RecordingApp.h"
#include "RelayTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class AppEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		// Whatever the platform keeps per user goes below a directory of
		// this test's own.
		fHome = std::make_unique<TempDir>("rdx-relay-home");
		setenv("HOME", fHome->Path().c_str(), 1);
		setenv("XDG_CONFIG_HOME", fHome->Sub("config").c_str(), 1);
		setenv("XDG_RUNTIME_DIR", fHome->Path().c_str(), 1);
		fRunner = std::make_unique<AppRunner>();
		gApp = fRunner->App();
	}

	void TearDown() override
	{
		gApp = nullptr;
		fRunner.reset();
		fHome.reset();
	}

private:
	std::unique_ptr<TempDir>	fHome;
	std::unique_ptr<AppRunner>	fRunner;
};

}	// namespace


RecordingApp* gApp = nullptr;


int
main(int argc, char** argv)
{
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new AppEnvironment);
	return RUN_ALL_TESTS();
}
