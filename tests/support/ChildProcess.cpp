#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <sys/prctl.h>
#include <unistd.h>

extern char** environ;


void
test_sleep_ms(int milliseconds)
{
	struct timespec delay = {milliseconds / 1000,
		(long)(milliseconds % 1000) * 1000000L};
	nanosleep(&delay, nullptr);
}


double
test_now()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return now.tv_sec + now.tv_nsec / 1e9;
}


std::string
read_file(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream contents;
	contents << in.rdbuf();
	return contents.str();
}


int
count_of(const std::string& haystack, const std::string& needle)
{
	if (needle.empty())
		return 0;
	int count = 0;
	for (size_t at = haystack.find(needle); at != std::string::npos;
			at = haystack.find(needle, at + needle.size()))
		count++;
	return count;
}


namespace {

std::string
make_output_name(const char* kind)
{
	const char* base = getenv("TMPDIR");
	std::string pattern = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-child-" + kind + "-XXXXXX";
	int fd = mkstemp(pattern.data());
	if (fd < 0)
		throw std::runtime_error("mkstemp failed");
	close(fd);
	return pattern;
}

}	// namespace


ChildProcess::ChildProcess(const std::vector<std::string>& argv)
	:
	ChildProcess(argv, Options())
{
}


ChildProcess::ChildProcess(const std::vector<std::string>& argv,
	const Options& options)
{
	if (argv.empty())
		throw std::runtime_error("ChildProcess without a program");
	fOutputFile = options.outputFile;
	fErrorFile = options.errorFile;
	if (fOutputFile.empty() || fErrorFile.empty())
		fOwnFiles = true;
	if (fOutputFile.empty())
		fOutputFile = make_output_name("out");
	if (fErrorFile.empty())
		fErrorFile = make_output_name("err");

	// Everything the child needs is prepared before fork().
	std::vector<std::string> environment;
	for (char** entry = environ; *entry != nullptr; entry++) {
		std::string text = *entry;
		std::string name = text.substr(0, text.find('='));
		bool drop = options.environment.count(name) > 0;
		for (const std::string& unset : options.unset)
			drop = drop || unset == name;
		if (!drop)
			environment.push_back(text);
	}
	for (const auto& [name, value] : options.environment)
		environment.push_back(name + "=" + value);

	std::vector<char*> args;
	for (const std::string& arg : argv)
		args.push_back(const_cast<char*>(arg.c_str()));
	args.push_back(nullptr);
	std::vector<char*> env;
	for (const std::string& entry : environment)
		env.push_back(const_cast<char*>(entry.c_str()));
	env.push_back(nullptr);

	int out = open(fOutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
	int err = open(fErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
	int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
	if (out < 0 || err < 0 || in < 0)
		throw std::runtime_error("cannot open the child's output files");

	fPid = fork();
	if (fPid == 0) {
		// Dies with the test: a test killed at its time-out must not leave
		// its programs running.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		dup2(in, 0);
		dup2(out, 1);
		dup2(err, 2);
		// A new process group, so that a kill reaches what it starts too.
		setpgid(0, 0);
		if (!options.workingDirectory.empty()
			&& chdir(options.workingDirectory.c_str()) != 0)
			_exit(126);
		execvpe(args[0], args.data(), env.data());
		_exit(127);
	}
	close(out);
	close(err);
	close(in);
	if (fPid < 0)
		throw std::runtime_error("fork failed");
}


ChildProcess::~ChildProcess()
{
	Kill();
	if (fOwnFiles) {
		unlink(fOutputFile.c_str());
		unlink(fErrorFile.c_str());
	}
}


bool
ChildProcess::Running()
{
	if (fReaped || fPid < 0)
		return false;
	int status;
	pid_t result = waitpid(fPid, &status, WNOHANG);
	if (result == fPid) {
		fReaped = true;
		fStatus = WIFEXITED(status) ? WEXITSTATUS(status)
			: 128 + WTERMSIG(status);
		return false;
	}
	return true;
}


bool
ChildProcess::Wait(double seconds, int* status)
{
	bool ended = wait_for([&] { return !Running(); }, seconds);
	if (ended && status != nullptr)
		*status = fStatus;
	return ended;
}


void
ChildProcess::Signal(int signal)
{
	if (Running())
		kill(fPid, signal);
}


void
ChildProcess::Kill()
{
	if (fPid < 0 || fReaped)
		return;
	kill(-fPid, SIGKILL);
	kill(fPid, SIGKILL);
	int status;
	waitpid(fPid, &status, 0);
	fReaped = true;
	fStatus = 128 + SIGKILL;
}


std::string
ChildProcess::Output() const
{
	return read_file(fOutputFile);
}


std::string
ChildProcess::Errors() const
{
	return read_file(fErrorFile);
}


bool
ChildProcess::WaitForOutput(const std::string& text, double seconds)
{
	return wait_for([&] {
		return Output().find(text) != std::string::npos || !Running();
	}, seconds) && Output().find(text) != std::string::npos;
}
