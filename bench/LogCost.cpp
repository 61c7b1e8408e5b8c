// The access log's cost on the door: tag to board with the log written,
// against the same figure of a second rdx whose log cannot be opened (a
// directory stands where the file would be), tags sent to the two in turn,
// so that both see the same machine. Both keep their record of open relays:
// an rdx that cannot keep it opens nothing, and what the record costs is in
// the tag-to-board figure.

#include "Figures.h"

#include "BenchClock.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Message.h>
#include <Messenger.h>
#include <RDXDefs.h>

#include <fstream>
#include <sys/stat.h>
#include <memory>
#include <string>

namespace {

// One rdx with its own board and home.
struct Door {
	HttpListener	listener;
	SettingsHome	home;
	std::unique_ptr<Process> rdx;
	BMessenger		messenger;
	std::string		stateHome;
	Samples*		samples = nullptr;
};


bool
start_door(const BenchConfig& config, Door& door, bool writable,
	std::string* error)
{
	if (!door.listener.IsValid() || !door.home.IsValid()) {
		*error = "no listener or settings home";
		return false;
	}
	std::string board = "127.0.0.1:" + std::to_string(door.listener.Port());
	if (!door.home.SetText("rdx_ip", board) || !door.home.SetBool("rdx_use", true)
		|| !door.home.SetInt32("OpenInSecs", 0)
		|| !door.home.SetInt32("TagsUseDoor", 1)) {
		*error = "cannot seed the settings";
		return false;
	}
	std::map<std::string, std::string> environment = door.home.Environment();
	door.stateHome = door.home.Path() + "/state";
	if (!writable) {
		// A directory where the log would be: it cannot be opened, root or
		// not, while the record beside it is kept as usual.
		std::string log = door.stateHome + "/RDX/access.log";
		if (mkdir(door.stateHome.c_str(), 0700) != 0
			|| mkdir((door.stateHome + "/RDX").c_str(), 0700) != 0
			|| mkdir(log.c_str(), 0700) != 0) {
			*error = "cannot make the log unwritable";
			return false;
		}
	}
	environment["XDG_STATE_HOME"] = door.stateHome;
	door.rdx = std::make_unique<Process>(std::vector<std::string>{config.rdx},
		environment, config.logDirectory + (writable ? "/log-on.rdx.out"
			: "/log-off.rdx.out"));
	if (!connect_to_rdx(door.home, &door.messenger, 10)) {
		*error = "rdx did not open its message port";
		return false;
	}
	// Closes that a record left by another run asks for may come before
	// the start-up pulse.
	HttpListener::Request request;
	size_t open = 0;
	for (;; open++) {
		if (open > 4 || !door.listener.WaitFor(open, kWaitSeconds + 2,
				&request)) {
			*error = "no start-up pulse";
			return false;
		}
		if (request.target == "/?3=0")
			break;
	}
	if (!door.listener.WaitFor(open + 1, kWaitSeconds + 2, &request)
		|| request.target != "/?3=1") {
		*error = "the start-up pulse did not close";
		return false;
	}
	return true;
}


bool
one_tag(Door& door, BMessage& tag, std::string* error)
{
	size_t next = door.listener.Count();
	int64_t start = bench_now_ns();
	if (door.messenger.SendMessage(&tag, nullptr,
			(bigtime_t)kWaitSeconds * 1000000) != B_OK) {
		*error = "rdx did not take a tag";
		return false;
	}
	HttpListener::Request request;
	if (!door.listener.WaitFor(next, kWaitSeconds, &request)
		|| request.target != "/?3=0") {
		*error = "the board saw no open";
		return false;
	}
	door.samples->Add((request.arrivalNs - start) / 1e6);
	if (!door.listener.WaitFor(next + 1, kWaitSeconds, &request)
		|| request.target != "/?3=1") {
		*error = "the board saw no close";
		return false;
	}
	bench_sleep_ms(kSettleMs);
	return true;
}


int
count_lines_with(const std::string& file, const std::string& text)
{
	std::ifstream in(file);
	int count = 0;
	for (std::string line; std::getline(in, line);)
		count += line.find(text) != std::string::npos ? 1 : 0;
	return count;
}

}	// namespace


LogCostResult
MeasureLogCost(const BenchConfig& config, int tags)
{
	LogCostResult result;
	Door on;
	Door off;
	on.samples = &result.logOn;
	off.samples = &result.logOff;
	if (!start_door(config, on, true, &result.error)
		|| !start_door(config, off, false, &result.error)) {
		return result;
	}

	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
	for (int i = 0; i < tags; i++) {
		// In turn, and each first every other time, so that neither
		// always follows the other.
		Door& first = i % 2 == 0 ? on : off;
		Door& second = i % 2 == 0 ? off : on;
		if (!one_tag(first, tag, &result.error)
			|| !one_tag(second, tag, &result.error)) {
			return result;
		}
		if ((i + 1) % 50 == 0)
			fprintf(stderr, "  log cost: %d of %d\n", i + 1, tags);
	}
	on.rdx->Stop(10);
	off.rdx->Stop(10);

	// The figure counts only if the one log was written and the other not.
	std::string log = on.stateHome + "/RDX/access.log";
	result.recordsWritten = count_lines_with(log, "\"event\":\"relay\"");
	if (result.recordsWritten < 2 * tags) {
		result.error = "the log holds " + std::to_string(result.recordsWritten)
			+ " relay records, not " + std::to_string(2 * tags);
		return result;
	}
	result.ok = true;
	return result;
}
