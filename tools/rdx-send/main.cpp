// rdx-send: posts one message to a running application through its message
// port, as a tag reader does.

#include "SendArguments.h"

#include <Message.h>
#include <Messenger.h>
#include <PortWatcher.h>
#include <RDXDefs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
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
