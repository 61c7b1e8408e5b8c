#ifndef DOOR_MONITOR_H
#define DOOR_MONITOR_H

#include "DoorInput.h"

#include <OS.h>

#include <string>

// Something the door did, as the log, the notices, the lines and the desk
// are told of it.
struct DoorEvent {
	// RDX_DOOR_OPENED, ..., RDX_DOOR_SNAPSHOT.
	std::string		what;
	std::string		input;
	// sensor-lost: why; exit: what became of the request.
	std::string		reason;
	std::string		result;
	// exit, too late: by how many milliseconds; -1 otherwise.
	double			lateMs = -1;
	// How things stand after it.
	DoorState		state = DoorState::kUnknown;
	uint32			alarms = 0;
	// "open", "closed", "unknown".
	std::string		relay;
};


// What the door is doing, decided from what its contact says, what its
// exit button asks and what rdx tells about the tag relay. It reads no
// device and keeps no clock: every call is given the time, so that the
// tests name the moments instead of waiting for them, and NextDeadline()
// says when it wants to be asked again (never while nothing is pending:
// a closed door costs no wake-ups).
//
//	held open	the door is still open heldOpen after the relay closed
//				again (or after it opened while the relay was closed)
//	forced		it opened while the relay was closed, and no tag read
//				with board use on, exit button or relay open came within
//				forcedGrace before or after
//	sensor lost	the contact cannot be read: the state is unknown, never
//				taken for closed
//
// held open and forced clear when the door closes; sensor lost when the
// contact reports again. rdx going away makes the relay unknown, never
// closed: an opening then is no forced alarm, and no alarm pending is
// raised because rdx restarted.
class DoorMonitor {
public:
	enum Alarm {
		kHeldOpen = 1,
		kForced = 2,
		kSensorLost = 4,
	};

	enum RelayState {
		kRelayUnknown,
		kRelayOpen,
		kRelayClosed,
	};

	class Output {
	public:
		virtual				~Output() = default;
		virtual	void		DoorEventHappened(const DoorEvent& event) = 0;
		// The door opened and closed again while the relay was open, and
		// relock is wanted: the relay should close now.
		virtual	void		RelockWanted(const std::string& input) = 0;
	};

	struct Settings {
		bigtime_t		heldOpen = 30 * 1000000LL;
		bigtime_t		forcedGrace = 2 * 1000000LL;
		bool			relock = false;
	};

							DoorMonitor(const Settings& settings,
								Output& output);

	// The contact says the door is open or closed, or cannot be read any
	// more (reason: why).
			void			Contact(const std::string& input, DoorState state,
								const std::string& reason, bigtime_t now);
	// The exit button was pressed, and its request went to rdx with this
	// result.
			void			ExitPressed(const std::string& input,
								const std::string& result, bigtime_t now,
								double lateMs = -1);

	// What rdx tells: its settings (board use, the tag relay, the relay
	// status string "-xoxx---"), a report of a relay's request, a tag read,
	// and that it went away.
			void			RdxSettings(bool use, int32 tagRelay,
								const std::string& image, bigtime_t now);
			void			RdxRelay(int32 relay, bool opened, bigtime_t now);
			void			RdxTag(bigtime_t now);
			void			RdxGone(bigtime_t now);

	// When Pulse() should be called next; B_INFINITE_TIMEOUT when nothing
	// is pending.
			bigtime_t		NextDeadline() const;
			void			Pulse(bigtime_t now);

	// How things stand, as the "state" notice tells a new watcher.
			DoorEvent		Snapshot() const;

			DoorState		State() const { return fState; }
			uint32			Alarms() const { return fAlarms; }
			RelayState		Relay() const { return fRelay; }

	// "held-open,forced"; empty for none.
	static	std::string		AlarmNames(uint32 alarms);
	static	const char*		RelayName(RelayState relay);

private:
			void			_Emit(const char* what, const std::string& input,
								const std::string& reason = "",
								const std::string& result = "",
								double lateMs = -1);
			// Someone was let in now (or the relay closed, which covers a
			// door opened a moment later): a pending forced check is off.
			void			_Cover(bigtime_t now);
			void			_RelayIs(RelayState relay, bigtime_t now);

			Settings		fSettings;
			Output&			fOutput;
			std::string		fContact;

			DoorState		fState = DoorState::kUnknown;
			uint32			fAlarms = 0;
			RelayState		fRelay = kRelayUnknown;
			bool			fUse = false;
			int32			fTagRelay = 0;

			bool			fCovered = false;
			bigtime_t		fLastCover = 0;
			// 0: no check pending.
			bigtime_t		fForcedAt = 0;
			// Since when the door stands open without the relay open; 0:
			// not timed.
			bigtime_t		fHeldSince = 0;
			// The door opened while the relay held it open (or the relay
			// opened while it stood open): a close then may relock.
			bool			fPassedThrough = false;
};

#endif
