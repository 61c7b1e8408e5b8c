#ifndef _NOTIFICATION_BUS_H
#define _NOTIFICATION_BUS_H

#include <Messenger.h>
#include <OS.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GDBusMessage GDBusMessage;
typedef struct _GCancellable GCancellable;

namespace BPrivate {

// The one connection of the process to the session bus for notifications.
// A thread of its own connects (when the first notification comes, and
// again after the bus went away) and sends; nothing waits for the
// notification service's answer: a filter on the connection takes the
// answers and the service's signals as they come, on GDBus's own thread,
// and passes a chosen action on to its target. No session bus, no
// service, no GIO: the notifications are dropped without a word.
class NotificationBus {
public:
	struct Request {
		std::string		application;
		std::string		title;
		std::string		content;
		std::string		messageID;
		std::string		icon;
		// 0 low, 1 normal, 2 critical, as the service takes it.
		int				urgency = 1;
		int32			timeoutMs = -1;
		std::vector<std::pair<std::string, std::string>> actions;
		BMessenger		target;
	};

	static	NotificationBus& Default();

			void			Send(Request&& request);

							~NotificationBus();

private:
							NotificationBus() = default;

	// What the service said of a notification we sent.
	struct Shown {
		std::string		messageID;
		BMessenger		target;
		// The service's unique name on the bus: only it may say that an
		// action was chosen.
		std::string		service;
	};

	// What the filter works with, shared with the bus thread under its
	// lock. GDBus may run the filter even after it was removed, on its
	// own thread, up to the process's end: so this is made once and never
	// freed, whatever becomes of the bus object.
	struct Ledger {
		std::mutex		lock;
		// Serial of a Notify call → what it was for.
		std::map<uint32, Shown> pending;
		// The service's id → what it shows.
		std::map<uint32, Shown> shown;
		// Message id → the service's id of the latest one.
		std::map<std::string, uint32> replaces;
	};

			void			_Run();
			bool			_Connect();
			void			_Notify(const Request& request);
	static	GDBusMessage*	_Filter(GDBusConnection* connection,
								GDBusMessage* message, int incoming,
								void* data);
	static	void			_Incoming(Ledger& ledger, GDBusMessage* message);

			std::mutex		fLock;
			std::condition_variable fQueued;
			std::deque<Request> fQueue;
			bool			fStopping = false;
			std::thread		fThread;
			GCancellable*	fCancel = nullptr;

	// Used by the bus thread alone.
			GDBusConnection* fConnection = nullptr;
			bool			fForeignSaid = false;
			Ledger*			fLedger = new Ledger;
};

}	// namespace BPrivate

#endif
