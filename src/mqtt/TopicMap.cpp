#include "TopicMap.h"

const char* const TopicMap::kHomeAssistantStatus = "homeassistant/status";


TopicMap::TopicMap(const std::string& prefix)
	:
	fPrefix(prefix)
{
}


std::string
TopicMap::Availability() const
{
	return fPrefix + "/availability";
}


std::string
TopicMap::Relay(int32 n) const
{
	return fPrefix + "/relay/" + std::to_string(n);
}


std::string
TopicMap::BoardUse() const
{
	return fPrefix + "/board_use";
}


std::string
TopicMap::BoardUseSet() const
{
	return fPrefix + "/board_use/set";
}


std::string
TopicMap::Tag() const
{
	return fPrefix + "/tag";
}


std::string
TopicMap::Open() const
{
	return fPrefix + "/open";
}


std::string
TopicMap::Lockdown() const
{
	return fPrefix + "/lockdown";
}


std::string
TopicMap::LockdownSet() const
{
	return fPrefix + "/lockdown/set";
}


std::string
TopicMap::KeepOpen() const
{
	return fPrefix + "/keep_open";
}


std::string
TopicMap::KeepOpenSet() const
{
	return fPrefix + "/keep_open/set";
}


std::string
TopicMap::DoorAvailability() const
{
	return fPrefix + "/door/availability";
}


std::string
TopicMap::DoorState() const
{
	return fPrefix + "/door/state";
}


std::string
TopicMap::DoorAlarm() const
{
	return fPrefix + "/door/alarm";
}


std::string
TopicMap::DoorEvent() const
{
	return fPrefix + "/door/event";
}


std::string
TopicMap::DoorExit() const
{
	return fPrefix + "/door/exit";
}


std::vector<std::string>
TopicMap::Subscriptions() const
{
	return {Open(), BoardUseSet(), LockdownSet(), KeepOpenSet(),
		kHomeAssistantStatus};
}
