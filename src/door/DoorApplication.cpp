#include "DoorApplication.h"

#include "DoorLoop.h"

#include <DoorDefs.h>
#include <Message.h>

#include <cstdio>


DoorApplication::DoorApplication()
	:
	// Two rdx-door on one door would ask for every exit twice and raise
	// every alarm twice.
	BApplication(RDX_DOOR_SIGNATURE, B_EXCLUSIVE_LAUNCH)
{
}


void
DoorApplication::MessageReceived(BMessage* message)
{
	if (message->what == RDX_MSG_DOOR_SENSOR
		|| message->what == B_START_WATCHING) {
		if (fLoop != nullptr)
			fLoop->Post(*message);
		return;
	}
	printf("rdx-door: a message it does not know: ");
	message->PrintToStream();
	BApplication::MessageReceived(message);
}


bool
DoorApplication::QuitRequested()
{
	if (fLoop != nullptr)
		fLoop->Stop();
	return BApplication::QuitRequested();
}
