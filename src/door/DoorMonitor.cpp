#include "DoorMonitor.h"

#include <DoorDefs.h>

#include <algorithm>


DoorMonitor::DoorMonitor(const Settings& settings, Output& output)
	:
	fSettings(settings),
	fOutput(output)
{
}


std::string
DoorMonitor::AlarmNames(uint32 alarms)
{
	std::string names;
	for (auto [alarm, name] : {std::pair{kHeldOpen, RDX_DOOR_HELD_OPEN},
			{kForced, RDX_DOOR_FORCED}, {kSensorLost, RDX_DOOR_SENSOR_LOST}}) {
		if ((alarms & alarm) != 0)
			names += (names.empty() ? "" : ",") + std::string(name);
	}
	return names;
}


const char*
DoorMonitor::RelayName(RelayState relay)
{
	switch (relay) {
		case kRelayOpen:
			return RDX_DOOR_OPEN;
		case kRelayClosed:
			return RDX_DOOR_CLOSED;
		case kRelayUnknown:
			break;
	}
	return RDX_DOOR_UNKNOWN;
}


void
DoorMonitor::_Emit(const char* what, const std::string& input,
	const std::string& reason, const std::string& result, double lateMs)
{
	DoorEvent event;
	event.what = what;
	event.input = input;
	event.reason = reason;
	event.result = result;
	event.lateMs = lateMs;
	event.state = fState;
	event.alarms = fAlarms;
	event.relay = RelayName(fRelay);
	fOutput.DoorEventHappened(event);
}


DoorEvent
DoorMonitor::Snapshot() const
{
	DoorEvent event;
	event.what = RDX_DOOR_SNAPSHOT;
	event.state = fState;
	event.alarms = fAlarms;
	event.relay = RelayName(fRelay);
	return event;
}


void
DoorMonitor::Contact(const std::string& input, DoorState state,
	const std::string& reason, bigtime_t now)
{
	fContact = input;
	if (state == DoorState::kUnknown) {
		if ((fAlarms & kSensorLost) != 0)
			return;
		// Whatever the door does now is not seen: nothing is timed on it,
		// and what was raised stays until the door is seen closed.
		fState = DoorState::kUnknown;
		fAlarms |= kSensorLost;
		fForcedAt = 0;
		fHeldSince = 0;
		_Emit(RDX_DOOR_SENSOR_LOST, input, reason);
		return;
	}
	if (state == fState)
		return;

	DoorState was = fState;
	fState = state;
	fAlarms &= ~(uint32)kSensorLost;
	if (state == DoorState::kClosed) {
		bool relock = was == DoorState::kOpen && fPassedThrough
			&& fRelay == kRelayOpen && fSettings.relock;
		fAlarms &= ~(uint32)(kHeldOpen | kForced);
		// A check still pending stays: a door forced and shut again within
		// the grace was forced all the same, unless someone was let in.
		fHeldSince = 0;
		fPassedThrough = false;
		_Emit(RDX_DOOR_CLOSED_EVENT, input);
		if (relock)
			fOutput.RelockWanted(input);
		return;
	}

	// Opened.
	fPassedThrough = fRelay == kRelayOpen;
	if (fRelay != kRelayOpen)
		fHeldSince = now;
	_Emit(RDX_DOOR_OPENED, input);
	// Only an opening seen from closed can be forced: from unknown, nobody
	// knows when it opened; with the relay unknown (rdx does not run),
	// nobody knows whether it was locked.
	if (was != DoorState::kClosed || fRelay != kRelayClosed)
		return;
	if (fCovered && now - fLastCover <= fSettings.forcedGrace)
		return;
	// The first opening decides when: a door that keeps opening must not
	// put its own check off for ever.
	if (fForcedAt == 0)
		fForcedAt = now + fSettings.forcedGrace;
}


void
DoorMonitor::ExitPressed(const std::string& input, const std::string& result,
	bigtime_t now, double lateMs)
{
	// Pressed is pressed, whatever rdx made of it: a door with free egress
	// opens by its handle when the lock does not release.
	_Cover(now);
	_Emit(RDX_DOOR_EXIT, input, "", result, lateMs);
}


void
DoorMonitor::_Cover(bigtime_t now)
{
	fCovered = true;
	fLastCover = now;
	fForcedAt = 0;
}


void
DoorMonitor::RdxTag(bigtime_t now)
{
	// With board use off the tag opens nothing: the door stays locked.
	if (fUse)
		_Cover(now);
}


void
DoorMonitor::RdxRelay(int32 relay, bool opened, bigtime_t now)
{
	if (relay != fTagRelay || fTagRelay == 0)
		return;
	// A closing covers too: a person who pushes the door a moment after
	// the relay fell back was let in all the same.
	_Cover(now);
	_RelayIs(opened ? kRelayOpen : kRelayClosed, now);
}


void
DoorMonitor::RdxSettings(bool use, int32 tagRelay, const std::string& image,
	bigtime_t now)
{
	fUse = use;
	if (tagRelay < 1 || tagRelay > 4)
		return;
	fTagRelay = tagRelay;
	RelayState relay = kRelayUnknown;
	if ((size_t)tagRelay < image.size() && image[0] == '-') {
		if (image[tagRelay] == 'o')
			relay = kRelayOpen;
		else if (image[tagRelay] == 'x')
			relay = kRelayClosed;
	}
	_RelayIs(relay, now);
}


void
DoorMonitor::RdxGone(bigtime_t now)
{
	fUse = false;
	// A check that was pending cannot be decided any more: rdx may have
	// gone in the middle of letting someone in.
	fForcedAt = 0;
	_RelayIs(kRelayUnknown, now);
}


void
DoorMonitor::_RelayIs(RelayState relay, bigtime_t now)
{
	RelayState was = fRelay;
	fRelay = relay;
	if (relay == was)
		return;
	if (relay == kRelayOpen) {
		fForcedAt = 0;
		fHeldSince = 0;
		if (fState == DoorState::kOpen)
			fPassedThrough = true;
		return;
	}
	// Closed, or no longer known to be open: from now on an open door
	// stands open on its own.
	if (fState == DoorState::kOpen && (was == kRelayOpen || fHeldSince == 0))
		fHeldSince = now;
}


bigtime_t
DoorMonitor::NextDeadline() const
{
	bigtime_t next = B_INFINITE_TIMEOUT;
	if (fForcedAt != 0)
		next = fForcedAt;
	if (fHeldSince != 0 && fState == DoorState::kOpen
		&& (fAlarms & kHeldOpen) == 0)
		next = std::min(next, fHeldSince + fSettings.heldOpen);
	return next;
}


void
DoorMonitor::Pulse(bigtime_t now)
{
	if (fForcedAt != 0 && now >= fForcedAt) {
		fForcedAt = 0;
		// Shut again meanwhile: said all the same, but it does not stand,
		// as it clears when the door closes.
		if (fState == DoorState::kOpen)
			fAlarms |= kForced;
		_Emit(RDX_DOOR_FORCED, fContact);
	}
	if (fHeldSince != 0 && fState == DoorState::kOpen
		&& (fAlarms & kHeldOpen) == 0
		&& now >= fHeldSince + fSettings.heldOpen) {
		fAlarms |= kHeldOpen;
		_Emit(RDX_DOOR_HELD_OPEN, fContact);
	}
}
