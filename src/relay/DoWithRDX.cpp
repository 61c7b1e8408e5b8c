#include "RelayPath.h"

#include "BoardCommand.h"
#include "BoundedCommand.h"
#include "OpenGate.h"
#include "OpenRelayRecord.h"
#include "RelayRecovery.h"
#include "RelayRequests.h"

#include <AccessLog.h>
#include <Application.h>
#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/wait.h>


static void
Post(BMessage& message)
{
	be_app_messenger.SendMessage(&message, nullptr, B_INFINITE_TIMEOUT);
}


// The open's request, sent only once its entry in the record of open
// relays is on the disk and the program is not ending. False when it was
// not sent at all; otherwise the command's status.
static bool
run_open(int64 inFlight, int32 relay, const char* address, int32 output,
	const char* command, int* status, bool* timedOut, bool* stopped)
{
	OpenRelayRecord* record = OpenRelayRecord::Default();
	if (record != nullptr && record->Opened(relay, address) != B_OK)
		return false;

	// wget starts while the disk takes the entry, and is let through to the
	// board when both are done: the disk's time is hidden in wget's own.
	// Only where wget was seen to wait at the gate.
	OpenGate gate(output);
	char gatedCommand[RDX_COMMAND_BUFFER];
	bool gated = OpenGate::WgetWaitsAtIt() && !gate.Directory().empty()
		&& MakeBoardCommand(gatedCommand, gate.Directory(), address, output, 0)
			== B_OK;
	CommandHold hold;
	hold.stop = RelayRequests::StopDescriptor(inFlight);
	hold.endsWithProgram = gated;
	hold.release = [&](int* drain) {
		if (record != nullptr && record->Sync() != B_OK)
			return false;
		if (!RelayRequests::MayOpen(inFlight))
			return false;
		if (!gated)
			return true;
		*drain = gate.Open();
		if (*drain >= 0)
			return true;
		printf("relay %d: the open could not be let through to the board: "
			"%s\n", (int)relay, strerror(errno));
		return false;
	};
	if (!gated) {
		// No gate: the disk first, then wget.
		int unused;
		if (!hold.release(&unused))
			return false;
		hold.release = nullptr;
	}
	*status = RunBoundedCommand(gated ? gatedCommand : command,
		RDX_COMMAND_LIMIT, timedOut, &hold);
	*stopped = hold.stopped;
	return !hold.withheld;
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

	// From here on a close of the record's entry for this relay and
	// address would cross this request (RelayRequests::Covers). Own_Thread
	// began it and set the mark when the request was made: a worker that
	// starts late must not put back what a later request changed.
	int64 inFlight;
	int32 hold = 0;
	if (request->FindString(RDX_FIELD_IN_FLIGHT, &text) == B_OK) {
		inFlight = strtoll(text, nullptr, 10);
		request->FindInt32(RDX_FIELD_HOLD, &hold);
	} else {
		inFlight = RelayRequests::Begin(relay, address, open);
		hold = open ? BeginRelayOpen(relay) : 0;
		RDX_RSTATUS[relay].store(open ? 'o' : 'x');
	}
	std::string image = CopyRelayStatus();

	char command[RDX_COMMAND_BUFFER];
	status_t built = MakeBoardCommand(command, address, output, level);
	int status = 0;
	bool timedOut = false;
	bool stopped = false;
	bigtime_t started = system_time();
	if (built == B_OK && open) {
		if (!run_open(inFlight, relay, address, output, command, &status,
				&timedOut, &stopped)) {
			// Not recorded, or the program ends: not sent, so the relay is
			// as it was.
			RDX_RSTATUS[relay].store('x');
			RelayRequests::End(inFlight);
			return 1;
		}
	} else if (built == B_OK) {
		// After any open of this relay still on its way to a board.
		RelayRequests::WaitForOpens(relay, started + RDX_COMMAND_LIMIT);
		status = RunBoundedCommand(command, RDX_COMMAND_LIMIT, &timedOut);
	}
	bigtime_t took = system_time() - started;

	OpenRelayRecord* record = OpenRelayRecord::Default();
	if (record != nullptr && !open && built == B_OK && status == 0)
		record->Closed(relay, address, true);
	RelayRequests::End(inFlight);
	// The board at this address answers: what the record still holds for
	// it, or for this relay elsewhere (an address changed during a hold),
	// is closed now.
	if (built == B_OK && status == 0)
		RelayRecovery::CloseOwed(relay, address);
	else if (!open)
		RelayRecovery::CloseOwedElsewhere(relay, address);
	// Queued for the log's own writer: the reports below never wait on
	// the disk.
	if (AccessLog* log = AccessLog::Default()) {
		log->Relay(relay, open, cause.empty() ? nullptr : cause.c_str(),
			hasTag ? tag.c_str() : nullptr,
			built != B_OK ? -1 : WIFEXITED(status) ? WEXITSTATUS(status)
				: status == -1 ? -1 : 128 + WTERMSIG(status),
			took / 1000.0, timedOut);
	}
	if (stopped) {
		// The program ends: nobody is left to report to, and the close on
		// quit follows.
		printf("relay %d: the open was stopped, the program ends\n",
			(int)relay);
		return 1;
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

	// A keep-open (RDX_DELAY_KEPT) ends by rdx's own timer, which a
	// suspend or a crash cannot stretch: no worker sleeps for hours.
	if (open && delay != RDX_DELAY_KEPT) {
		BMessage close(RDX_MSG_CLOSE);
		close.AddInt32(RDX_FIELD_RELAIS, relay);
		close.AddString(RDX_FIELD_IMAGE, image.c_str());
		close.AddInt32(RDX_FIELD_HOLD, hold);
		snooze((bigtime_t)delay * 1000000);
		Post(close);
	}
	return 1;
}
