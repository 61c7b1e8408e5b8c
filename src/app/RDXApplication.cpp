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
	if (message->what == B_START_WATCHING) {
		// Someone started watching through the port: it hears how things
		// stand now, and every change from here on.
		if (windowMessenger.LockTarget()) {
			window->SendSettingsNotice(true);
			window->Unlock();
		}
		return;
	}

	if (IsWindowCode(message->what)) {
		if (IsNoticeCode(message->what))
			SendNotices(message->what, message);
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
