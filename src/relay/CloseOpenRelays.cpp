#include "RelayPath.h"

#include "OpenRelayRecord.h"
#include "RelayCloses.h"

#include <AccessLog.h>

#include <cstdio>


int32
CloseOpenRelays(const char* address)
{
	std::vector<RelayClose> closes;
	int32 count = 0;
	for (int32 relay = 1; relay <= 4; relay++) {
		if (RelayMark(relay) != 'o')
			continue;
		count++;
		RDX_RSTATUS[relay].store('x');
		printf("CLOSE %d on quit\n", (int)relay);
		closes.push_back(RelayClose{relay, address != nullptr ? address : ""});
	}
	// What the record holds besides (a close the board did not answer, an
	// open at an address since changed) stays there for the next start:
	// the quit waits for the relays it knows to be open, no longer.
	OpenRelayRecord* record = OpenRelayRecord::Default();

	RunRelayCloses(closes);

	AccessLog* log = AccessLog::Default();
	for (const RelayClose& close : closes) {
		if (close.built != B_OK)
			continue;
		if (log != nullptr) {
			log->Relay(close.relay, false, RDX_CAUSE_QUIT, nullptr,
				close.ExitStatus(), close.took / 1000.0, close.timedOut);
		}
		if (record != nullptr && close.Answered())
			record->Closed(close.relay, close.address.c_str());
		if (close.status != 0) {
			printf("CLOSE %d on quit: %d | board did not answer \n",
				(int)close.relay, close.status);
		}
	}
	return count;
}
