#include "RelayPath.h"

#include "FindProgram.h"
#include "OpenGate.h"
#include "OpenRelayRecord.h"
#include "RelayRecovery.h"
#include "RelayRequests.h"

#include <File.h>
#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>

#include <atomic>
#include <cstdio>
#include <string>

// Written by the first call only; overlapping first calls store the same
// result.
static std::atomic<bool> wgetProbeDone{false};
static std::atomic<bool> wgetAvailable{false};


// The board requests run wget by name, so it is looked for where the shell
// will look for it, and what is found there must open for reading.
static bool
ProbeWget()
{
	std::string path = FindProgram("wget");
	if (path.empty())
		return false;
	BFile file;
	file.SetTo(path.c_str(), B_READ_ONLY);
	bool readable = file.IsReadable();
	file.Unset();
	return readable;
}


void
Own_Thread(int32 relay, bool open, const char* address, int32 delay,
	const char* cause, const char* tag)
{
	if (!wgetProbeDone.load()) {
		wgetAvailable.store(ProbeWget());
		wgetProbeDone.store(true);
		printf("wget checked..\n");
	}
	if (!wgetAvailable.load()) {
		printf("wget not availabel \n");
		return;
	}
	// Starts the try of the gate with the first request, so that it is
	// known by the time a tag comes.
	OpenGate::WgetWaitsAtIt();

	if (RDX_RSTATUS[0].load() != '-') {
		WriteRelayStatus(RDX_RSTATUS_RESET);
		printf("init RDX_RSTATUS: '%s'\n", CopyRelayStatus().c_str());
	}

	char mark = RelayMark(relay);
	if (open && mark == 'o') {
		printf("%d schon auf! %s \n", (int)relay, CopyRelayStatus().c_str());
		return;
	}
	if (!open && mark == 'x') {
		printf("%d schon zu!  %s \n", (int)relay, CopyRelayStatus().c_str());
		return;
	}

	// An open that cannot be written down first is not made: a relay the
	// record does not know of would stay open after a crash. The record
	// said why, once. Nor does an open start once the program ends.
	if (open && RelayRequests::Stopping())
		return;
	OpenRelayRecord* record = OpenRelayRecord::Default();
	bool tookOver = false;
	if (open && record != nullptr && !record->Ready(&tookOver))
		return;
	// A record taken over only now (its directory was mended, another rdx
	// has ended) may hold relays left open: they are closed at once.
	if (tookOver)
		RelayRecovery::CloseOwed();

	BMessage* request = new BMessage(RDX_MSG_REQUEST);
	// A missing address must not send the worker to its built-in default
	// board: it goes on as an empty one, which simply fails.
	request->AddString(RDX_FIELD_IP, address != nullptr ? address : "");
	request->AddInt32(RDX_FIELD_REL, relay);
	request->AddBool(RDX_FIELD_ST, open);
	request->AddInt32(RDX_FIELD_DELAY, delay);
	if (cause != nullptr)
		request->AddString(RDX_FIELD_CAUSE, cause);
	if (tag != nullptr)
		request->AddString(RDX_FIELD_CAUSE_TAG, tag);

	char name[B_OS_NAME_LENGTH];
	snprintf(name, sizeof(name), "rdxR%d", (int)relay);

	// The worker starts at normal priority and lowers itself to
	// B_LOW_PRIORITY once its board request is done: the shell and wget
	// inherit the nice value of the thread that starts them, and on a busy
	// machine a niced wget would open the door many times later.
	// Begun and marked here, not only once the worker runs: the next
	// message may ask for this relay before the worker has started. A
	// close must then see this open's mark, or it is skipped as done
	// ("schon zu"), and must wait for it (RelayRequests::WaitForOpens), or
	// it reaches the board first; either way a kept-open relay would stay
	// open for good.
	bool begins = relay >= 1 && relay <= 4;
	int64 inFlight = 0;
	if (begins) {
		inFlight = RelayRequests::Begin(relay, address != nullptr ? address
			: "", open);
		request->AddString(RDX_FIELD_IN_FLIGHT,
			std::to_string(inFlight).c_str());
		if (open)
			request->AddInt32(RDX_FIELD_HOLD, BeginRelayOpen(relay));
		RDX_RSTATUS[relay].store(open ? 'o' : 'x');
	}
	thread_id worker = spawn_thread(DoWithRDX, name, B_NORMAL_PRIORITY,
		request);
	if (worker < 0) {
		if (begins) {
			RDX_RSTATUS[relay].store(mark);
			RelayRequests::End(inFlight);
		}
		delete request;
		printf("..thread-failure\n");
		return;
	}
	resume_thread(worker);
}
