#ifndef _MESSENGER_H
#define _MESSENGER_H

#include <OS.h>

#include <memory>
#include <string>

class BHandler;
class BLooper;
class BMessage;

namespace BPrivate {
class MessageQueue;
class PortClient;
}

// An address for messages: a handler in a looper of this process, or
// another application, found by its signature through its message port.
// Sending delivers a copy; a messenger whose looper is gone fails with
// B_BAD_PORT_ID instead of blocking or touching freed memory, and so does
// one whose application does not run.
class BMessenger {
public:
							BMessenger();
							BMessenger(const BHandler* handler,
								const BLooper* looper = nullptr,
								status_t* result = nullptr);
							// The application with this signature; team, when
							// not -1, is the process that must run it.
							// *result is B_BAD_PORT_ID when none runs. The
							// messenger keeps the address: once an
							// application with the signature runs, sending
							// reaches it.
							BMessenger(const char* signature,
								team_id team = -1,
								status_t* result = nullptr);
							BMessenger(const BMessenger& other) = default;
							~BMessenger();

			BMessenger&		operator=(const BMessenger& other) = default;

			bool			IsValid() const;
			// The same target: the same looper and handler, or the same
			// connection to another application.
			bool			operator==(const BMessenger& other) const;

			// Locks the target looper if it is still alive and gives true;
			// the caller unlocks it. A looper locked this way is not deleted
			// until it is unlocked, so its objects may be used meanwhile.
			bool			LockTarget() const;

			status_t		SendMessage(uint32 what,
								BHandler* replyTo = nullptr) const;
			// To another application, B_OK means the message is in its
			// queue; the time-out bounds connecting, sending and waiting
			// for the application to take it. Replies are not supported
			// across applications: replyTo is ignored there.
			status_t		SendMessage(BMessage* message,
								BHandler* replyTo = nullptr,
								bigtime_t timeout = B_INFINITE_TIMEOUT) const;

private:
			std::weak_ptr<BPrivate::MessageQueue> fQueue;
			// Null: the looper's preferred handler.
			BHandler*		fHandler = nullptr;
			// Set for another application; shared by copies, which take
			// turns on its connection.
			std::shared_ptr<BPrivate::PortClient> fRemote;
};

#endif
