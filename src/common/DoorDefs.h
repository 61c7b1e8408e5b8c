#ifndef DOOR_DEFS_H
#define DOOR_DEFS_H

// What rdx, rdx-door and rdx-mqtt tell each other about the door itself:
// its exit button, its contact and its alarms. The codes and fields of
// rdx's own messages are in RDXDefs.h; these come on top of them.
//
//	button, contact ──► rdx-door ──'rxEx'──► rdx (opens the tag relay)
//	                      │ ▲     ──'rxLk'──► rdx (closes it early)
//	                      │ └──'rxDs'── rdx-mqtt (a sensor on the broker)
//	                      └──'rxDr'──► its watchers (rdx-mqtt, rdx-send --watch)
//
// rdx-door watches rdx as well ('RFID', 'rx_s', 'rxSt'): that is how it
// knows who let someone in, and when the relay closed again.

// rdx-door's signature: its message port takes 'rxDs', and its watchers
// hear 'rxDr'. Only one runs per user.
#define RDX_DOOR_SIGNATURE "application/x-vnd-RDX-door"

enum {
	// rdx-door → rdx: the exit button was pressed. rdx opens the tag relay
	// for the hold time exactly as for a tag read: only with board use on,
	// written into the record of open relays, never a second time while
	// the relay is open, and not at all when it comes after its
	// "deadline". The access log gets a "relay" record with cause "exit".
	// Fields: "reader" (the input, e.g. "exit:gpiochip0/17"), "deadline"
	// (as in 'RFID', see RDX_FIELD_DEADLINE).
	RDX_MSG_EXIT = 'rxEx',

	// rdx-door → rdx: the door opened and closed again while the tag relay
	// was open, and door.conf asks for "relock = on". rdx closes the tag
	// relay now when it holds it open, and does nothing otherwise: this
	// message can only ever close. Fields: "reader" (the contact), and a
	// "deadline" after which it is dropped (the hold time closes the relay
	// anyway).
	RDX_MSG_RELOCK = 'rxLk',

	// rdx-mqtt → rdx-door: what a door sensor on the broker reported. Sent
	// for every report (also an unchanged one: rdx-door times the sensor's
	// silence from the last report), and with "state" "unknown" when the
	// sensor or the broker went offline.
	// Fields:
	//	"input"		the input's name as door.conf gives it
	//				(DoorInput::Name(), "contact:mqtt:<topic>")
	//	"state"		"open", "closed" or "unknown"
	//	"reason"	for "unknown": why, in a few words ("offline",
	//				"unreadable report: …"); optional
	RDX_MSG_DOOR_SENSOR = 'rxDs',

	// rdx-door → its watchers: every door event as it happens, and once,
	// with "event" "state", when a watch starts (how things stand now).
	// Fields:
	//	"door"		the door's name (door.conf's "door")
	//	"event"		"opened", "closed", "held-open", "forced",
	//				"sensor-lost", "exit" or "state"
	//	"state"		the door's state after it: "open", "closed" or
	//				"unknown" (never assumed closed)
	//	"input"		the input it came from; empty for "state" and for
	//				alarms raised by the time
	//	"alarms"	the alarms that stand after it, separated by ',':
	//				"held-open", "forced", "sensor-lost"; empty: none.
	//				held-open and forced clear when the door closes,
	//				sensor-lost when the sensor reports again.
	//	"relay"		the tag relay as rdx last told it: "open", "closed"
	//				or "unknown" (rdx does not run)
	//	"reason"	for "sensor-lost": why ("unplugged", "silent", …)
	//	"result"	for "exit": what became of the request ("passed-on",
	//				"no-rdx", "not-delivered", "too-late": made more
	//				than a second before it could be sent)
	RDX_NOTICE_DOOR = 'rxDr',
};

// Field names of the messages above ("reader" and "deadline" are rdx's own,
// RDX_FIELD_READER and RDX_FIELD_DEADLINE).
#define RDX_FIELD_DOOR "door"
#define RDX_FIELD_EVENT "event"
#define RDX_FIELD_STATE "state"
#define RDX_FIELD_INPUT "input"
#define RDX_FIELD_ALARMS "alarms"
#define RDX_FIELD_RELAY_STATE "relay"
#define RDX_FIELD_REASON "reason"
#define RDX_FIELD_RESULT "result"

// The values of "state" and "relay".
#define RDX_DOOR_OPEN "open"
#define RDX_DOOR_CLOSED "closed"
#define RDX_DOOR_UNKNOWN "unknown"

// The values of "event", which are also the "what" of the access log's
// "door" records.
#define RDX_DOOR_OPENED "opened"
#define RDX_DOOR_CLOSED_EVENT "closed"
#define RDX_DOOR_HELD_OPEN "held-open"
#define RDX_DOOR_FORCED "forced"
#define RDX_DOOR_SENSOR_LOST "sensor-lost"
#define RDX_DOOR_EXIT "exit"
#define RDX_DOOR_SNAPSHOT "state"

#endif
