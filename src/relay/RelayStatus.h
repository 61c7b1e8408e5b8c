#ifndef RELAY_STATUS_H
#define RELAY_STATUS_H

#include <SupportDefs.h>

#include <atomic>
#include <string>

// The relay status string: character 0 is '-' once the string is set up,
// characters 1 to 4 are the marks of relays 1 to 4 ('o' open, 'x' closed),
// 5 to 7 are '-', 8 ends the string. The dispatcher, every worker and the
// panel's open-all action read and write it without a lock, one character at
// a time, so each character is atomic on its own.
extern std::atomic<char> RDX_RSTATUS[16];

// What the string holds after it is set up or reset: every relay closed.
#define RDX_RSTATUS_RESET "-xxxx---"

// A plain copy of the string, up to its terminator (empty before set-up).
std::string CopyRelayStatus();

// Stores the text and its terminator, one character at a time. Used for the
// set-up and for the open-all reset with RDX_RSTATUS_RESET.
void WriteRelayStatus(const char* text);

// The mark of relay 1 to 4, or 0 for any other number.
char RelayMark(int32 relay);

// How many opens of relay 1 to 4 have begun. A worker counts its open as
// it marks the relay, and its close report at the end of the hold carries
// the number: a report whose open was followed by another (after the
// relay was closed early) is told apart from the latest one's, whose own
// hold is still running.
int32 BeginRelayOpen(int32 relay);
int32 RelayOpensBegun(int32 relay);

#endif
