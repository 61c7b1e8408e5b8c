#ifndef DESK_DEFS_H
#define DESK_DEFS_H

// What the people who run the door ask of rdx from the desk: keep the door
// open for a while, and lock everything down. rdx stays the only program
// that switches a relay and the one that enforces both; every sender
// (rdx-send, rdx-tags, rdx-mqtt) posts these same messages, and hears what
// became of them in the same notice.
//
//	rdx-send, rdx-tags, rdx-mqtt ──'rxKo', 'rxLd'──► rdx
//	                       ▲                          │ keeps the relay open,
//	                       └──────'rxMd' notice───────┘ closes it, refuses
//
// Lockdown is kept in the state directory (LockdownFile), which rdx alone
// writes; rdx-reader, rdx-door and rdx-tags read it to show the outcome
// "lockdown", and rdx refuses whatever reaches it anyway.

enum {
	// → rdx: keep the tag relay open for a while, or end that early.
	// Fields:
	//	"seconds"	int32: from 1 to RDX_KEEP_OPEN_MAX, the relay stays open
	//				that long from now; a keep-open under way is given the
	//				new end instead (the same command again renews, it
	//				never closes: a second press must not lock someone
	//				out). 0 ends a keep-open now. Missing or out of range:
	//				refused.
	//	"sender"	string: who asks, for the lines and the access log
	//				("rdx-send", "rdx-tags", "mqtt:<client id>")
	//	"deadline"	string, as in 'RFID' (RDX_FIELD_DEADLINE): a keep-open
	//				that comes later opens nothing. An end is always
	//				carried out: a close never opens a door.
	//	"request"	string, optional: given back as "answer" in the
	//				'rxMd' notice that answers this command.
	// Refused during lockdown, while board use is off, and while the
	// record of open relays cannot be kept. While kept open, a tag read,
	// the exit button and the relock change nothing; the end closes the
	// relay also when board use went off meanwhile.
	RDX_MSG_KEEP_OPEN = 'rxKo',

	// → rdx: lockdown on or off. Fields:
	//	"on"		bool: true sets it, false lifts it; missing: refused.
	//	"sender", "deadline", "request" as for 'rxKo'. A late lift is
	//				refused; a late lockdown is set all the same (when in
	//				doubt, lock).
	// During lockdown every tag read, exit button, keep-open, remote open
	// (rdx-mqtt's open is a tag read), "open all relay" and the start-up
	// pulse are refused; a kept-open relay, and every other relay rdx
	// holds open (a tag's hold), is closed at once. The panel's own test
	// pulse (the radio buttons) still works, for the installer.
	RDX_MSG_LOCKDOWN = 'rxLd',

	// rdx → its watchers: how the door stands. Sent when lockdown or a
	// keep-open begins or ends, once when a watch starts, and as the answer
	// to every 'rxKo' and 'rxLd' (also a refused one). Fields:
	//	"lockdown"		bool
	//	"kept_relay"	int32: the relay kept open, 0 for none
	//	"kept_until"	string: when it closes, UTC, ISO 8601 with
	//					milliseconds ("2026-12-08T09:44:03.127Z"); only
	//					while kept open
	//	"kept_left"		int32: seconds left then; only while kept open
	//	"answer"		string: the "request" of the command answered
	//	"result"		string: for an answer, "done" or "refused"
	//	"why"			string: for a refusal, one of the RDX_REFUSED_*
	//					words
	//	"sender"		string: for an answer, the command's sender
	RDX_NOTICE_DOOR_MODE = 'rxMd',

	// rdx's keep-open timer → rdx: the time is up. "generation" (int32)
	// tells it from the timer of an earlier keep-open. Never sent by
	// another program; one that is, ends nothing but its own generation.
	RDX_MSG_KEEP_OPEN_END = 'rxKe',
};

// The longest keep-open: 12 hours, a working day and then some. A door
// that must stay open for longer is not a door for rdx to hold.
#define RDX_KEEP_OPEN_MAX (12 * 3600)

#define RDX_FIELD_SECONDS "seconds"
#define RDX_FIELD_SENDER "sender"
#define RDX_FIELD_REQUEST "request"
#define RDX_FIELD_ON "on"
#define RDX_FIELD_LOCKDOWN "lockdown"
#define RDX_FIELD_KEPT_RELAY "kept_relay"
#define RDX_FIELD_KEPT_UNTIL "kept_until"
#define RDX_FIELD_KEPT_LEFT "kept_left"
#define RDX_FIELD_ANSWER "answer"
#define RDX_FIELD_WHY "why"
#define RDX_FIELD_GENERATION "generation"
// Of 'RFID' as rdx tells its watchers: the read was refused, and why
// ("lockdown"). A read without it went the usual way.
#define RDX_FIELD_READ_RESULT "result"

// The values of "result", and the outcome of a read during lockdown.
#define RDX_RESULT_DONE "done"
#define RDX_RESULT_REFUSED "refused"
#define RDX_OUTCOME_LOCKDOWN "lockdown"

// Why a command was refused ("why").
#define RDX_REFUSED_LOCKDOWN "lockdown"
#define RDX_REFUSED_BOARD_USE_OFF "board-use-off"
#define RDX_REFUSED_TOO_LATE "too-late"
#define RDX_REFUSED_NO_RECORD "no-record"
#define RDX_REFUSED_BAD_REQUEST "bad-request"
#define RDX_REFUSED_NOT_WRITTEN "not-written"
#define RDX_REFUSED_NO_TIMER "no-timer"

#endif
