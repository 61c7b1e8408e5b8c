#ifndef RELAY_PATH_H
#define RELAY_PATH_H

#include <SupportDefs.h>

#include "RelayStatus.h"

// Fields of the 'dwrx' request for the access log: what asked for it, and
// the tag when a tag did.
#define RDX_FIELD_CAUSE "cause"
#define RDX_FIELD_CAUSE_TAG "tag"
// Of 'rx_c': the number of the open whose hold ended (BeginRelayOpen()).
#define RDX_FIELD_HOLD "hold"
// Of the 'dwrx' request: its number with RelayRequests (as text), begun
// when the request was made; the open's "hold" is given then too.
#define RDX_FIELD_IN_FLIGHT "in_flight"

// The delay of an open that no worker closes: a keep-open, which rdx's own
// timer ends (KeepOpenTimer). Its open sends no 'rx_c'.
#define RDX_DELAY_KEPT (-1)

// Asks for relay 1 to 4 to be opened (the close is reported delay seconds
// later with 'rx_c') or closed. Returns at once; a worker thread makes the
// board request and reports to be_app_messenger with 'rx_k', 'rx_s' and
// 'rx_c'. A request that repeats the relay's mark is refused with a line.
// cause (RDX_CAUSE_TAG, ...) and the tag that asked, if any, go into the
// request's record in the access log.
void Own_Thread(int32 relay, bool open, const char* address, int32 delay,
	const char* cause = nullptr, const char* tag = nullptr);

// The worker thread's entry. Takes ownership of the 'dwrx' request in data;
// 0 for a null request, 1 otherwise.
status_t DoWithRDX(void* data);

// For the end of the program: stops every open (none reaches a board from
// now on), then sends the close request for every relay whose mark is 'o'
// (at the address given) and for every relay the record of open relays
// holds (at its own address), all at once, waits for them (each bounded by
// the request limit), marks them 'x' and prints one line per relay. Posts
// nothing, since the application may already be gone. Returns how many
// closes it sent.
int32 CloseOpenRelays(const char* address);

#endif
