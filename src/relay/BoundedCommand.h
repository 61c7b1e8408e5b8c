#ifndef BOUNDED_COMMAND_H
#define BOUNDED_COMMAND_H

#include <OS.h>

// How long one board request may take in all. wget's own time-out only
// bounds each wait for the network, so a board that keeps sending a byte now
// and then (or garbage without end) would hold a worker, and the door,
// forever.
#define RDX_COMMAND_LIMIT (6 * 1000000LL)

// Runs the command through the shell, as system() does, and returns its
// status in the same form. A command still running after the limit is
// killed with everything it started; *timedOut then says so.
int RunBoundedCommand(const char* command, bigtime_t limit, bool* timedOut);

#endif
