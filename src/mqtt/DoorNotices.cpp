#include "DoorNotices.h"

#include "RdxState.h"

#include <AppDefs.h>
#include <DoorDefs.h>
#include <Message.h>

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

// The alarms rdx-door names, and their attribute names for Home
// Assistant (whose templates read '_' more easily than '-').
const std::pair<const char*, const char*> kAlarms[] = {
	{RDX_DOOR_HELD_OPEN, "held_open"},
	{RDX_DOOR_FORCED, "forced"},
	{RDX_DOOR_SENSOR_LOST, "sensor_lost"},
};


std::string
field(const BMessage& message, const char* name)
{
	const char* text = nullptr;
	if (message.FindString(name, &text) != B_OK || text == nullptr)
		return std::string();
	return text;
}


std::string
dump(const nlohmann::json& body)
{
	// Texts come from door.conf and the devices: invalid UTF-8 is replaced
	// rather than stopping the message.
	return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}


nlohmann::json
alarm_list(const std::string& alarms)
{
	nlohmann::json list = nlohmann::json::array();
	for (const auto& [name, attribute] : kAlarms) {
		size_t start = 0;
		while (start <= alarms.size()) {
			size_t end = alarms.find(',', start);
			if (end == std::string::npos)
				end = alarms.size();
			if (alarms.compare(start, end - start, name) == 0) {
				list.push_back(name);
				break;
			}
			start = end + 1;
		}
	}
	return list;
}

}	// namespace


DoorNotices::DoorNotices(const TopicMap& topics)
	:
	fTopics(topics)
{
}


std::string
DoorNotices::AlarmPayload(const std::string& alarms)
{
	nlohmann::json list = alarm_list(alarms);
	nlohmann::json body = {{"alarms", list}};
	for (const auto& [name, attribute] : kAlarms) {
		body[attribute] = std::find(list.begin(), list.end(), name)
			!= list.end();
	}
	return dump(body);
}


std::vector<Publication>
DoorNotices::Notice(const BMessage& notice, double now)
{
	std::vector<Publication> publications;
	int32 what = 0;
	if (notice.what != B_OBSERVER_NOTICE_CHANGE
		|| notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &what) != B_OK
		|| (uint32)what != RDX_NOTICE_DOOR)
		return publications;
	std::string event = field(notice, RDX_FIELD_EVENT);
	if (event.empty())
		return publications;

	std::string state = field(notice, RDX_FIELD_STATE);
	if (state != RDX_DOOR_OPEN && state != RDX_DOOR_CLOSED)
		state = RDX_DOOR_UNKNOWN;
	std::string alarms = field(notice, RDX_FIELD_ALARMS);
	// A new watcher's "state" is how things stand: told whether or not it
	// changed, since a broker that lost what it kept needs it again.
	bool snapshot = event == RDX_DOOR_SNAPSHOT;
	if (snapshot || state != fState) {
		fState = state;
		publications.push_back(_State());
	}
	if (snapshot || !fAlarmsKnown || alarms != fAlarms) {
		fAlarms = alarms;
		fAlarmsKnown = true;
		publications.push_back(_Alarm());
	}
	if (snapshot)
		return publications;

	std::string time = RdxState::UtcTime(now);
	std::string input = field(notice, RDX_FIELD_INPUT);
	nlohmann::json body = {
		{"event", event},
		{"door", field(notice, RDX_FIELD_DOOR)},
		{"input", input.empty() ? nlohmann::json() : nlohmann::json(input)},
		{"state", state},
		{"alarms", alarm_list(alarms)},
		{"time", time},
	};
	std::string relay = field(notice, RDX_FIELD_RELAY_STATE);
	if (!relay.empty())
		body["relay"] = relay;
	std::string reason = field(notice, RDX_FIELD_REASON);
	if (!reason.empty())
		body["reason"] = reason;
	std::string result = field(notice, RDX_FIELD_RESULT);
	if (!result.empty())
		body["result"] = result;
	publications.push_back(Publication{fTopics.DoorEvent(), dump(body),
		false});

	if (event == RDX_DOOR_EXIT) {
		// Home Assistant's event entity takes an "event_type" among those
		// its discovery names; the rest are its attributes.
		nlohmann::json press = {
			{"event_type", "press"},
			{"input", input},
			{"result", result},
			{"time", time},
		};
		publications.push_back(Publication{fTopics.DoorExit(), dump(press),
			false});
	}
	return publications;
}


std::vector<Publication>
DoorNotices::States() const
{
	// Unknown until rdx-door says otherwise: what the broker kept from an
	// earlier run must not stand for the door now.
	std::vector<Publication> publications = {_State()};
	if (fAlarmsKnown)
		publications.push_back(_Alarm());
	return publications;
}


std::vector<Publication>
DoorNotices::Gone()
{
	if (fState == RDX_DOOR_UNKNOWN)
		return {};
	fState = RDX_DOOR_UNKNOWN;
	return {_State()};
}


Publication
DoorNotices::_State() const
{
	return Publication{fTopics.DoorState(), fState, true};
}


Publication
DoorNotices::_Alarm() const
{
	return Publication{fTopics.DoorAlarm(), AlarmPayload(fAlarms), true};
}
