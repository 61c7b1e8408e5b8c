#ifndef _HANDLER_H
#define _HANDLER_H

#include <Messenger.h>
#include <SupportDefs.h>

#include <mutex>
#include <string>
#include <vector>

class BLooper;
class BMessage;

// Something that messages can be addressed to. A handler belongs to at most
// one looper, which dispatches the handler's messages on its thread.
//
// Others may watch a handler: every notice it sends with SendNotices()
// goes, as a B_OBSERVER_NOTICE_CHANGE message, to each messenger that
// watches its code. Sending a notice never waits: a watcher whose queue is
// full misses that notice, and a watcher that is gone is forgotten.
class BHandler {
public:
							BHandler(const char* name = nullptr);
	virtual					~BHandler();

	virtual	void			MessageReceived(BMessage* message);

			BLooper*		Looper() const { return fLooper; }
			const char*		Name() const { return fName.c_str(); }
			void			SetName(const char* name);

			// what: a notice code, or B_OBSERVER_OBSERVE_ALL.
			status_t		StartWatching(BMessenger target, uint32 what);
			status_t		StartWatchingAll(BMessenger target);
			status_t		StopWatching(BMessenger target, uint32 what);
			status_t		StopWatchingAll(BMessenger target);

			// Sends a copy of the notice (or an empty one) to every watcher
			// of the code, with the code in B_OBSERVE_WHAT_CHANGE and the
			// notice's own code in B_OBSERVE_ORIGINAL_WHAT. Any thread may
			// call it.
	virtual	void			SendNotices(uint32 what,
								const BMessage* notice = nullptr);
			bool			IsWatched() const;

	// The notice message SendNotices() sends.
	static	BMessage		MakeNotice(uint32 what, const BMessage* notice);

private:
	friend class BLooper;

	struct Watcher {
		BMessenger		target;
		uint32			what;
	};

			std::string		fName;
			BLooper*		fLooper = nullptr;
	mutable	std::mutex		fWatchLock;
			std::vector<Watcher> fWatchers;
};

#endif
