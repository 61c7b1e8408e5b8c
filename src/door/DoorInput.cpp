#include "DoorInput.h"

#include <DoorDefs.h>
#include <Locale.h>

#include <libevdev/libevdev.h>
#include <climits>
#include <cstdlib>
#include <nlohmann/json.hpp>


const char*
door_state_name(DoorState state)
{
	switch (state) {
		case DoorState::kOpen:
			return RDX_DOOR_OPEN;
		case DoorState::kClosed:
			return RDX_DOOR_CLOSED;
		case DoorState::kUnknown:
			break;
	}
	return RDX_DOOR_UNKNOWN;
}


bool
parse_door_state(const std::string& text, DoorState* state)
{
	if (text == RDX_DOOR_OPEN)
		*state = DoorState::kOpen;
	else if (text == RDX_DOOR_CLOSED)
		*state = DoorState::kClosed;
	else if (text == RDX_DOOR_UNKNOWN)
		*state = DoorState::kUnknown;
	else
		return false;
	return true;
}


std::string
DoorInput::Name() const
{
	std::string name = role == kExit ? "exit:" : "contact:";
	switch (kind) {
		case kGpio:
			return name + chip + "/" + std::to_string(line);
		case kMqtt:
			return name + "mqtt:" + topic;
		case kEvdev:
			break;
	}
	const char* codeName = libevdev_event_code_get_name((unsigned)type,
		(unsigned)code);
	std::string codeText = codeName != nullptr ? std::string(codeName)
		: (type == EV_SW ? "sw:" : "key:") + std::to_string(code);
	return name + path + ":" + codeText;
}


bool
DoorInput::SameSource(const DoorInput& other) const
{
	if (kind != other.kind)
		return false;
	switch (kind) {
		case kGpio:
			return chipPath == other.chipPath && line == other.line;
		case kMqtt:
			return topic == other.topic;
		case kEvdev:
			break;
	}
	return path == other.path && type == other.type && code == other.code;
}


std::string
DoorInput::DeviceOf(const std::string& path)
{
	char resolved[PATH_MAX];
	if (realpath(path.c_str(), resolved) == nullptr)
		return path;
	return resolved;
}


DoorState
DoorInput::StateOfPayload(const std::string& payload,
	std::string* reason) const
{
	std::string value;
	if (field.empty()) {
		size_t start = payload.find_first_not_of(" \t\r\n");
		size_t end = payload.find_last_not_of(" \t\r\n");
		if (start != std::string::npos)
			value = payload.substr(start, end - start + 1);
	} else {
		// No exceptions: a report that is no JSON is a value, not an error.
		// The field given twice could be read as either value: neither is
		// taken.
		int given = 0;
		nlohmann::json report = nlohmann::json::parse(payload,
			[&](int depth, nlohmann::json::parse_event_t event,
				nlohmann::json& parsed) {
				if (event == nlohmann::json::parse_event_t::key && depth == 1
					&& parsed == field)
					given++;
				return true;
			}, false);
		if (report.is_discarded() || !report.is_object()) {
			*reason = B_TRANSLATE("unreadable report: not a JSON object");
			return DoorState::kUnknown;
		}
		if (given > 1) {
			*reason = translate_format("unreadable report: \"%s\" is given"
				" %d times", field.c_str(), given);
			return DoorState::kUnknown;
		}
		auto found = report.find(field);
		if (found == report.end() || found->is_null()) {
			*reason = translate_format("unreadable report: no \"%s\"",
				field.c_str());
			return DoorState::kUnknown;
		}
		if (found->is_string())
			value = found->get<std::string>();
		else if (found->is_boolean() || found->is_number())
			value = found->dump();
		else {
			*reason = translate_format("unreadable report: \"%s\" is neither"
				" a text, a number nor true or false", field.c_str());
			return DoorState::kUnknown;
		}
	}
	if (value == openText)
		return DoorState::kOpen;
	if (value == closedText)
		return DoorState::kClosed;
	// Neither word: the sensor says something we cannot read, which is
	// never taken for closed.
	std::string shown = value.substr(0, 64);
	for (char& c : shown) {
		if ((unsigned char)c < 0x20 || c == 0x7f)
			c = '?';
	}
	*reason = translate_format("unreadable report: \"%s\" is neither \"%s\""
		" nor \"%s\"", shown.c_str(), openText.c_str(), closedText.c_str());
	return DoorState::kUnknown;
}
