// rdx-send: posts one message to a running application through its message
// port, as a tag reader does.

#include "SendArguments.h"

#include <DeskDefs.h>
#include <DoorDefs.h>
#include <KeepOpenTime.h>
#include <Message.h>
#include <Messenger.h>
#include <PortWatcher.h>
#include <RDXDefs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Long enough for an application that is busy for a moment, short enough
// that a script using the tool does not hang on one that is stuck.
const bigtime_t kSendTimeout = 10 * 1000000LL;


// Prints every notice until the application ends the watch.
int
Watch(const SendArguments& parsed)
{
	const char* signature = parsed.Signature().c_str();
	BPrivate::PortWatcher watcher(signature, parsed.WatchCodes());
	status_t status = watcher.Start(kSendTimeout);
	switch (status) {
		case B_OK:
			break;
		case B_BAD_PORT_ID:
			fprintf(stderr, "rdx-send: no application with the signature %s"
				" is running\n", signature);
			return 1;
		case B_WOULD_BLOCK:
			fprintf(stderr, "rdx-send: %s has as many watchers as it takes\n",
				signature);
			return 1;
		case B_PERMISSION_DENIED:
			fprintf(stderr, "rdx-send: the application %s runs as another"
				" user and is not watched\n", signature);
			return 1;
		default:
			fprintf(stderr, "rdx-send: could not watch %s: %s\n", signature,
				status_text(status));
			return 1;
	}

	for (;;) {
		BMessage notice;
		std::string problem;
		status = watcher.ReadNotice(&notice, &problem);
		if (status == B_OK) {
			notice.PrintToStream();
			continue;
		}
		if (status == B_WOULD_BLOCK) {
			pollfd entry = {watcher.FD(), POLLIN, 0};
			if (poll(&entry, 1, -1) < 0 && errno != EINTR) {
				fprintf(stderr, "rdx-send: %s\n", strerror(errno));
				return 1;
			}
			continue;
		}
		if (status == B_BAD_PORT_ID) {
			fprintf(stderr, "rdx-send: %s ended the watch\n", signature);
			return 0;
		}
		fprintf(stderr, "rdx-send: the watch of %s broke: %s\n", signature,
			problem.c_str());
		return 1;
	}
}

// What a refusal's word means, for the line that says it.
const char*
RefusalText(const char* why)
{
	static const struct {
		const char*	why;
		const char*	text;
	} kTexts[] = {
		{RDX_REFUSED_LOCKDOWN, "the door is in lockdown"},
		{RDX_REFUSED_BOARD_USE_OFF, "board use is off"},
		{RDX_REFUSED_TOO_LATE, "rdx took it only after this tool had"
			" stopped waiting"},
		{RDX_REFUSED_NO_RECORD, "the record of open relays cannot be kept"
			" (rdx's output says why)"},
		{RDX_REFUSED_BAD_REQUEST, "rdx did not take it for a command"},
		{RDX_REFUSED_NOT_WRITTEN, "the lift cannot be written to the state"
			" directory (rdx's output says why); lockdown stays on"},
		{RDX_REFUSED_NO_TIMER, "rdx cannot time its end"},
	};
	for (const auto& entry : kTexts) {
		if (strcmp(entry.why, why) == 0)
			return entry.text;
	}
	return why;
}


// The state in rdx's notice, as lines: lockdown, and what is kept open.
void
PrintDoorMode(const BMessage& notice)
{
	bool lockdown = false;
	notice.FindBool(RDX_FIELD_LOCKDOWN, &lockdown);
	printf("lockdown: %s\n", lockdown ? "on" : "off");
	int32 relay = 0;
	notice.FindInt32(RDX_FIELD_KEPT_RELAY, &relay);
	if (relay == 0) {
		printf("keep open: none\n");
		return;
	}
	int32 left = 0;
	notice.FindInt32(RDX_FIELD_KEPT_LEFT, &left);
	time_t until = time(nullptr) + left;
	struct tm local;
	localtime_r(&until, &local);
	char text[32];
	strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
	printf("keep open: relay %d until %s (%s left)\n", (int)relay, text,
		KeepOpenTime::Format(left).c_str());
}


// Sends a desk command and waits for rdx's answer, which the watch that
// begins first cannot miss; prints the state the command left.
int
Command(const SendArguments& parsed)
{
	const char* signature = parsed.Signature().c_str();
	BPrivate::PortWatcher watcher(signature, {RDX_NOTICE_DOOR_MODE});
	status_t status = watcher.Start(kSendTimeout);
	BMessage message(parsed.Message());
	std::string request = std::to_string((long)getpid()) + "-"
		+ std::to_string((long long)system_time());
	bigtime_t deadline = system_time() + kSendTimeout;
	message.AddString(RDX_FIELD_SENDER, "rdx-send");
	message.AddString(RDX_FIELD_REQUEST, request.c_str());
	message.AddString(RDX_FIELD_DEADLINE, FormatDeadline(deadline).c_str());
	if (status == B_OK) {
		BMessenger messenger(signature, -1, &status);
		if (status == B_OK)
			status = messenger.SendMessage(&message, nullptr, kSendTimeout);
	}
	if (status == B_BAD_PORT_ID) {
		fprintf(stderr, "rdx-send: no application with the signature %s"
			" is running\n", signature);
		return 1;
	}
	if (status != B_OK) {
		fprintf(stderr, "rdx-send: could not deliver the command to %s: %s\n",
			signature, status_text(status));
		return 1;
	}

	for (;;) {
		BMessage notice;
		std::string problem;
		status = watcher.ReadNotice(&notice, &problem);
		if (status == B_WOULD_BLOCK) {
			bigtime_t left = deadline - system_time();
			pollfd entry = {watcher.FD(), POLLIN, 0};
			if (left <= 0 || (poll(&entry, 1, (int)(left / 1000) + 1) < 0
					&& errno != EINTR))
				break;
			continue;
		}
		if (status != B_OK)
			break;
		const char* answer = nullptr;
		if (notice.FindString(RDX_FIELD_ANSWER, &answer) != B_OK
			|| request != answer)
			continue;
		const char* result = "";
		notice.FindString(RDX_FIELD_RESULT, &result);
		if (strcmp(result, RDX_RESULT_DONE) != 0) {
			const char* why = "";
			notice.FindString(RDX_FIELD_WHY, &why);
			fprintf(stderr, "rdx-send: refused: %s\n", RefusalText(why));
			PrintDoorMode(notice);
			return 1;
		}
		PrintDoorMode(notice);
		return 0;
	}
	fprintf(stderr, "rdx-send: the command was delivered, but %s did not"
		" answer within %d seconds\n", signature,
		(int)(kSendTimeout / 1000000));
	return 1;
}

}	// namespace


int
main(int argc, char** argv)
{
	std::vector<std::string> arguments(argv + 1, argv + argc);
	SendArguments parsed(RDX_SIGNATURE);
	if (parsed.Parse(arguments) != B_OK) {
		fprintf(stderr, "rdx-send: %s\n%s", parsed.Error().c_str(),
			SendArguments::Usage());
		return 2;
	}
	if (parsed.WantsHelp()) {
		fputs(SendArguments::Usage(), stdout);
		return 0;
	}
	if (parsed.WantsVersion()) {
		printf("rdx-send %s\n", RDX_VERSION);
		return 0;
	}
	if (parsed.Watches())
		return Watch(parsed);
	if (parsed.IsDeskCommand())
		return Command(parsed);

	const char* signature = parsed.Signature().c_str();
	status_t status;
	BMessenger messenger(signature, -1, &status);
	if (status == B_OK) {
		BMessage message(parsed.Message());
		// A tag read counts as long as this tool waits for it to be taken
		// (a deadline given on the command line stays as given): taken
		// later, when the tool has said it was not, it opens nothing.
		if (message.what == RDX_MSG_TAG
			&& !message.HasString(RDX_FIELD_DEADLINE)) {
			message.AddString(RDX_FIELD_DEADLINE,
				FormatDeadline(system_time() + kSendTimeout).c_str());
		}
		status = messenger.SendMessage(&message, nullptr, kSendTimeout);
	}
	switch (status) {
		case B_OK:
			return 0;
		case B_BAD_PORT_ID:
			fprintf(stderr, "rdx-send: no application with the signature %s"
				" is running\n", signature);
			return 1;
		case B_TIMED_OUT:
			fprintf(stderr, "rdx-send: %s did not take the message within %d"
				" seconds\n", signature, (int)(kSendTimeout / 1000000));
			return 1;
		case B_PERMISSION_DENIED:
			fprintf(stderr, "rdx-send: the application %s runs as another"
				" user and was not sent the message\n", signature);
			return 1;
		default:
			fprintf(stderr, "rdx-send: could not deliver the message to %s:"
				" %s\n", signature, status_text(status));
			return 1;
	}
}
