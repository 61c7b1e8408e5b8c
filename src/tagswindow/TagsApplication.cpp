#include "TagsApplication.h"

#include <Message.h>


TagsApplication::TagsApplication()
	:
	BApplication(RDX_TAGS_SIGNATURE, B_EXCLUSIVE_LAUNCH)
{
}


void
TagsApplication::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case RDX_TAGS_SHOW:
		case RDX_TAGS_ADD:
			fWindow.SendMessage(message);
			break;
		default:
			BApplication::MessageReceived(message);
	}
}
