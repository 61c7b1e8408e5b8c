#include "RdxState.h"

#include <AppDefs.h>
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
