#include "RDXApplication.h"

#include <Message.h>
#include <RDXDefs.h>
#include <RDXWindow.h>

#include <cstdio>

RDXApplication::RDXApplication()
	:
	BApplication(RDX_SIGNATURE)
{
	BRect frame(WIN_X, WIN_Y, WIN_X + WIN_W, WIN_Y + WIN_H);
	window = new RDXWindow(frame);
	windowMessenger = BMessenger(window);
	window->Show();
}


void
RDXApplication::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case RDX_MSG_TAG:
		case RDX_MSG_RELAY_1:
		case RDX_MSG_RELAY_2:
		case RDX_MSG_RELAY_3:
		case RDX_MSG_RELAY_4:
		case RDX_MSG_CLOSE:
		case RDX_MSG_ADDRESS:
		case RDX_MSG_NO_ANSWER:
		case RDX_MSG_OPEN_ALL:
		case RDX_MSG_STATUS:
		case RDX_MSG_USE:
		case RDX_MSG_HOLD_TIME:
		case RDX_MSG_RELOAD:
			// Handled here, on the application thread. A report that arrives
			// after the window has closed has nobody left to tell.
			if (windowMessenger.LockTarget()) {
				window->MessageReceived(message);
				window->Unlock();
			}
			return;
	}

	printf("RDXApp ");
	message->PrintToStream();
	BApplication::MessageReceived(message);
}
