// Every test process has an X server of its own, with no window manager;
// the program under test uses it through DISPLAY.

#include "Xvfb.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class XEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		fServer = std::make_unique<Xvfb>();
		ASSERT_TRUE(fServer->Running()) << fServer->Error();
		setenv("DISPLAY", fServer->Display().c_str(), 1);
	}

	void TearDown() override
	{
		fServer.reset();
	}

private:
	std::unique_ptr<Xvfb> fServer;
};

}	// namespace


int
main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	::testing::AddGlobalTestEnvironment(new XEnvironment);
	return RUN_ALL_TESTS();
}
