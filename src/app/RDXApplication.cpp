#include "RDXApplication.h"

#include <AccessLog.h>
#include <DeskDefs.h>
#include <DoorDefs.h>
#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>
#include <RDXWindow.h>
#include <RelayRecovery.h>

#include <cstdio>
#include <string>

RDXApplication::RDXApplication()
	:
	BApplication(RDX_SIGNATURE, B_EXCLUSIVE_LAUNCH)
{
}


void
RDXApplication::ReadyToRun()
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
			window->SendDoorModeNotice(nullptr, nullptr);
			window->Unlock();
		}
		return;
	}

	// Looked at here for the watchers, who hear of reads in time only, and
	// again by the window once it holds its lock, right before it opens.
	if ((message->what == RDX_MSG_TAG || message->what == RDX_MSG_EXIT
			|| message->what == RDX_MSG_RELOCK)
		&& RDXWindow::CameTooLate(message))
		return;

	// The door's exit button opens as a tag does, and its relock closes
	// early; both are handled by the window like a tag read, and the
	// watchers hear of an exit as of a tag.
	if (message->what == RDX_MSG_EXIT || message->what == RDX_MSG_RELOCK) {
		if (message->what == RDX_MSG_EXIT)
			SendNotices(message->what, message);
		if (windowMessenger.LockTarget()) {
			window->MessageReceived(message);
			window->Unlock();
		}
		return;
	}

	if (message->what == RDX_MSG_TAG) {
		// The watchers hear of a read during lockdown as refused: it lets
		// nobody in, and the door watcher must not take it for one that
		// did.
		if (windowMessenger.LockTarget()) {
			BMessage notice(*message);
			if (window->InLockdown()) {
				notice.AddString(RDX_FIELD_READ_RESULT,
					RDX_OUTCOME_LOCKDOWN);
			}
			SendNotices(message->what, &notice);
			window->MessageReceived(message);
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


void
RDXApplication::SendNotices(uint32 what, const BMessage* notice)
{
	BApplication::SendNotices(what, notice);
	bool use;
	if (what != RDX_NOTICE_SETTINGS || notice == nullptr
		|| notice->FindBool(RDX_FIELD_USE, &use) != B_OK)
		return;
	// Switching board use on is the operator saying the board is back:
	// what the record of open relays still holds is closed now.
	if (use && noticedUse == 0)
		RelayRecovery::CloseOwed();
	noticedUse = use ? 1 : 0;
}
