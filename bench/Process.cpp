#include "Process.h"

#include "BenchClock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string
read_small_file(const std::string& path)
{
	std::ifstream in(path);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}


int64_t
status_field(const std::string& status, const char* key)
{
	// At the start of a line: "voluntary_ctxt_switches" also ends another key.
	std::string prefix = "\n" + std::string(key) + ":";
	size_t at = status.find(prefix);
	if (at == std::string::npos)
		return -1;
	return strtoll(status.c_str() + at + prefix.size(), nullptr, 10);
}

}	// namespace


Process::Process(const std::vector<std::string>& argv,
	const std::map<std::string, std::string>& environment,
	const std::string& outputFile)
	:
	fOutputFile(outputFile)
{
	std::vector<std::string> variables;
	for (char** entry = environ; *entry != nullptr; entry++) {
		std::string text = *entry;
		if (environment.count(text.substr(0, text.find('='))) == 0)
			variables.push_back(text);
	}
	for (const auto& [name, value] : environment)
		variables.push_back(name + "=" + value);

	std::vector<char*> args;
	for (const std::string& arg : argv)
		args.push_back(const_cast<char*>(arg.c_str()));
	args.push_back(nullptr);
	std::vector<char*> env;
	for (std::string& variable : variables)
		env.push_back(variable.data());
	env.push_back(nullptr);

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, fOutputFile.c_str(),
		O_WRONLY | O_CREAT | O_TRUNC, 0600);
	pid_t pid;
	int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(),
		env.data());
	posix_spawn_file_actions_destroy(&actions);
	if (error != 0) {
		fprintf(stderr, "rdx-bench: cannot start %s: %s\n", args[0],
			strerror(error));
		return;
	}
	fPid = pid;
}


Process::~Process()
{
	if (fPid > 0 && !fReaped) {
		kill(fPid, SIGKILL);
		waitpid(fPid, nullptr, 0);
	}
}


bool
Process::Running()
{
	if (fPid <= 0 || fReaped)
		return false;
	if (waitpid(fPid, nullptr, WNOHANG) == fPid) {
		fReaped = true;
		return false;
	}
	return true;
}


bool
Process::Stop(double seconds)
{
	if (!Running())
		return true;
	kill(fPid, SIGTERM);
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	while (bench_now_ns() < end) {
		if (!Running())
			return true;
		bench_sleep_ms(2);
	}
	kill(fPid, SIGKILL);
	waitpid(fPid, nullptr, 0);
	fReaped = true;
	return false;
}


int64_t
Process::CpuTimeNs() const
{
	clockid_t clock;
	struct timespec value;
	if (fPid <= 0 || clock_getcpuclockid(fPid, &clock) != 0
		|| clock_gettime(clock, &value) != 0)
		return -1;
	return (int64_t)value.tv_sec * 1000000000LL + value.tv_nsec;
}


int64_t
Process::ProcCpuTimeNs() const
{
	std::string stat = read_small_file("/proc/" + std::to_string(fPid)
		+ "/stat");
	// The name in parentheses may hold spaces; the fields follow the last ')'.
	size_t close = stat.rfind(')');
	if (close == std::string::npos)
		return -1;
	std::istringstream fields(stat.substr(close + 2));
	std::string field;
	long long utime = 0, stime = 0;
	for (int index = 3; fields >> field; index++) {
		if (index == 14)
			utime = atoll(field.c_str());
		else if (index == 15) {
			stime = atoll(field.c_str());
			break;
		}
	}
	return (utime + stime) * (1000000000LL / sysconf(_SC_CLK_TCK));
}


std::vector<Process::ThreadInfo>
Process::Threads() const
{
	std::vector<ThreadInfo> threads;
	std::string base = "/proc/" + std::to_string(fPid) + "/task";
	DIR* directory = opendir(base.c_str());
	if (directory == nullptr)
		return threads;
	while (dirent* entry = readdir(directory)) {
		if (entry->d_name[0] == '.')
			continue;
		std::string task = base + "/" + entry->d_name;
		ThreadInfo info;
		info.id = atoi(entry->d_name);
		info.name = read_small_file(task + "/comm");
		while (!info.name.empty() && info.name.back() == '\n')
			info.name.pop_back();
		std::string status = read_small_file(task + "/status");
		int64_t voluntary = status_field(status, "voluntary_ctxt_switches");
		int64_t involuntary = status_field(status,
			"nonvoluntary_ctxt_switches");
		if (voluntary < 0 || involuntary < 0)
			continue;
		info.switches = voluntary + involuntary;
		// The first field of schedstat is the time on a CPU in ns.
		info.cpuNs = atoll(read_small_file(task + "/schedstat").c_str());
		threads.push_back(info);
	}
	closedir(directory);
	return threads;
}


int64_t
Process::PeakRss() const
{
	return _StatusValue("VmHWM");
}


int64_t
Process::Rss() const
{
	return _StatusValue("VmRSS");
}


int64_t
Process::_StatusValue(const char* key) const
{
	int64_t kib = status_field(read_small_file("/proc/" + std::to_string(fPid)
		+ "/status"), key);
	return kib < 0 ? -1 : kib * 1024;
}
