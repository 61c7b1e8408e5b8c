#ifndef BOUNDED_COMMAND_H
#define BOUNDED_COMMAND_H

#include <OS.h>

#include <functional>

// How long one board request may take in all. wget's own time-out only
// bounds each wait for the network, so a board that keeps sending a byte now
// and then (or garbage without end) would hold a worker, and the door,
// forever.
#define RDX_COMMAND_LIMIT (6 * 1000000LL)

// What a command waits for besides its limit (an open's request: see
// OpenGate).
struct CommandHold {
	// Called once the command runs. True lets it go on, with *drain the
	// descriptor of what it writes that must be read meanwhile (or -1);
	// false stops it before it can do anything.
	std::function<bool(int* drain)> release;
	// When this descriptor becomes readable, the command is stopped.
	int			stop = -1;
	// Filled in before release is called: the shell's process id, which is
	// also the id of the process group of everything it starts.
	pid_t		child = -1;

	// Filled in: release said no, or stop came first.
	bool		withheld = false;
	bool		stopped = false;
};

// Runs the command through the shell, as system() does, and returns its
// status in the same form. A command still running after the limit is
// killed with everything it started; *timedOut then says so. A command
// that hold withheld or stopped is killed too and counts as failed.
int RunBoundedCommand(const char* command, bigtime_t limit, bool* timedOut,
	CommandHold* hold = nullptr);

#endif
