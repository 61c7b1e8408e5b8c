#include "BoundedCommand.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;


// 0 once the child has ended (its status in *status), ETIMEDOUT when the
// limit passed first, or the error that stopped the wait.
static int
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
		int error = ready < 0 ? errno : 0;
		close(pidfd);
		if (ready < 0)
			return error;
		if (ready == 0)
			return ETIMEDOUT;
		return waitpid(child, status, 0) == child ? 0 : errno;
	}

	// Kernels without pidfds: look now and then.
	bigtime_t deadline = system_time() + limit;
	while (system_time() < deadline) {
		pid_t result = waitpid(child, status, WNOHANG);
		if (result == child)
			return 0;
		if (result < 0 && errno != EINTR)
			return errno;
		snooze(10000);
	}
	return ETIMEDOUT;
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
	int waited = wait_with_limit(child, limit, &status);
	if (waited == 0)
		return status;

	if (waited == ETIMEDOUT)
		*timedOut = true;
	else {
		// Not a board that is slow: say what it was. The request is still
		// stopped and counted as no answer.
		printf("board request: waiting for it failed: %s\n",
			strerror(waited));
	}
	kill(-child, SIGKILL);
	while (waitpid(child, &status, 0) < 0 && errno == EINTR)
		;
	return status != 0 ? status : -1;
}
