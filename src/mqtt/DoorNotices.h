#ifndef DOOR_NOTICES_H
#define DOOR_NOTICES_H

#include "Publication.h"
#include "TopicMap.h"

#include <string>
#include <vector>

class BMessage;

// What the broker should hear from rdx-door's notices ('rxDr'): the door's
// state and its standing alarms (retained, when they change, and again
// with every "state" notice, which rdx-door sends to a new watcher), each
// event as it happens, and each press of the exit button as an event of
// Home Assistant's kind. It remembers the two states so that they can be
// told again after the broker went away.
//
// The state is "open", "closed" or "unknown", and only rdx-door says it:
// a notice without a state it names is taken as unknown, never as closed.
class DoorNotices {
public:
							DoorNotices(const TopicMap& topics);

	// The publications one notice calls for; now is seconds since the
	// epoch, for the event's time.
			std::vector<Publication> Notice(const BMessage& notice,
								double now);
	// Every state known, to be told again.
			std::vector<Publication> States() const;
	// rdx-door went away: nobody watches the door now, so its state is
	// unknown (its alarms stay as last told, to be told again when it is
	// back).
			std::vector<Publication> Gone();

	// The retained alarm message: {"alarms": ["forced"], "held_open":
	// false, "forced": true, "sensor_lost": false}, from rdx-door's list
	// "forced,held-open". Names it does not know are left out.
	static	std::string		AlarmPayload(const std::string& alarms);

private:
			Publication		_State() const;
			Publication		_Alarm() const;

			const TopicMap&	fTopics;
			std::string		fState = "unknown";
			std::string		fAlarms;
			bool			fAlarmsKnown = false;
};

#endif
