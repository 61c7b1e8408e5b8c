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
}

// An address for messages: a handler in a looper of this process. Sending
// delivers a copy; a messenger whose looper is gone fails with
// B_BAD_PORT_ID instead of blocking or touching freed memory.
class BMessenger {
public:
							BMessenger();
							BMessenger(const BHandler* handler,
								const BLooper* looper = nullptr,
								status_t* result = nullptr);
							BMessenger(const BMessenger& other) = default;
							~BMessenger();

			BMessenger&		operator=(const BMessenger& other) = default;

			bool			IsValid() const;

			status_t		SendMessage(uint32 what,
								BHandler* replyTo = nullptr) const;
			status_t		SendMessage(BMessage* message,
								BHandler* replyTo = nullptr,
								bigtime_t timeout = B_INFINITE_TIMEOUT) const;

private:
			std::weak_ptr<BPrivate::MessageQueue> fQueue;
			// Null: the looper's preferred handler.
			BHandler*		fHandler = nullptr;
};

#endif
