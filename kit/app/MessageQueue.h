#ifndef _MESSAGE_QUEUE_H
#define _MESSAGE_QUEUE_H

#include <OS.h>
#include <SupportDefs.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class BHandler;
class BLooper;
class BMessage;

namespace BPrivate {

// Asks a looper's loop to end; posted by BLooper::Quit() from another thread
// and by the application when it ends. Handlers never see it.
const uint32 kQuitLooperMessage = '_QIT';

// The queue of one looper. Messengers hold it weakly, so that a post to a
// looper that is gone fails instead of touching freed memory. A full queue
// makes plain threads wait (up to their time-out), which bounds the memory a
// flood of posts can take; looper threads never wait, because two loopers
// posting to each other while full would otherwise deadlock.
class MessageQueue {
public:
	struct Entry {
		std::unique_ptr<BMessage>	message;
		// Null: the looper's preferred handler, the looper itself.
		BHandler*					target = nullptr;
	};

							MessageQueue(size_t capacity);

			status_t		Push(std::unique_ptr<BMessage> message,
								BHandler* target, bigtime_t timeout);
			// Waits until a message arrives or the queue is closed.
			bool			Pop(Entry& entry);
			// Takes whatever is queued, without waiting.
			std::deque<Entry> TakeAll();

			// No more messages are accepted; waiting posters give up.
			void			Close();
			bool			IsClosed() const;

			// Called after every accepted message, for loopers whose thread
			// waits somewhere other than in Pop().
			void			SetWaker(std::function<void()> waker);

			size_t			Count() const;

			// The looper the queue belongs to, locked, while the looper is
			// alive; null once it has started to end its life. This is how
			// another thread may call into a looper safely.
			BLooper*		LockOwner();
			void			SetOwner(BLooper* owner);
			// Called on the looper's thread before the looper is deleted; no
			// LockOwner() succeeds from then on.
			void			MarkOwnerDead();

private:
			std::mutex		fOwnerLock;
			BLooper*		fOwner = nullptr;
			std::atomic<bool> fOwnerDead{false};

	mutable	std::mutex		fLock;
			std::condition_variable fNotEmpty;
			std::condition_variable fNotFull;
			std::deque<Entry> fEntries;
			std::function<void()> fWaker;
			size_t			fCapacity;
			bool			fClosed = false;
};

}	// namespace BPrivate

#endif
