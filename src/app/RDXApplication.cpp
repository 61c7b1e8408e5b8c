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
	if (IsWindowCode(message->what)) {
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
