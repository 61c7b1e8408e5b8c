#ifndef TOPIC_MAP_H
#define TOPIC_MAP_H

#include <SupportDefs.h>

#include <string>
#include <vector>

// The topics of one door, all below its prefix, so that scripts and other
// tools can rely on them:
//   <prefix>/availability     online | offline, retained (offline is the
//                             last will)
//   <prefix>/relay/<n>        open | closed, retained, n = 1 to 4
//   <prefix>/board_use        on | off, retained
//   <prefix>/board_use/set    on | off: switches board use
//   <prefix>/tag              each tag read, JSON, not retained
//   <prefix>/open             PRESS: opens the door; with a "duration"
//                             ({"command": "PRESS", "duration": "30m"})
//                             it keeps it open that long
//   <prefix>/lockdown         on | off, retained
//   <prefix>/lockdown/set     on | off: lockdown on, or lifted
//   <prefix>/keep_open        {"state": "on", "relay": 2, "until": "…",
//                             "minutes": 30} or {"state": "off"}, retained
//   <prefix>/keep_open/set    minutes ("30"), or a time with its unit
//                             ("2h"); 0 ends a keep-open
//   <prefix>/door/availability online | offline, retained: whether
//                             rdx-door runs (the door watcher)
//   <prefix>/door/state       open | closed | unknown, retained
//   <prefix>/door/alarm       the standing alarms, JSON, retained
//   <prefix>/door/event       each door event, JSON, not retained
//   <prefix>/door/exit        each press of the exit button, JSON with
//                             "event_type", not retained
// and the one Home Assistant tells its state on.
class TopicMap {
public:
	static const char* const kHomeAssistantStatus;

							TopicMap(const std::string& prefix);

			const std::string& Prefix() const { return fPrefix; }
			std::string		Availability() const;
			// n from 1 to 4.
			std::string		Relay(int32 n) const;
			std::string		BoardUse() const;
			std::string		BoardUseSet() const;
			std::string		Tag() const;
			std::string		Open() const;
			std::string		Lockdown() const;
			std::string		LockdownSet() const;
			std::string		KeepOpen() const;
			std::string		KeepOpenSet() const;
			std::string		DoorAvailability() const;
			std::string		DoorState() const;
			std::string		DoorAlarm() const;
			std::string		DoorEvent() const;
			std::string		DoorExit() const;

			// What rdx-mqtt subscribes to.
			std::vector<std::string> Subscriptions() const;

private:
			std::string		fPrefix;
};

#endif
