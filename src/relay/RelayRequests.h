#ifndef RELAY_REQUESTS_H
#define RELAY_REQUESTS_H

#include <OS.h>

#include <string>

// The board requests under way and where each relay was last opened, for
// the whole process: what a close of the record of open relays must not
// cross (a relay held open for its hold time is not a relay left open), and
// what the end of the program stops before it sends its closes, so that no
// open reaches a board after them.
class RelayRequests {
public:
	// A request of the relay at the address begins; the number to end it
	// with. An open holds the relay at the address from here on, for as
	// long as the relay stays marked open.
	static	int64			Begin(int32 relay, const std::string& address,
								bool open);
	// Right before the open may reach its board: false once the program
	// has begun to end, and the open must not go out.
	static	bool			MayOpen(int64 request);
	static	void			End(int64 request);

	// The open's own descriptor that becomes readable once opens must stop:
	// an open still waiting for its board is stopped then. -1 for a close.
	// It lives until End().
	static	int				StopDescriptor(int64 request);
	// No open goes out from now on. Those already on their way to a board
	// are given until the grace to end (so that what the board answered is
	// known and logged), then stopped. Returns once none runs any more, or
	// at the deadline.
	static	void			StopOpening(bigtime_t grace, bigtime_t deadline);
	static	bool			Stopping();
	// Opens go out again; for tests, which end the program's relay path
	// many times in one process.
	static	void			ResumeOpening();

	// Whether a close of the relay at the address would now cross a
	// request under way there, or the hold of an open made there.
	static	bool			Covers(int32 relay, const std::string& address);

	// Waits until no open of the relay is under way any more, or until the
	// deadline: a close sent meanwhile could reach the board before the
	// open (which waits for the disk first), and the door would stay open.
	static	void			WaitForOpens(int32 relay, bigtime_t deadline);
};

#endif
