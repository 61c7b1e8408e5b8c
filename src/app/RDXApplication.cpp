#include "RDXApplication.h"

#include <AccessLog.h>
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
			window->Unlock();
		}
		return;
	}

	if ((message->what == RDX_MSG_TAG || message->what == RDX_MSG_EXIT
			|| message->what == RDX_MSG_RELOCK) && _CameTooLate(message))
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
	// closes it did not answer at start are tried again.
	if (use && noticedUse == 0)
		RelayRecovery::Retry();
	noticedUse = use ? 1 : 0;
}


bool
RDXApplication::_CameTooLate(BMessage* message)
{
	const char* text = nullptr;
	if (message->FindString(RDX_FIELD_DEADLINE, &text) != B_OK)
		return false;
	bigtime_t now = system_time();
	bigtime_t deadline = 0;
	bool readable = ParseDeadline(text, &deadline);
	if (readable && now <= deadline)
		return false;

	const char* tag = nullptr;
	message->FindString(RDX_FIELD_TAG, &tag);
	const char* reader = nullptr;
	message->FindString(RDX_FIELD_READER, &reader);
	double late = readable ? (now - deadline) / 1000.0 : 0;
	if (message->what != RDX_MSG_TAG) {
		// An exit press nobody waits for any more opens nothing; a late
		// relock leaves the relay to its hold time.
		bool exit = message->what == RDX_MSG_EXIT;
		std::string when = readable ? std::to_string((long long)late)
			+ " ms after its sender stopped waiting"
			: "with a deadline that is none (\"" + std::string(text) + "\")";
		printf("%s from %s came %s: %s\n", exit ? "exit request" : "relock",
			reader != nullptr ? reader : "(none)", when.c_str(),
			exit ? "not opened" : "not closed early");
		if (AccessLog* log = AccessLog::Default()) {
			DoorRecord record;
			record.what = exit ? "exit" : "relock";
			record.input = reader != nullptr ? reader : "";
			record.result = "too-late";
			record.lateMs = late;
			log->Door(record);
		}
		return true;
	}
	// When in doubt, lock: a deadline that cannot be read is not met.
	if (readable) {
		printf("tag %s came %.0f ms after its sender stopped waiting: "
			"not opened\n", tag != nullptr ? tag : "(none)", late);
	} else {
		printf("tag %s came with a deadline that is none (\"%s\"): not "
			"opened\n", tag != nullptr ? tag : "(none)", text);
	}
	if (AccessLog* log = AccessLog::Default())
		log->TagTooLate(tag, reader, late);
	return true;
}
