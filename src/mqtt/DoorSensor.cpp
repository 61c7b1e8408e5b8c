#include "DoorSensor.h"

#include <DoorDefs.h>
#include <Locale.h>

#include <nlohmann/json.hpp>

namespace {

enum class Availability {
	kOnline,
	kOffline,
	kUnreadable,
};


// zigbee2mqtt says "online" or "offline", plain in its older versions and
// as {"state": "online"} since 1.35; other bridges say the same words.
Availability
read_availability(const std::string& payload)
{
	std::string word = payload;
	nlohmann::json body = nlohmann::json::parse(payload, nullptr, false);
	if (!body.is_discarded() && body.is_object()) {
		auto state = body.find("state");
		if (state == body.end() || !state->is_string())
			return Availability::kUnreadable;
		word = state->get<std::string>();
	} else {
		size_t start = word.find_first_not_of(" \t\r\n");
		size_t end = word.find_last_not_of(" \t\r\n");
		word = start == std::string::npos ? std::string()
			: word.substr(start, end - start + 1);
	}
	if (word == "online")
		return Availability::kOnline;
	if (word == "offline")
		return Availability::kOffline;
	return Availability::kUnreadable;
}

}	// namespace


DoorSensor::DoorSensor(const DoorInput& input)
	:
	fInput(input)
{
}


std::vector<std::string>
DoorSensor::Topics() const
{
	std::vector<std::string> topics;
	if (!fInput.availability.empty())
		topics.push_back(fInput.availability);
	topics.push_back(fInput.topic);
	return topics;
}


bool
DoorSensor::Owns(const std::string& topic) const
{
	return topic == fInput.topic
		|| (!fInput.availability.empty() && topic == fInput.availability);
}


bool
DoorSensor::Read(const std::string& topic, const std::string& payload,
	bool retained, bigtime_t now, BMessage* report, std::string* line)
{
	line->clear();
	std::string name = fInput.Name();
	if (payload.empty()) {
		// By the broker's convention an empty message only clears what it
		// kept on the topic; the sensor said nothing.
		*line = translate_format("%s: an empty message on %s: nothing to"
			" tell", name.c_str(), topic.c_str());
		return false;
	}

	if (!fInput.availability.empty() && topic == fInput.availability) {
		switch (read_availability(payload)) {
			case Availability::kOnline:
				// Reachable again, but what the door does is only known
				// from its next report.
				if (fOffline) {
					*line = translate_format("%s: online again; waiting for"
						" its report", name.c_str());
				}
				fOffline = false;
				return false;
			case Availability::kOffline:
				fOffline = true;
				*report = _Report(DoorState::kUnknown, "offline", now);
				return true;
			case Availability::kUnreadable:
				break;
		}
		// Not knowing whether the sensor is there is not knowing the door.
		fOffline = true;
		*report = _Report(DoorState::kUnknown,
			B_TRANSLATE("unreadable availability"), now);
		return true;
	}

	if (retained && fOffline) {
		*line = translate_format("%s: a stored report while the sensor is"
			" offline: not taken", name.c_str());
		return false;
	}
	std::string reason;
	DoorState state = fInput.StateOfPayload(payload, &reason);
	// A live report is the sensor speaking: it is there, whatever its
	// availability said last.
	if (!retained)
		fOffline = false;
	*report = _Report(state, reason, now);
	return true;
}


void
DoorSensor::TakeOver(const DoorSensor& earlier)
{
	fOffline = earlier.fOffline;
	fLast = earlier.fLast;
	fLastTime = earlier.fLastTime;
	fHasLast = earlier.fHasLast;
}


BMessage
DoorSensor::Unknown(const std::string& reason, bigtime_t now)
{
	return _Report(DoorState::kUnknown, reason, now);
}


BMessage
DoorSensor::_Report(DoorState state, const std::string& reason,
	bigtime_t now)
{
	BMessage report(RDX_MSG_DOOR_SENSOR);
	report.AddString(RDX_FIELD_INPUT, fInput.Name().c_str());
	report.AddString(RDX_FIELD_STATE, door_state_name(state));
	if (state == DoorState::kUnknown && !reason.empty())
		report.AddString(RDX_FIELD_REASON, reason.c_str());
	fLast = report;
	fLastTime = now;
	fHasLast = true;
	return report;
}


bool
DoorSensor::LastReport(bigtime_t now, BMessage* report) const
{
	if (!fHasLast)
		return false;
	const char* state = "";
	fLast.FindString(RDX_FIELD_STATE, &state);
	// Unknown may always be said again; open or closed only while the
	// sensor's word still counts.
	if (std::string(state) != RDX_DOOR_UNKNOWN
		&& now - fLastTime >= fInput.interval)
		return false;
	*report = fLast;
	return true;
}
