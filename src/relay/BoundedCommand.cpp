#include "BoundedCommand.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;


// 0 once the child has ended (its status in *status), ETIMEDOUT when the
// limit passed first, ECANCELED when stop became readable first, or the
// error that stopped the wait. What the child writes to drain is read and
// thrown away meanwhile, so that it never waits for room there.
static int
wait_with_limit(pid_t child, bigtime_t limit, int drain, int stop,
	int* status)
{
	// A pidfd turns "wait for the child, at most so long" into one
	// blocking poll; kernels without them look now and then.
	int pidfd = (int)syscall(SYS_pidfd_open, child, 0);
	bigtime_t deadline = system_time() + limit;
	int result = ETIMEDOUT;
	for (;;) {
		struct pollfd entries[3];
		nfds_t count = 0;
		int childAt = -1;
		int drainAt = -1;
		int stopAt = -1;
		if (pidfd >= 0) {
			childAt = (int)count;
			entries[count++] = {pidfd, POLLIN, 0};
		}
		if (drain >= 0) {
			drainAt = (int)count;
			entries[count++] = {drain, POLLIN, 0};
		}
		if (stop >= 0) {
			stopAt = (int)count;
			entries[count++] = {stop, POLLIN, 0};
		}
		bigtime_t left = deadline - system_time();
		int timeout = left > 0 ? (int)((left + 999) / 1000) : 0;
		if (pidfd < 0 && timeout > 10)
			timeout = 10;
		int ready = poll(entries, count, timeout);
		if (ready < 0 && errno == EINTR)
			continue;
		if (ready < 0) {
			result = errno;
			break;
		}
		if (drainAt >= 0 && entries[drainAt].revents != 0) {
			char buffer[4096];
			ssize_t got = read(drain, buffer, sizeof(buffer));
			if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
				drain = -1;
		}
		if (stopAt >= 0 && entries[stopAt].revents != 0) {
			result = ECANCELED;
			break;
		}
		if (childAt >= 0 && entries[childAt].revents != 0) {
			result = waitpid(child, status, 0) == child ? 0 : errno;
			break;
		}
		if (pidfd < 0) {
			pid_t waited = waitpid(child, status, WNOHANG);
			if (waited == child) {
				result = 0;
				break;
			}
			if (waited < 0 && errno != EINTR) {
				result = errno;
				break;
			}
		}
		if (system_time() >= deadline) {
			result = ETIMEDOUT;
			break;
		}
	}
	if (pidfd >= 0)
		close(pidfd);
	return result;
}


// Stops the child and everything it started, and collects its status.
static int
stop_child(pid_t child)
{
	int status = -1;
	if (kill(-child, SIGKILL) != 0)
		kill(child, SIGKILL);
	while (waitpid(child, &status, 0) < 0 && errno == EINTR)
		;
	return status;
}


// Starts the shell as posix_spawn() below does, but tied to the calling
// thread: the kernel kills it when that thread ends. The shell runs the
// command with exec, so that the signal reaches the command itself (a shell
// that forked it would leave it behind). -1 when it cannot start.
static pid_t
spawn_tied(const char* command)
{
	std::string line = std::string("exec ") + command;
	const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
	sigset_t all;
	sigset_t before;
	sigfillset(&all);
	// No handler of this program may run in the child before it is a
	// fresh program.
	pthread_sigmask(SIG_SETMASK, &all, &before);
	pid_t parent = getpid();
	// vfork: the child only makes system calls until it runs the shell, and
	// a copy of this program's page tables (fork) cost the door most of a
	// millisecond on every open.
	pid_t child = vfork();
	if (child == 0) {
		// System calls alone: the child shares this memory until execve.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		if (getppid() != parent)
			_exit(127);
		setpgid(0, 0);
		struct sigaction plain = {};
		plain.sa_handler = SIG_DFL;
		for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGPIPE})
			sigaction(signal, &plain, nullptr);
		sigset_t none;
		sigemptyset(&none);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		execve("/bin/sh", const_cast<char* const*>(argv), environ);
		_exit(127);
	}
	// The group is made on both sides: a stop that comes before the child
	// has run would otherwise find no group, miss wget waiting at its
	// gate, and wait for it for good.
	if (child > 0)
		setpgid(child, child);
	pthread_sigmask(SIG_SETMASK, &before, nullptr);
	return child;
}


// Lets the hold decide, then waits for the command within the limit.
static int
run_started(pid_t child, bigtime_t limit, bool* timedOut, CommandHold* hold)
{
	int drain = -1;
	if (hold != nullptr)
		hold->child = child;
	if (hold != nullptr && hold->release && !hold->release(&drain)) {
		hold->withheld = true;
		stop_child(child);
		return -1;
	}

	int status = 0;
	int waited = wait_with_limit(child, limit, drain,
		hold != nullptr ? hold->stop : -1, &status);
	if (waited == 0)
		return status;

	if (waited == ETIMEDOUT)
		*timedOut = true;
	else if (waited == ECANCELED)
		hold->stopped = true;
	else {
		// Not a board that is slow: say what it was. The request is still
		// stopped and counted as no answer.
		printf("board request: waiting for it failed: %s\n",
			strerror(waited));
	}
	status = stop_child(child);
	return status != 0 ? status : -1;
}


int
RunBoundedCommand(const char* command, bigtime_t limit, bool* timedOut,
	CommandHold* hold)
{
	*timedOut = false;
	if (hold != nullptr && hold->endsWithProgram) {
		pid_t child = spawn_tied(command);
		if (child < 0)
			return -1;
		return run_started(child, limit, timedOut, hold);
	}

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
	return run_started(child, limit, timedOut, hold);
}
