#include "BoundedCommand.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;


static bool
wait_with_limit(pid_t child, bigtime_t limit, int* status)
{
	// A pidfd turns "wait for the child, at most so long" into one
	// blocking poll.
	int pidfd = (int)syscall(SYS_pidfd_open, child, 0);
	if (pidfd >= 0) {
		struct pollfd entry = {pidfd, POLLIN, 0};
		bigtime_t deadline = system_time() + limit;
		int ready;
		do {
			bigtime_t left = deadline - system_time();
			int timeout = left > 0 ? (int)((left + 999) / 1000) : 0;
			ready = poll(&entry, 1, timeout);
		} while (ready < 0 && errno == EINTR);
		close(pidfd);
		if (ready <= 0)
			return false;
		return waitpid(child, status, 0) == child;
	}

	// Kernels without pidfds: look now and then.
	bigtime_t deadline = system_time() + limit;
	while (system_time() < deadline) {
		pid_t result = waitpid(child, status, WNOHANG);
		if (result == child)
			return true;
		if (result < 0 && errno != EINTR)
			return false;
		snooze(10000);
	}
	return false;
}


int
RunBoundedCommand(const char* command, bigtime_t limit, bool* timedOut)
{
	*timedOut = false;

	// The shell and what it starts get a process group of their own, so
	// that a stop reaches wget too, and the signal state of a fresh
	// program.
	posix_spawnattr_t attributes;
	posix_spawnattr_init(&attributes);
	sigset_t defaults;
	sigemptyset(&defaults);
	sigaddset(&defaults, SIGINT);
	sigaddset(&defaults, SIGQUIT);
	sigaddset(&defaults, SIGTERM);
	sigaddset(&defaults, SIGPIPE);
	sigset_t none;
	sigemptyset(&none);
	posix_spawnattr_setsigdefault(&attributes, &defaults);
	posix_spawnattr_setsigmask(&attributes, &none);
	posix_spawnattr_setpgroup(&attributes, 0);
	posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP
		| POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

	const char* argv[] = {"sh", "-c", command, nullptr};
	pid_t child;
	int error = posix_spawn(&child, "/bin/sh", nullptr, &attributes,
		const_cast<char* const*>(argv), environ);
	posix_spawnattr_destroy(&attributes);
	if (error != 0)
		return -1;

	int status = 0;
	if (wait_with_limit(child, limit, &status))
		return status;

	*timedOut = true;
	kill(-child, SIGKILL);
	while (waitpid(child, &status, 0) < 0 && errno == EINTR)
		;
	return status != 0 ? status : -1;
}
