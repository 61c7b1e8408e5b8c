#ifndef RELAY_CLOSES_H
#define RELAY_CLOSES_H

#include "BoardCommand.h"

#include <OS.h>

#include <string>
#include <vector>

// One close request of a batch that is sent all at once, so that the wait
// is one request's limit, not one per relay.
struct RelayClose {
	int32		relay = 0;
	std::string	address;
	// Filled in by RunRelayCloses().
	status_t	built = B_NO_INIT;
	int			status = 0;
	bool		timedOut = false;
	bigtime_t	took = 0;

	// wget's exit status as the access log takes it: -1 when nothing ran.
	int			ExitStatus() const;
	// The board answered: the close is done.
	bool		Answered() const { return built == B_OK && status == 0; }
};

// Builds and runs every close of the batch at once and waits for all of
// them, each bounded by RDX_COMMAND_LIMIT. A command that cannot be built
// is printed with the reason and not run.
void RunRelayCloses(std::vector<RelayClose>& closes);

#endif
