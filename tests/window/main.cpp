// The window tests share one application per process, as the program does,
// and one X server of their own.

#include "WindowTestSupport.h"
#include "Xvfb.h"

#include <AppDefs.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace {

class WindowEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		fServer = std::make_unique<Xvfb>();
		ASSERT_TRUE(fServer->Running()) << fServer->Error();
		setenv("DISPLAY", fServer->Display().c_str(), 1);

		// The application's message port goes below a directory of our own.
		fRuntime = std::make_unique<TempDir>("rdx-window-run");
		chmod(fRuntime->Path().c_str(), 0700);
		setenv("XDG_RUNTIME_DIR", fRuntime->Path().c_str(), 1);

		gApp = new ForwardingApp();
		fThread = std::thread([] { gApp->Run(); });
	}

	void TearDown() override
	{
		if (gApp != nullptr) {
			gApp->PostMessage(B_QUIT_REQUESTED);
			fThread.join();
			delete gApp;
			gApp = nullptr;
		}
		fRuntime.reset();
		fServer.reset();
	}

private:
	std::unique_ptr<Xvfb> fServer;
	std::unique_ptr<TempDir> fRuntime;
	std::thread fThread;
};

}	// namespace


int
main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	::testing::AddGlobalTestEnvironment(new WindowEnvironment);
	return RUN_ALL_TESTS();
}
