#include <Handler.h>

#include <Looper.h>

BHandler::BHandler(const char* name)
	:
	fName(name != nullptr ? name : "")
{
}


BHandler::~BHandler()
{
	// Messages still queued for this handler must not reach it any more.
	if (fLooper != nullptr && fLooper != this)
		fLooper->RemoveHandler(this);
}


void
BHandler::MessageReceived(BMessage* message)
{
}


void
BHandler::SetName(const char* name)
{
	fName = name != nullptr ? name : "";
}
