#ifndef RELAY_RECOVERY_H
#define RELAY_RECOVERY_H

#include "OpenRelayRecord.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Closes what an earlier run of the program left open: the relays its
// record of open relays still holds, each at the address it was opened at.
// A close the board does not answer stays recorded and is tried again at
// the next start, and whenever board use is switched on.
class RelayRecovery {
public:
	// At start, before the start-up pulse and whether board use is on or
	// not (a close never opens a door). Reads the record, closes what it
	// holds and begins it afresh with what the board did not answer. A
	// record that cannot be read (or opened), or that belongs to another
	// user, costs one line and the close of all four relays of the board that
	// storedAddress() gives (the settings' board): when in doubt, lock.
	static	void			AtStart(OpenRelayRecord& record,
								const std::function<std::string()>&
									storedAddress);

	// Board use went on: the closes that the board did not answer are
	// tried again, on a thread of their own. Returns at once.
	static	void			Retry();

	// The closes still waiting for an answer.
	static	std::vector<OpenRelayRecord::Entry> Pending();

private:
	// Closes the entries and logs each with the cause "recovery"; gives
	// back those the board did not answer.
	static	std::vector<OpenRelayRecord::Entry> _Close(
								const std::vector<OpenRelayRecord::Entry>&
									entries);
	static	status_t		_RetryThread(void* data);

	static	std::mutex		sLock;
	static	std::vector<OpenRelayRecord::Entry> sPending;
	static	bool			sRetrying;
};

#endif
