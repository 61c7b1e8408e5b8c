#include "FaultSupport.h"

#include "ChildProcess.h"
#include "TempDir.h"
#include "Xvfb.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const char* const kMountChild = "RDX_FAULTS_MOUNT_CHILD";


std::string
current_test_name()
{
	const testing::TestInfo* info
		= testing::UnitTest::GetInstance()->current_test_info();
	return std::string(info->test_suite_name()) + "." + info->name();
}

}	// namespace


const std::string&
TestDisplay()
{
	static std::unique_ptr<Xvfb> server;
	static std::string display;
	if (server == nullptr) {
		server = std::make_unique<Xvfb>();
		display = server->Display();
		if (display.empty())
			fprintf(stderr, "no X server: %s\n", server->Error().c_str());
	}
	return display;
}


std::set<int>
OpenDescriptors()
{
	std::set<int> descriptors;
	DIR* directory = opendir("/proc/self/fd");
	if (directory == nullptr)
		return descriptors;
	int own = dirfd(directory);
	while (struct dirent* entry = readdir(directory)) {
		if (entry->d_name[0] == '.')
			continue;
		int fd = atoi(entry->d_name);
		if (fd != own)
			descriptors.insert(fd);
	}
	closedir(directory);
	return descriptors;
}


std::multiset<std::string>
ThreadNames()
{
	std::multiset<std::string> names;
	DIR* tasks = opendir("/proc/self/task");
	if (tasks == nullptr)
		return names;
	while (struct dirent* entry = readdir(tasks)) {
		if (entry->d_name[0] == '.')
			continue;
		std::string name = read_file(std::string("/proc/self/task/")
			+ entry->d_name + "/comm");
		if (!name.empty() && name.back() == '\n')
			name.pop_back();
		// A thread that ended between the listing and the read has no name.
		if (!name.empty())
			names.insert(name);
	}
	closedir(tasks);
	return names;
}


std::string
Listed(const std::multiset<std::string>& names)
{
	std::string text;
	for (const std::string& name : names)
		text += (text.empty() ? "" : ", ") + name;
	return "{" + text + "}";
}


int
CountThreads(const std::string& prefix)
{
	int count = 0;
	for (const std::string& name : ThreadNames())
		count += name.rfind(prefix, 0) == 0 ? 1 : 0;
	return count;
}


bool
WaitForNoThreads(const std::string& prefix, double seconds)
{
	return wait_for([&] { return CountThreads(prefix) == 0; }, seconds);
}


int
CountDescriptorsOf(pid_t process)
{
	DIR* directory = opendir(("/proc/" + std::to_string(process) + "/fd")
		.c_str());
	if (directory == nullptr)
		return -1;
	int count = 0;
	while (struct dirent* entry = readdir(directory))
		count += entry->d_name[0] != '.' ? 1 : 0;
	closedir(directory);
	return count;
}


void
ReportFigure(const std::string& name, const std::string& value)
{
	fprintf(stderr, "[ figure ] %s: %s = %s\n", current_test_name().c_str(),
		name.c_str(), value.c_str());
	testing::Test::RecordProperty(name, value);
}


std::string
Seconds(double seconds)
{
	char text[32];
	snprintf(text, sizeof(text), "%.2f s", seconds);
	return text;
}


bool
RunKnownFaults()
{
	const char* value = getenv("RDX_FAULTS_KNOWN");
	return value != nullptr && strcmp(value, "1") == 0;
}


bool
InMountNamespace()
{
	return getenv(kMountChild) != nullptr;
}


void
RunInMountNamespace()
{
	std::string name = current_test_name();
	// The case's directories have file systems mounted on them in the
	// child's namespace, so the child cannot remove them; they go below
	// one made here, removed once the child (and its mounts) are gone.
	TempDir base("rdx-faults-mounts");
	ChildProcess::Options options;
	options.environment[kMountChild] = "1";
	options.environment["TMPDIR"] = base.Path();
	ChildProcess child({"unshare", "--mount", "--propagation", "private",
		SelfPath(), "--gtest_filter=" + name}, options);
	int status = -1;
	bool ended = child.Wait(110, &status);
	std::string output = child.Output() + child.Errors();
	// The figures of the child are the test's figures.
	size_t at = 0;
	while ((at = output.find("[ figure ] ", at)) != std::string::npos) {
		size_t end = output.find('\n', at);
		fprintf(stderr, "%s\n", output.substr(at, end - at).c_str());
		at = end;
	}
	ASSERT_TRUE(ended) << "the case did not end in 110 s\n" << output;
	if (output.find("[  SKIPPED ] 1 test") != std::string::npos) {
		size_t skipped = output.find("Skipped\n");
		size_t end = output.find("[  SKIPPED ]");
		GTEST_SKIP() << (skipped != std::string::npos && skipped < end
			? output.substr(skipped + 8, end - skipped - 8) : output);
	}
	EXPECT_TRUE(status == 0
		&& output.find("[  PASSED  ] 1 test") != std::string::npos)
		<< "the case failed (status " << status << "):\n" << output;
}


std::string
MountFileSystem(const std::string& type, const std::string& directory,
	const std::string& options)
{
	if (mount(type.c_str(), directory.c_str(), type.c_str(), MS_NOSUID
			| MS_NODEV, options.empty() ? nullptr : options.c_str()) != 0) {
		return "mount -t " + type + " " + directory + ": "
			+ strerror(errno);
	}
	return "";
}


std::string
BindReadOnly(const std::string& directory)
{
	if (mount(directory.c_str(), directory.c_str(), nullptr, MS_BIND,
			nullptr) != 0) {
		return "mount --bind " + directory + ": " + strerror(errno);
	}
	if (mount(nullptr, directory.c_str(), nullptr,
			MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
		return "mount -o remount,ro,bind " + directory + ": "
			+ strerror(errno);
	}
	return "";
}


std::string
SelfPath()
{
	char self[4096];
	ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
	if (length <= 0)
		return "";
	self[length] = '\0';
	return self;
}


std::string
CapturedOutput(int fd, const std::function<void()>& function)
{
	const char* base = getenv("TMPDIR");
	std::string path = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-faults-capture-XXXXXX";
	int file = mkstemp(path.data());
	if (file < 0)
		return "";
	fflush(stdout);
	fflush(stderr);
	int saved = dup(fd);
	dup2(file, fd);
	close(file);
	function();
	fflush(stdout);
	fflush(stderr);
	dup2(saved, fd);
	close(saved);
	std::string text = read_file(path);
	unlink(path.c_str());
	return text;
}
