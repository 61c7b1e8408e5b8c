#include "MessageQueue.h"

#include <Looper.h>
#include <Message.h>

#include <chrono>

namespace BPrivate {

MessageQueue::MessageQueue(size_t capacity)
	:
	fCapacity(capacity > 0 ? capacity : 1)
{
}


status_t
MessageQueue::Push(std::unique_ptr<BMessage> message, BHandler* target,
	bigtime_t timeout)
{
	bool mayWait = BLooper::LooperForThread(find_thread(nullptr)) == nullptr;
	std::function<void()> waker;
	{
		std::unique_lock<std::mutex> guard(fLock);
		if (mayWait) {
			auto roomOrClosed = [&] {
				return fClosed || fEntries.size() < fCapacity;
			};
			if (timeout == B_INFINITE_TIMEOUT || timeout < 0)
				fNotFull.wait(guard, roomOrClosed);
			else if (!fNotFull.wait_for(guard,
					std::chrono::microseconds(timeout), roomOrClosed))
				return timeout == 0 ? B_WOULD_BLOCK : B_TIMED_OUT;
		}
		if (fClosed)
			return B_BAD_PORT_ID;
		fEntries.push_back(Entry{std::move(message), target});
		waker = fWaker;
	}
	fNotEmpty.notify_one();
	if (waker)
		waker();
	return B_OK;
}


bool
MessageQueue::Pop(Entry& entry)
{
	std::unique_lock<std::mutex> guard(fLock);
	fNotEmpty.wait(guard, [&] { return fClosed || !fEntries.empty(); });
	if (fEntries.empty())
		return false;
	entry = std::move(fEntries.front());
	fEntries.pop_front();
	guard.unlock();
	fNotFull.notify_one();
	return true;
}


std::deque<MessageQueue::Entry>
MessageQueue::TakeAll()
{
	std::deque<Entry> taken;
	{
		std::lock_guard<std::mutex> guard(fLock);
		taken.swap(fEntries);
	}
	fNotFull.notify_all();
	return taken;
}


void
MessageQueue::Close()
{
	std::function<void()> waker;
	{
		std::lock_guard<std::mutex> guard(fLock);
		fClosed = true;
		waker = fWaker;
	}
	fNotEmpty.notify_all();
	fNotFull.notify_all();
	if (waker)
		waker();
}


bool
MessageQueue::IsClosed() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fClosed;
}


void
MessageQueue::SetWaker(std::function<void()> waker)
{
	std::lock_guard<std::mutex> guard(fLock);
	fWaker = std::move(waker);
}


size_t
MessageQueue::Count() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fEntries.size();
}



void
MessageQueue::SetOwner(BLooper* owner)
{
	std::lock_guard<std::mutex> guard(fOwnerLock);
	fOwner = owner;
}


BLooper*
MessageQueue::LockOwner()
{
	// The owner lock is held while the looper's lock is taken, and the
	// looper's thread takes the owner lock (without holding its own lock)
	// to declare itself dead; so a looper found alive here cannot be deleted
	// until the caller unlocks it.
	std::lock_guard<std::mutex> guard(fOwnerLock);
	if (fOwner == nullptr)
		return nullptr;
	fOwner->Lock();
	return fOwner;
}


void
MessageQueue::MarkOwnerDead()
{
	// A looper's thread declares it dead before it ends it, and the
	// destructor does so again. A window's destructor runs with the
	// toolkit's lock held, which is the window's own lock, while
	// LockOwner() takes that lock with the owner lock held: so the second
	// call must not take the owner lock again.
	if (fOwnerDead.load(std::memory_order_acquire))
		return;
	BLooper* owner;
	{
		std::lock_guard<std::mutex> guard(fOwnerLock);
		owner = fOwner;
		fOwner = nullptr;
		fOwnerDead.store(true, std::memory_order_release);
	}
	// Waits for whoever still works in the looper under its lock.
	if (owner != nullptr) {
		owner->Lock();
		owner->Unlock();
	}
}

}	// namespace BPrivate
