#include <Messenger.h>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>

#include "MessageQueue.h"

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


BMessenger::~BMessenger()
{
}


bool
BMessenger::IsValid() const
{
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue.lock();
	return queue != nullptr && !queue->IsClosed();
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
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue.lock();
	if (queue == nullptr)
		return B_BAD_PORT_ID;
	return queue->Push(std::make_unique<BMessage>(*message), fHandler, timeout);
}
