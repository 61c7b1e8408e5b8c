// rdx-send: posts one message to a running application through its message
// port, as a tag reader does.

#include "SendArguments.h"

#include <Messenger.h>
#include <RDXDefs.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Long enough for an application that is busy for a moment, short enough
// that a script using the tool does not hang on one that is stuck.
const bigtime_t kSendTimeout = 10 * 1000000LL;

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

	const char* signature = parsed.Signature().c_str();
	status_t status;
	BMessenger messenger(signature, -1, &status);
	if (status == B_OK) {
		BMessage message(parsed.Message());
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
