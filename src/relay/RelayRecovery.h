#ifndef RELAY_RECOVERY_H
#define RELAY_RECOVERY_H

#include "OpenRelayRecord.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Closes what the record of open relays knows to be open, at the first
// chance: at start (what an earlier run left), when board use is switched
// on, when a board answers again, and when a relay's close went to another
// address than its open (the address changed during its hold). The close on
// quit (CloseOpenRelays) takes the rest. An entry is crossed out only when
// the board at its own address answered its close.
class RelayRecovery {
public:
	// At start, before the start-up pulse and whether board use is on or
	// not (a close never opens a door). Reads the record, closes what it
	// holds and begins it afresh with what the board did not answer. A
	// record that cannot be trusted costs one line and the close of all
	// four relays of the board that storedAddress() gives (the board the
	// settings stored before this start; none when it gives an empty
	// text): when in doubt, lock. One that another rdx keeps is left to it.
	static	void			AtStart(OpenRelayRecord& record,
								const std::function<std::string()>&
									storedAddress);

	// Closes, on a thread of its own, the entries of the record that are
	// of the relay or at the address (relay 0 and an empty address: every
	// entry) and that no request under way or hold covers. Returns at once;
	// does nothing when there is nothing to close.
	static	void			CloseOwed(int32 relay = 0,
								const std::string& address = "");
	// Closes, the same way, the entries of the relay at every address but
	// the one given: a close that failed there (a mistyped address, a board
	// that is gone) must not leave the relay open at the board it was
	// opened at until board use is switched on again or the program ends.
	static	void			CloseOwedElsewhere(int32 relay,
								const std::string& address);

	// Whether no pass of CloseOwed() runs; for the tests.
	static	bool			Idle();
	// Waits until no pass runs, or until the deadline. Once the program
	// ends (RelayRequests::Stopping()) no pass starts and none goes round
	// again: the close on quit takes every entry.
	static	void			WaitUntilIdle(bigtime_t deadline);

private:
	struct Filter {
		int32		relay;
		std::string	address;
		// The relay's entries at any other address than this one.
		bool		elsewhere = false;

		bool		Matches(const OpenRelayRecord::Entry& entry) const;
	};

	// Closes the entries and logs each with the cause "recovery"; gives
	// back those the board did not answer.
	static	std::vector<OpenRelayRecord::Entry> _Close(
								const std::vector<OpenRelayRecord::Entry>&
									entries);
	static	void			_Schedule(const Filter& filter);
	static	std::vector<OpenRelayRecord::Entry> _Owed(
								const std::vector<Filter>& filters);
	static	status_t		_PassThread(void* data);

	static	std::mutex		sLock;
	static	std::condition_variable sIdle;
	static	std::vector<Filter> sFilters;
	static	bool			sRunning;
};

#endif
