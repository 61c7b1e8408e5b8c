#ifndef _HANDLER_H
#define _HANDLER_H

#include <SupportDefs.h>

#include <string>

class BLooper;
class BMessage;

// Something that messages can be addressed to. A handler belongs to at most
// one looper, which dispatches the handler's messages on its thread.
class BHandler {
public:
							BHandler(const char* name = nullptr);
	virtual					~BHandler();

	virtual	void			MessageReceived(BMessage* message);

			BLooper*		Looper() const { return fLooper; }
			const char*		Name() const { return fName.c_str(); }
			void			SetName(const char* name);

private:
	friend class BLooper;

			std::string		fName;
			BLooper*		fLooper = nullptr;
};

#endif
