#include <Handler.h>

#include <Looper.h>
#include <Message.h>

#include <algorithm>

BHandler::BHandler(const char* name)
	:
	fName(name != nullptr ? name : "")
{
}


BHandler::~BHandler()
{
	// Messages still queued for this handler must not reach it any more.
	if (fLooper != nullptr && fLooper != this)
		fLooper->RemoveHandler(this);
}


void
BHandler::MessageReceived(BMessage* message)
{
}


void
BHandler::SetName(const char* name)
{
	fName = name != nullptr ? name : "";
}


status_t
BHandler::StartWatching(BMessenger target, uint32 what)
{
	if (!target.IsValid())
		return B_BAD_HANDLER;
	std::lock_guard<std::mutex> guard(fWatchLock);
	for (const Watcher& watcher : fWatchers) {
		if (watcher.target == target && watcher.what == what)
			return B_OK;
	}
	fWatchers.push_back(Watcher{target, what});
	return B_OK;
}


status_t
BHandler::StartWatchingAll(BMessenger target)
{
	return StartWatching(target, B_OBSERVER_OBSERVE_ALL);
}


status_t
BHandler::StopWatching(BMessenger target, uint32 what)
{
	std::lock_guard<std::mutex> guard(fWatchLock);
	auto end = std::remove_if(fWatchers.begin(), fWatchers.end(),
		[&](const Watcher& watcher) {
			return watcher.target == target && watcher.what == what;
		});
	if (end == fWatchers.end())
		return B_BAD_VALUE;
	fWatchers.erase(end, fWatchers.end());
	return B_OK;
}


status_t
BHandler::StopWatchingAll(BMessenger target)
{
	std::lock_guard<std::mutex> guard(fWatchLock);
	auto end = std::remove_if(fWatchers.begin(), fWatchers.end(),
		[&](const Watcher& watcher) { return watcher.target == target; });
	if (end == fWatchers.end())
		return B_BAD_VALUE;
	fWatchers.erase(end, fWatchers.end());
	return B_OK;
}


BMessage
BHandler::MakeNotice(uint32 what, const BMessage* notice)
{
	BMessage message;
	if (notice != nullptr)
		message = *notice;
	uint32 original = message.what;
	message.what = B_OBSERVER_NOTICE_CHANGE;
	message.AddInt32(B_OBSERVE_WHAT_CHANGE, (int32)what);
	message.AddInt32(B_OBSERVE_ORIGINAL_WHAT, (int32)original);
	return message;
}


void
BHandler::SendNotices(uint32 what, const BMessage* notice)
{
	std::lock_guard<std::mutex> guard(fWatchLock);
	if (fWatchers.empty())
		return;
	BMessage message = MakeNotice(what, notice);
	// Never waits: a watcher that is slow to take its notices must not slow
	// down the handler that sends them.
	fWatchers.erase(std::remove_if(fWatchers.begin(), fWatchers.end(),
		[&](Watcher& watcher) {
			if (watcher.what != what && watcher.what != B_OBSERVER_OBSERVE_ALL)
				return false;
			return watcher.target.SendMessage(&message, nullptr, 0)
				== B_BAD_PORT_ID;
		}), fWatchers.end());
}


bool
BHandler::IsWatched() const
{
	std::lock_guard<std::mutex> guard(fWatchLock);
	return !fWatchers.empty();
}
