#include "Xvfb.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const int kStartSeconds = 15;

}	// namespace


Xvfb::Xvfb(int width, int height)
{
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0) {
		fError = std::string("pipe: ") + strerror(errno);
		return;
	}
	std::string screen = std::to_string(width) + "x" + std::to_string(height)
		+ "x24";

	pid_t pid = fork();
	if (pid < 0) {
		fError = std::string("fork: ") + strerror(errno);
		close(fds[0]);
		close(fds[1]);
		return;
	}
	if (pid == 0) {
		// Dies with the test: a test killed at its time-out must not leave
		// its programs running.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		// The write end must survive exec; it is the only fd Xvfb gets.
		int writeFd = dup(fds[1]);
		std::string fdText = std::to_string(writeFd);
		int devNull = open("/dev/null", O_RDWR);
		if (devNull >= 0) {
			dup2(devNull, 0);
			dup2(devNull, 1);
			dup2(devNull, 2);
		}
		setpgid(0, 0);
		execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-nolisten",
			"tcp", "-screen", "0", screen.c_str(), "-noreset", "-nocursor",
			(char*)nullptr);
		_exit(127);
	}
	close(fds[1]);
	fPid = pid;

	// Xvfb writes the display number and a newline once it accepts
	// connections.
	std::string number;
	time_t end = time(nullptr) + kStartSeconds;
	while (time(nullptr) <= end) {
		struct pollfd poller = {fds[0], POLLIN, 0};
		if (poll(&poller, 1, 200) <= 0)
			continue;
		char buffer[32];
		ssize_t got = read(fds[0], buffer, sizeof(buffer));
		if (got <= 0)
			break;
		number.append(buffer, got);
		if (number.find('\n') != std::string::npos)
			break;
	}
	close(fds[0]);
	size_t newline = number.find('\n');
	if (newline == std::string::npos || newline == 0) {
		fError = "Xvfb did not report a display";
		kill(fPid, SIGKILL);
		waitpid(fPid, nullptr, 0);
		fPid = -1;
		return;
	}
	fDisplay = ":" + number.substr(0, newline);
}


Xvfb::~Xvfb()
{
	if (fPid <= 0)
		return;
	kill(fPid, SIGTERM);
	for (int i = 0; i < 200; i++) {
		if (waitpid(fPid, nullptr, WNOHANG) == fPid)
			return;
		struct timespec delay = {0, 10 * 1000000L};
		nanosleep(&delay, nullptr);
	}
	kill(fPid, SIGKILL);
	waitpid(fPid, nullptr, 0);
}
