#include "TagsLauncher.h"

#include <Locale.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string
executable_directory()
{
	char path[PATH_MAX];
	ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
	if (length <= 0)
		return std::string();
	path[length] = '\0';
	char* slash = strrchr(path, '/');
	if (slash == nullptr)
		return std::string();
	*slash = '\0';
	return path;
}


bool
is_program(const std::string& path)
{
	return !path.empty() && access(path.c_str(), X_OK) == 0;
}


// rdx-tags of the same build: in the build tree where this program was
// built and runs, else installed beside it.
std::string
rdx_tags()
{
	std::string directory = executable_directory();
	std::string build = RDX_BINARY_DIR;
	if (!directory.empty() && directory.compare(0, build.size(), build) == 0
		&& (directory.size() == build.size() || directory[build.size()] == '/')
		&& is_program(build + "/tools/rdx-tags/rdx-tags"))
		return build + "/tools/rdx-tags/rdx-tags";
	if (!directory.empty() && is_program(directory + "/rdx-tags"))
		return directory + "/rdx-tags";
	return TagsLauncher::FindInPath("rdx-tags");
}

}	// namespace


std::string
TagsLauncher::FindInPath(const std::string& name)
{
	const char* path = getenv("PATH");
	std::string list = path != nullptr ? path : "/usr/bin:/bin";
	size_t start = 0;
	while (start <= list.size()) {
		size_t colon = list.find(':', start);
		std::string directory = list.substr(start, colon == std::string::npos
			? std::string::npos : colon - start);
		// Only absolute directories: a relative one depends on where the
		// reader happens to run.
		if (!directory.empty() && directory[0] == '/'
			&& is_program(directory + "/" + name))
			return directory + "/" + name;
		if (colon == std::string::npos)
			break;
		start = colon + 1;
	}
	return std::string();
}


std::vector<std::string>
TagsLauncher::Command(const std::string& tag)
{
	std::string program = rdx_tags();
	if (program.empty())
		return {};
	std::vector<std::string> command;
	// A service's children end with it: a window the person is typing in
	// must not go when the reader restarts.
	const char* invocation = getenv("INVOCATION_ID");
	std::string run = FindInPath("systemd-run");
	if (invocation != nullptr && invocation[0] != '\0' && !run.empty()) {
		command = {run, "--user", "--scope", "--quiet", "--collect",
			"--"};
	}
	command.push_back(program);
	// One argument: the tag cannot be taken for an option of its own.
	command.push_back("--add=" + tag);
	return command;
}


status_t
TagsLauncher::Launch(const std::string& tag, std::string* problem)
{
	std::vector<std::string> command = Command(tag);
	if (command.empty()) {
		*problem = B_TRANSLATE("rdx-tags is not installed");
		return B_ENTRY_NOT_FOUND;
	}
	std::vector<char*> argv;
	for (std::string& argument : command)
		argv.push_back(argument.data());
	argv.push_back(nullptr);
	// Tells whether the exec failed, and why: it closes when it succeeds.
	int report[2];
	if (pipe2(report, O_CLOEXEC) != 0) {
		*problem = strerror(errno);
		return B_ERROR;
	}

	// Twice, so that the program is nobody's child here and needs no
	// waiting for; only calls that are safe after fork() in a process with
	// threads, until the exec.
	pid_t child = fork();
	if (child == 0) {
		setsid();
		sigset_t none;
		sigemptyset(&none);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		struct sigaction defaults = {};
		defaults.sa_handler = SIG_DFL;
		for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGQUIT})
			sigaction(signal, &defaults, nullptr);
		pid_t program = fork();
		if (program < 0) {
			int error = errno;
			ssize_t written = write(report[1], &error, sizeof(error));
			(void)written;
		}
		if (program != 0)
			_exit(0);
		close(report[0]);
		// The readers' devices and everything else stay here.
		if (report[1] != 3 && dup3(report[1], 3, O_CLOEXEC) < 0)
			_exit(127);
		close_range(4, ~0U, 0);
		execv(argv[0], argv.data());
		int error = errno;
		ssize_t written = write(3, &error, sizeof(error));
		(void)written;
		_exit(127);
	}
	close(report[1]);
	if (child < 0) {
		*problem = strerror(errno);
		close(report[0]);
		return B_ERROR;
	}
	while (waitpid(child, nullptr, 0) < 0 && errno == EINTR)
		;
	int error = 0;
	ssize_t count;
	while ((count = read(report[0], &error, sizeof(error))) < 0
		&& errno == EINTR)
		;
	close(report[0]);
	if (count == (ssize_t)sizeof(error)) {
		*problem = std::string(argv[0]) + ": " + strerror(error);
		return B_ERROR;
	}
	return B_OK;
}
