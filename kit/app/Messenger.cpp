#include <Messenger.h>

#include <Application.h>
#include <Handler.h>
#include <Looper.h>
#include <Message.h>

#include "MessageQueue.h"
#include "PortAddress.h"
#include "PortClient.h"

#include <cstring>
#include <unistd.h>

namespace {

// Finding out whether an application runs takes one local connect; this
// only bounds a port whose application is too busy to take connections.
const bigtime_t kConnectTimeout = 2 * 1000000LL;

}	// namespace

BMessenger::BMessenger()
{
}


BMessenger::BMessenger(const BHandler* handler, const BLooper* looper,
	status_t* result)
{
	status_t status = B_OK;
	if (handler != nullptr) {
		BLooper* handlerLooper = handler->Looper();
		if (handlerLooper == nullptr)
			status = B_MISMATCHED_VALUES;
		else if (looper != nullptr && looper != handlerLooper)
			status = B_MISMATCHED_VALUES;
		else {
			fQueue = handlerLooper->fQueue;
			if (handler != handlerLooper)
				fHandler = const_cast<BHandler*>(handler);
		}
	} else if (looper != nullptr)
		fQueue = looper->fQueue;
	else
		status = B_BAD_VALUE;
	if (result != nullptr)
		*result = status;
}


BMessenger::BMessenger(const char* signature, team_id team, status_t* result)
{
	status_t status = B_OK;
	std::string path;
	if (signature == nullptr)
		status = B_BAD_VALUE;
	else if (be_app != nullptr && strcmp(be_app->Signature(), signature) == 0
		&& (team < 0 || team == (team_id)getpid())) {
		// The own application is reached through its queue: a round trip
		// through its port would make it wait for itself.
		fQueue = be_app->fQueue;
	} else
		status = BPrivate::PortAddress::PathFor(signature, &path);

	if (status == B_OK && !path.empty()) {
		fRemote = std::make_shared<BPrivate::PortClient>(path, team);
		status = fRemote->Connect(kConnectTimeout);
	}
	if (result != nullptr)
		*result = status;
}


BMessenger::~BMessenger()
{
}


bool
BMessenger::IsValid() const
{
	if (fRemote != nullptr)
		return fRemote->IsReachable();
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue.lock();
	return queue != nullptr && !queue->IsClosed();
}


bool
BMessenger::operator==(const BMessenger& other) const
{
	bool sameQueue = !fQueue.owner_before(other.fQueue)
		&& !other.fQueue.owner_before(fQueue);
	return sameQueue && fHandler == other.fHandler && fRemote == other.fRemote;
}


status_t
BMessenger::SendMessage(uint32 what, BHandler* replyTo) const
{
	BMessage message(what);
	return SendMessage(&message, replyTo);
}


status_t
BMessenger::SendMessage(BMessage* message, BHandler* replyTo,
	bigtime_t timeout) const
{
	if (message == nullptr)
		return B_BAD_VALUE;
	if (fRemote != nullptr)
		return fRemote->Send(*message, timeout);
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue.lock();
	if (queue == nullptr)
		return B_BAD_PORT_ID;
	return queue->Push(std::make_unique<BMessage>(*message), fHandler, timeout);
}


bool
BMessenger::LockTarget() const
{
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue.lock();
	return queue != nullptr && queue->LockOwner() != nullptr;
}
