#include "RelayTestSupport.h"

#include "ChildProcess.h"

#include <RelayRequests.h>
#include <RelayStatus.h>

#include <dirent.h>
#include <fstream>
#include <sstream>


std::vector<pid_t>
ThreadsNamed(const std::string& name)
{
	std::vector<pid_t> threads;
	DIR* tasks = opendir("/proc/self/task");
	if (tasks == nullptr)
		return threads;
	while (struct dirent* entry = readdir(tasks)) {
		if (entry->d_name[0] == '.')
			continue;
		std::string comm = read_file(std::string("/proc/self/task/")
			+ entry->d_name + "/comm");
		if (!comm.empty() && comm.back() == '\n')
			comm.pop_back();
		if (comm == name)
			threads.push_back((pid_t)atoi(entry->d_name));
	}
	closedir(tasks);
	return threads;
}


int
NiceOf(pid_t thread)
{
	std::string stat = read_file("/proc/self/task/" + std::to_string(thread)
		+ "/stat");
	// The name may hold blanks and brackets: fields are counted after its
	// closing bracket. The nice value is field 19, the 17th after it.
	size_t close = stat.rfind(')');
	if (close == std::string::npos)
		return -100;
	std::istringstream fields(stat.substr(close + 2));
	std::string field;
	for (int i = 3; i <= 19; i++)
		fields >> field;
	return fields ? std::stoi(field) : -100;
}


static bool
AnyWorkerRuns()
{
	DIR* tasks = opendir("/proc/self/task");
	if (tasks == nullptr)
		return false;
	bool found = false;
	while (struct dirent* entry = readdir(tasks)) {
		if (entry->d_name[0] == '.')
			continue;
		std::string comm = read_file(std::string("/proc/self/task/")
			+ entry->d_name + "/comm");
		found = found || comm.rfind("rdxR", 0) == 0;
	}
	closedir(tasks);
	return found;
}


bool
WaitForWorkersToEnd(double seconds)
{
	return wait_for([] { return !AnyWorkerRuns(); }, seconds);
}


std::vector<uint32>
ReportCodes()
{
	std::vector<uint32> codes;
	for (const RecordingApp::Report& report : gApp->Reports())
		codes.push_back(report.message.what);
	return codes;
}


void
RelayTest::SetUp()
{
	const testing::TestInfo* info
		= testing::UnitTest::GetInstance()->current_test_info();
	fWatchdog = std::make_unique<Watchdog>(
		std::string(info->test_suite_name()) + "." + info->name(), 90);
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	WriteRelayStatus(RDX_RSTATUS_RESET);
	gApp->ClearReports();
	fOutput = std::make_unique<StdoutCapture>();
}


void
RelayTest::TearDown()
{
	// A worker of this test must not report into the next one.
	EXPECT_TRUE(WaitForWorkersToEnd(20));
	// A close on quit of this test stops the opens of the whole process.
	RelayRequests::ResumeOpening();
	if (HasFailure())
		fOutput->Replay();
	fOutput.reset();
	fWatchdog.reset();
}


bool
IsChildRun()
{
	return getenv("RDX_RELAY_CHILD_RUN") != nullptr;
}


bool
RunChildCase(const std::string& test,
	const std::vector<std::pair<std::string, std::string>>& environment,
	std::string* output)
{
	ChildProcess::Options options;
	options.environment["RDX_RELAY_CHILD_RUN"] = "1";
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	char self[4096];
	ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
	if (length <= 0)
		return false;
	self[length] = '\0';

	ChildProcess child({self, "--gtest_filter=" + test}, options);
	int status = -1;
	bool ended = child.Wait(60, &status);
	*output = child.Output() + child.Errors();
	return ended && status == 0
		&& output->find("[  PASSED  ] 1 test") != std::string::npos;
}
