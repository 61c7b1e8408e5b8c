#include <gtest/gtest.h>

#include "Xvfb.h"

#include <cstdlib>
#include <memory>

namespace {

// Every test process has an X server of its own: the in-process tests and
// the programs the tests start use it through DISPLAY.
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
