#include "RelayCloses.h"

#include "BoundedCommand.h"

#include <sys/wait.h>
#include <thread>


int
RelayClose::ExitStatus() const
{
	if (built != B_OK || status == -1)
		return -1;
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}


void
RunRelayCloses(std::vector<RelayClose>& closes)
{
	std::vector<std::thread> threads;
	threads.reserve(closes.size());
	for (RelayClose& close : closes) {
		threads.emplace_back([&close] {
			char command[RDX_COMMAND_BUFFER];
			close.built = MakeBoardCommand(command, close.address.c_str(),
				close.relay + 2, 1);
			if (close.built != B_OK)
				return;
			bigtime_t started = system_time();
			close.status = RunBoundedCommand(command, RDX_COMMAND_LIMIT,
				&close.timedOut);
			close.took = system_time() - started;
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	for (const RelayClose& close : closes) {
		if (close.built != B_OK)
			PrintCommandRefusal(close.relay, close.built,
				close.address.c_str());
	}
}
