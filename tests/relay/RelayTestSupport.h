#ifndef TEST_RELAY_TEST_SUPPORT_H
#define TEST_RELAY_TEST_SUPPORT_H

#include "RecordingApp.h"
#include "StdoutCapture.h"
#include "Watchdog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// The application of this test process (see main.cpp).
extern RecordingApp* gApp;

// The threads of this process whose name is the given one.
std::vector<pid_t> ThreadsNamed(const std::string& name);
// The nice value of a thread of this process, or -100 when it is gone.
int NiceOf(pid_t thread);
// Waits until no relay worker ("rdxR...") runs any more.
bool WaitForWorkersToEnd(double seconds);

// The codes of the reports kept so far, in the order they arrived.
std::vector<uint32> ReportCodes();

// Every relay test starts with the status string reset, no reports, its own
// capture of standard output and a watchdog; it ends when its workers have.
class RelayTest : public testing::Test {
protected:
			void			SetUp() override;
			void			TearDown() override;

			std::unique_ptr<Watchdog>		fWatchdog;
			std::unique_ptr<StdoutCapture>	fOutput;
};

// Cases that must run in a fresh process of their own (the one-time wget
// test) are skipped unless this test binary started itself for them.
bool IsChildRun();
// Runs this test binary for one such case, with extra environment; true
// when the case ran and passed.
bool RunChildCase(const std::string& test,
	const std::vector<std::pair<std::string, std::string>>& environment,
	std::string* output);

#endif
