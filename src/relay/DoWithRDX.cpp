#include "RelayPath.h"

#include "BoardCommand.h"
#include "BoundedCommand.h"
#include "OpenRelayRecord.h"

#include <AccessLog.h>
#include <Application.h>
#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>


static void
Post(BMessage& message)
{
	be_app_messenger.SendMessage(&message, nullptr, B_INFINITE_TIMEOUT);
}


status_t
DoWithRDX(void* data)
{
	const char* address = RDX_DEFAULT_IP;
	int32 relay = 3;
	bool open = false;
	int32 delay = 1;

	if (data == nullptr) {
		printf("BAD DATA-MESSAGE \n");
		return 0;
	}
	std::unique_ptr<BMessage> request(static_cast<BMessage*>(data));
	request->FindString(RDX_FIELD_IP, &address);
	request->FindInt32(RDX_FIELD_REL, &relay);
	request->FindBool(RDX_FIELD_ST, &open);
	request->FindInt32(RDX_FIELD_DELAY, &delay);
	// What asked for the request, for its record in the access log.
	const char* text = nullptr;
	std::string cause;
	if (request->FindString(RDX_FIELD_CAUSE, &text) == B_OK)
		cause = text;
	std::string tag;
	bool hasTag = request->FindString(RDX_FIELD_CAUSE_TAG, &text) == B_OK;
	if (hasTag)
		tag = text;

	// Any int32 can arrive here (a close report carries the relay another
	// program may have posted): no arithmetic on it may overflow.
	int32 output = (int32)((uint32)relay + 2u);
	int32 level = open ? 0 : 1;

	if ((uint32)relay - 1u > 3u) {
		printf("NO VALID RELAIS! {%d}\n", (int)relay);
		return 1;
	}

	int32 hold = open ? BeginRelayOpen(relay) : 0;
	RDX_RSTATUS[relay].store(open ? 'o' : 'x');
	std::string image = CopyRelayStatus();

	char command[RDX_COMMAND_BUFFER];
	status_t built = MakeBoardCommand(command, address, output, level);
	int status = 0;
	bool timedOut = false;
	// Written down before the open goes out, so that a program killed at
	// any moment from here on leaves it for the next start to close; on
	// the disk only once it went out and was reported (below), so that
	// neither the door nor the panel waits for the disk.
	OpenRelayRecord* record = OpenRelayRecord::Default();
	if (record != nullptr && open && built == B_OK)
		record->Opened(relay, address);
	bigtime_t started = system_time();
	if (built == B_OK)
		status = RunBoundedCommand(command, RDX_COMMAND_LIMIT, &timedOut);
	bigtime_t took = system_time() - started;
	if (record != nullptr && !open && built == B_OK && status == 0)
		record->Closed(relay, address, true);

	// Queued for the log's own writer: the reports below never wait on
	// the disk.
	if (AccessLog* log = AccessLog::Default()) {
		log->Relay(relay, open, cause.empty() ? nullptr : cause.c_str(),
			hasTag ? tag.c_str() : nullptr,
			built != B_OK ? -1 : WIFEXITED(status) ? WEXITSTATUS(status)
				: status == -1 ? -1 : 128 + WTERMSIG(status),
			took / 1000.0, timedOut);
	}

	// The request ran at normal priority; the pause, the reports and the
	// hold time yield to the application and the window.
	set_thread_priority(find_thread(nullptr), B_LOW_PRIORITY);

	snooze(5000);

	if (built != B_OK) {
		// Never run cut short or as an option: reported like a board that
		// does not answer, so the window turns board use off.
		PrintCommandRefusal(relay, built, address);
		BMessage noAnswer(RDX_MSG_NO_ANSWER);
		Post(noAnswer);
	} else if (status != 0) {
		if (timedOut) {
			printf("relay %d: board request stopped after %d seconds\n",
				(int)relay, (int)(RDX_COMMAND_LIMIT / 1000000));
		}
		printf("%d | ausschalten, da es nicht antwortet \n", status);
		BMessage noAnswer(RDX_MSG_NO_ANSWER);
		Post(noAnswer);
	}

	BMessage report(RDX_MSG_STATUS);
	report.AddInt32(RDX_FIELD_RELAIS, relay);
	report.AddString(RDX_FIELD_IMAGE, image.c_str());
	if (open)
		report.AddInt32(RDX_FIELD_OPEN, relay);
	Post(report);

	if (open) {
		if (record != nullptr && built == B_OK)
			record->Sync();
		BMessage close(RDX_MSG_CLOSE);
		close.AddInt32(RDX_FIELD_RELAIS, relay);
		close.AddString(RDX_FIELD_IMAGE, image.c_str());
		close.AddInt32(RDX_FIELD_HOLD, hold);
		snooze((bigtime_t)delay * 1000000);
		Post(close);
	}
	return 1;
}
