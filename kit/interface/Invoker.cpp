#include <Invoker.h>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>


BInvoker::BInvoker()
{
}


BInvoker::BInvoker(BMessage* message, const BHandler* handler,
	const BLooper* looper)
	:
	fMessage(message)
{
	SetTarget(handler, looper);
}


BInvoker::~BInvoker()
{
}


status_t
BInvoker::SetMessage(BMessage* message)
{
	if (message != fMessage.get())
		fMessage.reset(message);
	return B_OK;
}


uint32
BInvoker::Command() const
{
	return fMessage != nullptr ? fMessage->what : 0;
}


status_t
BInvoker::SetTarget(const BHandler* handler, const BLooper* looper)
{
	fHandler = const_cast<BHandler*>(handler);
	fLooper = const_cast<BLooper*>(looper);
	return B_OK;
}


BHandler*
BInvoker::Target(BLooper** looper) const
{
	BHandler* handler = fHandler;
	BLooper* targetLooper = fLooper;
	if (handler == nullptr && targetLooper == nullptr)
		handler = DefaultTarget();
	if (handler != nullptr && targetLooper == nullptr)
		targetLooper = handler->Looper();
	if (looper != nullptr)
		*looper = targetLooper;
	if (handler == nullptr)
		return targetLooper;
	return handler;
}


status_t
BInvoker::Invoke(BMessage* message)
{
	if (message == nullptr)
		message = fMessage.get();
	if (message == nullptr)
		return B_BAD_VALUE;

	BMessenger messenger;
	status_t status = B_OK;
	if (fHandler != nullptr)
		messenger = BMessenger(fHandler, fLooper, &status);
	else if (fLooper != nullptr)
		messenger = BMessenger(nullptr, fLooper, &status);
	else if (BHandler* fallback = DefaultTarget())
		messenger = BMessenger(fallback, nullptr, &status);
	else
		status = B_BAD_VALUE;
	if (status != B_OK)
		return status;
	// A copy goes out; the invoker keeps its own message.
	return messenger.SendMessage(message);
}
