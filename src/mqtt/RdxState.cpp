#include "RdxState.h"

#include <AppDefs.h>
#include <DeskDefs.h>
#include <Message.h>
#include <RDXDefs.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

RdxState::RdxState(const TopicMap& topics)
	:
	fTopics(topics)
{
}


std::vector<Publication>
RdxState::Notice(const BMessage& notice, double now)
{
	std::vector<Publication> publications;
	int32 what = 0;
	if (notice.what != B_OBSERVER_NOTICE_CHANGE
		|| notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &what) != B_OK)
		return publications;

	const char* text = nullptr;
	switch ((uint32)what) {
		case RDX_MSG_TAG:
		{
			if (notice.FindString(RDX_FIELD_TAG, &text) != B_OK)
				break;
			const char* reader = "unknown";
			notice.FindString(RDX_FIELD_READER, &reader);
			nlohmann::json event = {
				{"tag", text},
				{"reader", reader},
				{"time", UtcTime(now)},
			};
			const char* result = nullptr;
			if (notice.FindString(RDX_FIELD_READ_RESULT, &result) == B_OK)
				event["result"] = result;
			// Tag texts come from anywhere: invalid UTF-8 is replaced
			// rather than stopping the event.
			publications.push_back(Publication{fTopics.Tag(),
				event.dump(-1, ' ', false,
					nlohmann::json::error_handler_t::replace),
				false});
			break;
		}
		case RDX_MSG_STATUS:
			if (notice.FindString(RDX_FIELD_IMAGE, &text) == B_OK)
				_Relays(text, &publications);
			break;
		case RDX_NOTICE_DOOR_MODE:
			_DoorMode(notice, &publications);
			break;
		case RDX_NOTICE_SETTINGS:
		{
			bool use;
			if (notice.FindBool(RDX_FIELD_USE, &use) == B_OK)
				_Use(use, &publications);
			if (notice.FindString(RDX_FIELD_IMAGE, &text) == B_OK)
				_Relays(text, &publications);
			break;
		}
	}
	return publications;
}


std::vector<Publication>
RdxState::States() const
{
	std::vector<Publication> publications;
	for (int32 relay = 1; relay <= 4; relay++) {
		if (fRelays[relay - 1] != 0)
			publications.push_back(_RelayState(relay));
	}
	if (fBoardUse >= 0)
		publications.push_back(_UseState());
	if (fLockdown >= 0) {
		publications.push_back(Publication{fTopics.Lockdown(),
			fLockdown == 1 ? "on" : "off", true});
	}
	if (!fKeepOpen.empty())
		publications.push_back(Publication{fTopics.KeepOpen(), fKeepOpen,
			true});
	return publications;
}


char
RdxState::RelayMark(int32 relay) const
{
	if (relay < 1 || relay > 4)
		return 0;
	return fRelays[relay - 1];
}


std::string
RdxState::UtcTime(double seconds)
{
	time_t whole = (time_t)std::floor(seconds);
	int millis = (int)((seconds - (double)whole) * 1000);
	struct tm parts;
	gmtime_r(&whole, &parts);
	char text[64];
	snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
		parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
		parts.tm_min, parts.tm_sec, millis);
	return text;
}


void
RdxState::_Relays(const char* image, std::vector<Publication>* publications)
{
	// The relay status string: marks of relays 1 to 4 at 1 to 4, 'o' open,
	// 'x' closed; anything else is not known and tells nothing.
	size_t length = strlen(image);
	for (int32 relay = 1; relay <= 4 && (size_t)relay < length; relay++) {
		char mark = image[relay];
		if ((mark != 'o' && mark != 'x') || fRelays[relay - 1] == mark)
			continue;
		fRelays[relay - 1] = mark;
		publications->push_back(_RelayState(relay));
	}
}


void
RdxState::_Use(bool use, std::vector<Publication>* publications)
{
	if (fBoardUse == (use ? 1 : 0))
		return;
	fBoardUse = use ? 1 : 0;
	publications->push_back(_UseState());
}


Publication
RdxState::_RelayState(int32 relay) const
{
	return Publication{fTopics.Relay(relay),
		fRelays[relay - 1] == 'o' ? "open" : "closed", true};
}


Publication
RdxState::_UseState() const
{
	return Publication{fTopics.BoardUse(), fBoardUse == 1 ? "on" : "off",
		true};
}


void
RdxState::_DoorMode(const BMessage& notice,
	std::vector<Publication>* publications)
{
	bool lockdown;
	if (notice.FindBool(RDX_FIELD_LOCKDOWN, &lockdown) == B_OK
		&& fLockdown != (lockdown ? 1 : 0)) {
		fLockdown = lockdown ? 1 : 0;
		publications->push_back(Publication{fTopics.Lockdown(),
			lockdown ? "on" : "off", true});
	}

	int32 relay = 0;
	notice.FindInt32(RDX_FIELD_KEPT_RELAY, &relay);
	nlohmann::json state = {{"state", relay != 0 ? "on" : "off"}};
	if (relay != 0) {
		const char* until = "";
		int32 left = 0;
		notice.FindString(RDX_FIELD_KEPT_UNTIL, &until);
		notice.FindInt32(RDX_FIELD_KEPT_LEFT, &left);
		state["relay"] = relay;
		state["until"] = until;
		// What Home Assistant's number shows: the minutes it was kept open
		// for, as it began (or was renewed).
		state["minutes"] = (left + 59) / 60;
	}
	std::string payload = state.dump();
	if (payload == fKeepOpen)
		return;
	fKeepOpen = payload;
	publications->push_back(Publication{fTopics.KeepOpen(), payload, true});
}
