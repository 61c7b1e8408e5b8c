#include "RelayPath.h"

#include "BoardCommand.h"
#include "BoundedCommand.h"

#include <AccessLog.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <vector>


int32
CloseOpenRelays(const char* address)
{
	struct Close {
		int32	relay = 0;
		char	command[RDX_COMMAND_BUFFER];
		int		status = 0;
		bool	timedOut = false;
		bigtime_t took = 0;
	};
	// Reserved up front: the threads below hold references into it.
	std::vector<Close> closes;
	closes.reserve(4);

	int32 count = 0;
	for (int32 relay = 1; relay <= 4; relay++) {
		if (RelayMark(relay) != 'o')
			continue;
		count++;
		RDX_RSTATUS[relay].store('x');
		printf("CLOSE %d on quit\n", (int)relay);

		Close& close = closes.emplace_back();
		close.relay = relay;
		status_t built = MakeBoardCommand(close.command, address, relay + 2,
			1);
		if (built != B_OK) {
			PrintCommandRefusal(relay, built, address);
			closes.pop_back();
		}
	}

	// All at once, so that the wait is one request's time-out, not four.
	std::vector<std::thread> threads;
	for (Close& close : closes)
		threads.emplace_back([&close] {
			bigtime_t started = system_time();
			close.status = RunBoundedCommand(close.command, RDX_COMMAND_LIMIT,
				&close.timedOut);
			close.took = system_time() - started;
		});
	for (std::thread& thread : threads)
		thread.join();

	AccessLog* log = AccessLog::Default();
	for (const Close& close : closes) {
		if (log != nullptr) {
			int exitStatus = WIFEXITED(close.status)
				? WEXITSTATUS(close.status) : close.status == -1 ? -1
				: 128 + WTERMSIG(close.status);
			log->Relay(close.relay, false, RDX_CAUSE_QUIT, nullptr,
				exitStatus, close.took / 1000.0, close.timedOut);
		}
		if (close.status != 0) {
			printf("CLOSE %d on quit: %d | board did not answer \n",
				(int)close.relay, close.status);
		}
	}
	return count;
}
