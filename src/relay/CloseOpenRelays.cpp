#include "RelayPath.h"

#include "BoundedCommand.h"
#include "OpenRelayRecord.h"
#include "RelayCloses.h"
#include "RelayRecovery.h"
#include "RelayRequests.h"

#include <AccessLog.h>

#include <cstdio>


int32
CloseOpenRelays(const char* address)
{
	// First no open may reach a board any more: one still under way would
	// otherwise arrive after its close. One already on its way gets a
	// second to hear its board's answer, then it is stopped: the quit waits
	// a moment for it, not a request's limit.
	bigtime_t now = system_time();
	RelayRequests::StopOpening(now + 1000000, now + RDX_COMMAND_LIMIT);

	std::vector<RelayClose> closes;
	for (int32 relay = 1; relay <= 4; relay++) {
		if (RelayMark(relay) != 'o')
			continue;
		RDX_RSTATUS[relay].store('x');
		printf("CLOSE %d on quit\n", (int)relay);
		closes.push_back(RelayClose{relay, address != nullptr ? address : ""});
	}
	// Every relay the record knows to be open, each at the address it was
	// opened at: a close the board missed, an open at an address since
	// changed. All in the same batch, so the wait stays one request's.
	OpenRelayRecord* record = OpenRelayRecord::Default();
	// What stays unanswered must be found by the next start, also when the
	// record's file was removed or replaced while the program ran.
	if (record != nullptr)
		record->Ready();
	if (record != nullptr) {
		for (const OpenRelayRecord::Entry& entry : record->Entries()) {
			bool listed = false;
			for (const RelayClose& close : closes) {
				listed = listed || (close.relay == entry.relay
					&& close.address == entry.address);
			}
			if (listed)
				continue;
			printf("CLOSE %d at %s on quit: the record of open relays holds "
				"it\n", (int)entry.relay, entry.address.c_str());
			closes.push_back(RelayClose{entry.relay, entry.address});
		}
	}

	RunRelayCloses(closes);

	AccessLog* log = AccessLog::Default();
	for (const RelayClose& close : closes) {
		if (close.built != B_OK)
			continue;
		if (log != nullptr) {
			log->Relay(close.relay, false, RDX_CAUSE_QUIT, nullptr,
				close.ExitStatus(), close.took / 1000.0, close.timedOut);
		}
		// Crossed out only when its own board answered; else the next start
		// closes it.
		if (record != nullptr && close.Answered())
			record->Closed(close.relay, close.address.c_str());
		if (close.status != 0) {
			printf("CLOSE %d on quit: %d | board did not answer \n",
				(int)close.relay, close.status);
		}
	}
	// A pass of the record's closes still under way ends first: the
	// program must not tear down what it uses.
	RelayRecovery::WaitUntilIdle(now + 2 * RDX_COMMAND_LIMIT);
	return (int32)closes.size();
}
