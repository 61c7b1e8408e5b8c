#include <Looper.h>

#include <Message.h>

#include "MessageQueue.h"

#include <algorithm>

namespace {

using BPrivate::kQuitLooperMessage;

thread_local BLooper* sThreadLooper = nullptr;

// Every looper that exists, so that the application can end the others'
// threads before it returns from Run().
std::mutex sLooperListLock;
std::vector<BLooper*> sLooperList;

}	// namespace


BLooper::BLooper(const char* name, int32 priority, int32 portCapacity)
	:
	BHandler(name),
	fQueue(std::make_shared<BPrivate::MessageQueue>(
		portCapacity > 0 ? (size_t)portCapacity : 1)),
	fPriority(priority)
{
	fHandlers.push_back(this);
	BHandler::fLooper = this;
	fQueue->SetOwner(this);
	std::lock_guard<std::mutex> listGuard(sLooperListLock);
	sLooperList.push_back(this);
}


BLooper::~BLooper()
{
	{
		std::lock_guard<std::mutex> listGuard(sLooperListLock);
		sLooperList.erase(
			std::remove(sLooperList.begin(), sLooperList.end(), this),
			sLooperList.end());
	}
	fQueue->MarkOwnerDead();
	fQueue->Close();
	std::lock_guard<std::recursive_mutex> guard(fLock);
	for (BHandler* handler : fHandlers)
		handler->fLooper = nullptr;
	fHandlers.clear();
	if (sThreadLooper == this)
		sThreadLooper = nullptr;
}


thread_id
BLooper::Run()
{
	if (fThread >= 0)
		return fThread;
	thread_id thread = spawn_thread(_ThreadEntry, Name(), fPriority, this);
	if (thread < 0)
		return thread;
	{
		std::lock_guard<std::mutex> listGuard(sLooperListLock);
		fThread = thread;
	}
	resume_thread(thread);
	return thread;
}


status_t
BLooper::_ThreadEntry(void* data)
{
	BLooper* looper = static_cast<BLooper*>(data);
	sThreadLooper = looper;
	looper->task_looper();
	looper->fQueue->MarkOwnerDead();
	looper->FinishLooper();
	sThreadLooper = nullptr;
	return B_OK;
}


void
BLooper::AdoptCallingThread()
{
	fThread = find_thread(nullptr);
	sThreadLooper = this;
}


void
BLooper::FinishLooper()
{
	delete this;
}


void
BLooper::Quit()
{
	if (fThread < 0) {
		fQueue->MarkOwnerDead();
		delete this;
		return;
	}
	if (find_thread(nullptr) == fThread) {
		fTerminating = true;
		return;
	}
	// The looper may take the message and delete itself, queue and all,
	// while the push still wakes it: keep the queue alive until then.
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue;
	queue->Push(std::make_unique<BMessage>(kQuitLooperMessage), nullptr,
		B_INFINITE_TIMEOUT);
}


bool
BLooper::QuitRequested()
{
	return true;
}


bool
BLooper::Lock()
{
	fLock.lock();
	fLockOwner = find_thread(nullptr);
	fLockCount++;
	return true;
}


void
BLooper::Unlock()
{
	if (--fLockCount == 0)
		fLockOwner = -1;
	fLock.unlock();
}


bool
BLooper::IsLocked() const
{
	return fLockOwner == find_thread(nullptr);
}


status_t
BLooper::PostMessage(uint32 what)
{
	BMessage message(what);
	return PostMessage(&message);
}


status_t
BLooper::PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	if (handler != nullptr && handler->Looper() != this)
		return B_MISMATCHED_VALUES;
	std::shared_ptr<BPrivate::MessageQueue> queue = fQueue;
	return queue->Push(std::make_unique<BMessage>(*message), handler,
		B_INFINITE_TIMEOUT);
}


void
BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		if (QuitRequested())
			Quit();
		return;
	}
	handler->MessageReceived(message);
}


void
BLooper::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}


void
BLooper::AddHandler(BHandler* handler)
{
	if (handler == nullptr || handler->fLooper == this)
		return;
	Lock();
	if (handler->fLooper != nullptr)
		handler->fLooper->RemoveHandler(handler);
	fHandlers.push_back(handler);
	handler->fLooper = this;
	Unlock();
}


bool
BLooper::RemoveHandler(BHandler* handler)
{
	if (handler == nullptr || handler == this)
		return false;
	Lock();
	auto found = std::find(fHandlers.begin(), fHandlers.end(), handler);
	bool removed = found != fHandlers.end();
	if (removed) {
		fHandlers.erase(found);
		handler->fLooper = nullptr;
	}
	Unlock();
	return removed;
}


int32
BLooper::CountHandlers() const
{
	return (int32)fHandlers.size();
}


BLooper*
BLooper::LooperForThread(thread_id thread)
{
	if (thread == find_thread(nullptr))
		return sThreadLooper;
	return nullptr;
}


void
BLooper::task_looper()
{
	BPrivate::MessageQueue::Entry entry;
	while (!fTerminating && fQueue->Pop(entry)) {
		Dispatch(entry.message.get(), entry.target);
		entry = BPrivate::MessageQueue::Entry();
	}
}


bool
BLooper::DispatchPending()
{
	std::deque<BPrivate::MessageQueue::Entry> pending = fQueue->TakeAll();
	for (BPrivate::MessageQueue::Entry& entry : pending) {
		if (fTerminating)
			break;
		Dispatch(entry.message.get(), entry.target);
	}
	return !fTerminating;
}


void
BLooper::Dispatch(BMessage* message, BHandler* target)
{
	Lock();
	if (message->what == kQuitLooperMessage) {
		fTerminating = true;
		Unlock();
		return;
	}
	// A handler that was removed (or deleted) after the message was posted
	// does not get it.
	BHandler* handler = target != nullptr ? target : this;
	if (std::find(fHandlers.begin(), fHandlers.end(), handler)
			!= fHandlers.end()) {
		fCurrentMessage = message;
		DispatchMessage(message, handler);
		fCurrentMessage = nullptr;
	}
	Unlock();
}


std::vector<BLooper::RunningLooper>
BLooper::_RunningLoopers(const BLooper* except)
{
	std::vector<RunningLooper> running;
	std::lock_guard<std::mutex> listGuard(sLooperListLock);
	for (BLooper* looper : sLooperList) {
		if (looper != except && looper->fThread >= 0)
			running.push_back(RunningLooper{looper->fQueue, looper->fThread});
	}
	return running;
}
