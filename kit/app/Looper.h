#ifndef _LOOPER_H
#define _LOOPER_H

#include <Handler.h>
#include <OS.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class BMessage;
class BMessenger;

namespace BPrivate {
class MessageQueue;
}

#define B_LOOPER_PORT_DEFAULT_CAPACITY 200

// A thread with a message queue. Messages are dispatched one at a time with
// the looper locked; the lock is recursive, and other threads may take it to
// work on the looper's objects between two messages.
class BLooper : public BHandler {
public:
							BLooper(const char* name = nullptr,
								int32 priority = B_NORMAL_PRIORITY,
								int32 portCapacity
									= B_LOOPER_PORT_DEFAULT_CAPACITY);
	virtual					~BLooper();

	// Starts the looper's own thread.
	virtual	thread_id		Run();
	// On the looper's thread: the loop ends after the current message and
	// the looper deletes itself. From another thread: asks the looper to do
	// so and returns at once. A looper that never ran is deleted at once.
	virtual	void			Quit();
	virtual	bool			QuitRequested();

	virtual	bool			Lock();
	virtual	void			Unlock();
			bool			IsLocked() const;

			status_t		PostMessage(uint32 what);
			status_t		PostMessage(BMessage* message,
								BHandler* handler = nullptr,
								BHandler* replyTo = nullptr);

	virtual	void			DispatchMessage(BMessage* message,
								BHandler* handler);
	virtual	void			MessageReceived(BMessage* message);

			void			AddHandler(BHandler* handler);
			bool			RemoveHandler(BHandler* handler);
			int32			CountHandlers() const;

			thread_id		Thread() const { return fThread; }
			BMessage*		CurrentMessage() const { return fCurrentMessage; }

	// The looper whose thread the given thread is, or null.
	static	BLooper*		LooperForThread(thread_id thread);

protected:
	// The loop of the looper's thread. The default waits on the queue; a
	// looper that must wait elsewhere (a window in its toolkit's event loop)
	// overrides it and calls DispatchPending() when woken.
	virtual	void			task_looper();
	// Dispatches every message queued so far; false once the looper quits.
			bool			DispatchPending();
			bool			IsTerminating() const { return fTerminating; }

			std::shared_ptr<BPrivate::MessageQueue> Queue() const
								{ return fQueue; }

	// Marks the calling thread as this looper's thread (for a looper that
	// runs on a thread it did not start, as the application does).
			void			AdoptCallingThread();
	// Ends the looper's life on its own thread: the looper is deleted.
	virtual	void			FinishLooper();

private:
	friend class BMessenger;
	friend class BApplication;

	struct RunningLooper {
		std::shared_ptr<BPrivate::MessageQueue> queue;
		thread_id	thread;
	};
	static	std::vector<RunningLooper> _RunningLoopers(const BLooper* except);

			void			Dispatch(BMessage* message, BHandler* target);
	static	status_t		_ThreadEntry(void* data);

			std::shared_ptr<BPrivate::MessageQueue> fQueue;
			std::recursive_mutex fLock;
			std::atomic<thread_id> fLockOwner{-1};
			int32			fLockCount = 0;
			std::vector<BHandler*> fHandlers;
			int32			fPriority;
			thread_id		fThread = -1;
			BMessage*		fCurrentMessage = nullptr;
			std::atomic<bool> fTerminating{false};
};

#endif
