#include <Notification.h>

#include "NotificationBus.h"

#include <cerrno>


BNotification::BNotification(notification_type type)
	:
	fType(type)
{
}


BNotification::~BNotification()
{
}


void
BNotification::SetGroup(const char* group)
{
	fGroup = group != nullptr ? group : "";
}


void
BNotification::SetTitle(const char* title)
{
	fTitle = title != nullptr ? title : "";
}


void
BNotification::SetContent(const char* content)
{
	fContent = content != nullptr ? content : "";
}


void
BNotification::SetMessageID(const char* id)
{
	fMessageID = id != nullptr ? id : "";
}


status_t
BNotification::AddAction(const char* id, const char* label)
{
	if (id == nullptr || id[0] == '\0' || label == nullptr)
		return B_BAD_VALUE;
	fActions.emplace_back(id, label);
	return B_OK;
}


const char*
BNotification::ActionID(int32 index) const
{
	if (index < 0 || index >= CountActions())
		return nullptr;
	return fActions[(size_t)index].first.c_str();
}


const char*
BNotification::ActionLabel(int32 index) const
{
	if (index < 0 || index >= CountActions())
		return nullptr;
	return fActions[(size_t)index].second.c_str();
}


void
BNotification::SetActionTarget(const BMessenger& target)
{
	fTarget = target;
}


status_t
BNotification::Send(bigtime_t timeout)
{
	if (fTitle.empty())
		return B_BAD_VALUE;
	BPrivate::NotificationBus::Request request;
	request.application = !fGroup.empty() ? fGroup
		: std::string(program_invocation_short_name);
	request.title = fTitle;
	request.content = fContent;
	request.messageID = fMessageID;
	switch (fType) {
		case B_IMPORTANT_NOTIFICATION:
		case B_ERROR_NOTIFICATION:
			// Critical: it stays until the person has seen it.
			request.urgency = 2;
			request.icon = "dialog-warning";
			break;
		case B_INFORMATION_NOTIFICATION:
		case B_PROGRESS_NOTIFICATION:
			request.urgency = 1;
			request.icon = "dialog-information";
			break;
	}
	request.timeoutMs = timeout < 0 ? -1 : (int32)(timeout / 1000);
	request.actions = fActions;
	request.target = fTarget;
	BPrivate::NotificationBus::Default().Send(std::move(request));
	return B_OK;
}
