#ifndef _INVOKER_H
#define _INVOKER_H

#include <Messenger.h>
#include <SupportDefs.h>

#include <memory>

class BHandler;
class BLooper;
class BMessage;

// Something that sends a message of its own to a target when it is used.
// The invoker owns its message and sends copies.
class BInvoker {
public:
							BInvoker();
							BInvoker(BMessage* message, const BHandler* handler,
								const BLooper* looper = nullptr);
	virtual					~BInvoker();

	// Takes ownership of the message (null: the invoker sends nothing).
	virtual	status_t		SetMessage(BMessage* message);
			BMessage*		Message() const { return fMessage.get(); }
			uint32			Command() const;

	// The handler receives the messages; with no handler, the looper's
	// preferred handler does; with neither, the invoker's default target
	// (a control's window).
	virtual	status_t		SetTarget(const BHandler* handler,
								const BLooper* looper = nullptr);
			BHandler*		Target(BLooper** looper = nullptr) const;

	// Sends a copy of the given message, or of the invoker's own.
	virtual	status_t		Invoke(BMessage* message = nullptr);

protected:
	// Where messages go when no target was set.
	virtual	BHandler*		DefaultTarget() const { return nullptr; }

private:
			std::unique_ptr<BMessage> fMessage;
			BHandler*		fHandler = nullptr;
			BLooper*		fLooper = nullptr;
};

#endif
