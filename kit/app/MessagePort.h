#ifndef _MESSAGE_PORT_H
#define _MESSAGE_PORT_H

#include <Messenger.h>
#include <OS.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace BPrivate {

class PortConnection;

// The application's door for other processes: a Unix stream socket named
// after the application's signature (see PortAddress), on which other
// programs post messages as frames (see PortFrame). A thread of its own
// waits on the socket and on every connection at once and posts each
// message to the target, so that no sender, however slow or silent, holds
// up the application or the other senders.
//
// The application's queue pushes back when it is full. The port never
// waits for room: a message that does not fit stays with its connection,
// which is not read further until the message is in, and connections take
// turns when room appears. Its sender waits for the status byte meanwhile.
//
// A connection may ask to watch the application (a B_START_WATCHING
// message, answered like any other and also handed to the application).
// From then on the port sends it a frame for every notice the application
// sends, and reads nothing more from it. Notices are queued and written by
// the port's thread, so the application never waits for a watcher; one
// that does not read is cut off once its backlog passes a limit.
class MessagePort {
public:
	struct Limits {
		// Connections open at once; when a new one comes beyond this, the
		// one that has been idle longest is closed, or the new one is
		// refused when none is idle.
		size_t		maxConnections = 64;
		// A connection that stops in the middle of a frame for this long
		// is closed.
		bigtime_t	stallTimeout = 10 * 1000000LL;
		// How often a message that found the queue full is tried again.
		bigtime_t	retryInterval = 5 * 1000LL;
		// The user id every peer must have; kThisUser is the process's
		// effective user id. Only a test sets another, to see a peer of
		// "another" user refused without having to become one.
		static constexpr uid_t kThisUser = (uid_t)-1;
		uid_t		peerUser = kThisUser;
		// Watchers at once; one more is refused as busy.
		size_t		maxWatchers = 16;
		// Notice bytes that may wait for a watcher, beyond what its
		// socket holds, before it is cut off.
		size_t		watchBacklog = 256 * 1024;
		// Set by an application that must not run twice: a port that a
		// live instance holds is then B_NAME_IN_USE, and a port that
		// cannot be made safely another error; neither prints a line,
		// Problem() says what is wrong and the caller what it does.
		bool		exclusive = false;
	};

	// Opens the port; every problem is printed as one line and leaves the
	// port closed (InitCheck() says so), the application runs on without.
							MessagePort(const char* signature,
								const BMessenger& target,
								const Limits& limits);
							MessagePort(const char* signature,
								const BMessenger& target);
	// Stops the thread, closes every connection and removes the socket.
							~MessagePort();

							MessagePort(const MessagePort&) = delete;
			MessagePort&	operator=(const MessagePort&) = delete;

			status_t		InitCheck() const { return fInitStatus; }
			// Why the port is closed, with what mends it where the user
			// can; empty when it opened.
			const std::string& Problem() const { return fProblem; }
			const std::string& Path() const { return fPath; }

			// Connections open right now.
			size_t			CountConnections() const
								{ return fConnectionCount; }
			size_t			CountWatchers() const { return fWatcherCount; }

			// Queues the notice (as BHandler::MakeNotice() makes it) for
			// every watcher of its code. Any thread may call it; it never
			// waits for a watcher.
			void			SendNotice(const BMessage& notice);

private:
			status_t		_Open(const char* signature);
			status_t		_Bind();
			// Keeps the problem and prints the line, unless exclusive.
			status_t		_Failed(status_t status, const std::string& line,
								const std::string& problem);
	static	status_t		_ThreadEntry(void* data);
			void			_Serve();
			// False when the process is out of file descriptors.
			bool			_AcceptAll(bigtime_t now);
			void			_Deliver();
			void			_PassNotices();
			void			_FlushWatcher(PortConnection& connection);
			void			_CutOff(PortConnection& connection,
								const char* why);
			void			_Drop(PortConnection& connection);
			void			_RemoveClosed();
			int				_PollTimeout(bigtime_t now) const;

			BMessenger		fTarget;
			Limits			fLimits;
			std::string		fPath;
			status_t		fInitStatus = B_NO_INIT;
			std::string		fProblem;
			int				fListenFD = -1;
			int				fWakeFD = -1;
			// Tells the port's thread that notices wait.
			int				fNoticeFD = -1;
			// Tells the socket file we made from one that replaced it.
			dev_t			fSocketDevice = 0;
			ino_t			fSocketNode = 0;
			thread_id		fThread = -1;

			// Only the port's thread touches these once it runs.
			std::vector<std::unique_ptr<PortConnection>> fConnections;
			// The connection whose turn it is to hand on its message.
			size_t			fNextTurn = 0;
			std::atomic<size_t> fConnectionCount{0};

			struct Notice {
				uint32		what;
				std::string	frame;
			};
			std::mutex		fNoticeLock;
			std::vector<Notice> fNotices;
			bool			fNoticesOverflowed = false;
			std::atomic<size_t> fWatcherCount{0};
};

}	// namespace BPrivate

#endif
