#ifndef DOOR_LOOP_H
#define DOOR_LOOP_H

#include "BrokerContact.h"
#include "DoorConfig.h"
#include "DoorMonitor.h"
#include "InputSource.h"

#include <Message.h>
#include <Messenger.h>
#include <PortWatcher.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class AccessLog;
class PathWatcher;

// The whole of rdx-door once door.conf is read: the door's inputs, rdx's
// notices and the messages the application hands on, in one blocking
// poll on a thread of its own. Nothing wakes it while nothing happens: a
// missing device and a missing rdx are waited for with inotify, and a
// timer runs only while something is timed (an open door, a bouncing
// contact, a sensor's silence).
//
// The exit button asks rdx to open, as a tag read does ('rxEx'); rdx
// stays the only program that switches a relay. Every door event goes to
// the output as a line, to the access log, to the watchers as 'rxDr', and
// the alarms also to the desktop as a notification.
class DoorLoop : private DoorMonitor::Output {
public:
							DoorLoop(const DoorConfig& config,
								FILE* output = stdout);
							~DoorLoop();

							DoorLoop(const DoorLoop&) = delete;
			DoorLoop&		operator=(const DoorLoop&) = delete;

			void			SetLog(AccessLog* log) { fLog = log; }
	// Where the 'rxDr' notices go: the application's watchers.
			void			SetNoticeSink(
								std::function<void(const BMessage&)> sink)
								{ fNoticeSink = std::move(sink); }

	// Opens the inputs and looks for rdx. False, with a line, when none of
	// the inputs can ever be used.
			bool			Open();
	// Runs the loop on its own thread until Stop().
			void			Start();
			void			Stop();

	// From any thread: a message for the door ('rxDs' from rdx-mqtt, a
	// new watcher's B_START_WATCHING).
			void			Post(const BMessage& message);

private:
	struct Slot {
		std::unique_ptr<InputSource> source;
		// Set while the source waits for its device to come back.
		std::unique_ptr<PathWatcher> watcher;
		bool			dropped = false;
	};

			void			_Run();
			void			_Line(const std::string& text);

			void			_OpenSlot(Slot& slot);
			void			_TryAgain(Slot& slot);
			void			_WaitFor(Slot& slot);
			void			_ReadSlot(Slot& slot, bigtime_t now);
			void			_Changes(const std::vector<InputChange>& changes,
								bigtime_t now);
			void			_Exit(const DoorInput& input, bigtime_t pressed,
								bigtime_t now);

			void			_Message(const BMessage& message, bigtime_t now);
			void			_SensorReport(const BMessage& message,
								bigtime_t now);

			void			_WatchRdx(bigtime_t now);
			void			_RdxNotices(bigtime_t now);
			void			_RdxNotice(const BMessage& notice, bigtime_t now);

			bigtime_t		_NextDeadline() const;
			void			_Pulse(bigtime_t now);

	virtual	void			DoorEventHappened(const DoorEvent& event)
								override;
	virtual	void			RelockWanted(const std::string& input) override;
			void			_Notify(const DoorEvent& event);
			BMessage		_Notice(const DoorEvent& event) const;

			DoorConfig		fConfig;
			FILE*			fOutput;
			AccessLog*		fLog = nullptr;
			std::function<void(const BMessage&)> fNoticeSink;
			DoorMonitor		fMonitor;

			std::vector<Slot> fSlots;
			std::unique_ptr<BrokerContact> fBroker;

			BPrivate::PortWatcher fRdxWatcher;
			BMessenger		fRdx;
			std::string		fRdxPath;
			std::unique_ptr<PathWatcher> fRdxPathWatcher;
			// Short tries after the socket appeared (rdx binds before it
			// listens); 0: none due.
			bigtime_t		fRdxRetryAt = 0;
			bigtime_t		fRdxRetryDelay = 0;
			bool			fRdxWaitSaid = false;

			int				fWakeFD = -1;
			std::mutex		fInboxLock;
			std::deque<BMessage> fInbox;
			bool			fStopping = false;
			std::thread		fThread;
};

#endif
