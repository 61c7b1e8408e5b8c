#include "RDXApplication.h"

#include <AnswerDirectory.h>
#include <AccessLog.h>
#include <InterfaceDefs.h>
#include <OpenGate.h>
#include <OpenRelayRecord.h>
#include <Prefs.h>
#include <RelayRecovery.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
	"usage: rdx [--help | --version]\n"
	"The RDX window: drives a four-relay network board and opens the tag\n"
	"relay when another program (a tag reader, rdx-send) reports a tag.\n"
	"Settings are typed attributes of ~/.config/RDX/RDX_settings.\n"
	"  --help                this text\n"
	"  --version             the program's version\n";

}	// namespace


int
main(int argc, char** argv)
{
	// Answered before anything else, so that neither needs a display.
	if (argc == 2 && strcmp(argv[1], "--help") == 0) {
		fputs(kUsage, stdout);
		return 0;
	}
	if (argc == 2 && strcmp(argv[1], "--version") == 0) {
		printf("rdx %s\n", RDX_VERSION);
		return 0;
	}
	// A launcher or a desktop entry may pass a file or an address (%U):
	// the window still starts, and one line says what was left unused.
	if (argc > 1) {
		std::string ignored;
		for (int i = 1; i < argc; i++) {
			std::string argument = argv[i];
			// Still one line, whatever an argument holds.
			for (char& c : argument) {
				if ((unsigned char)c < 0x20 || c == 0x7f)
					c = '?';
			}
			ignored += std::string(i > 1 ? " " : "") + "\"" + argument + "\"";
		}
		fprintf(stderr, "rdx: takes no arguments, ignored: %s (see rdx "
			"--help)\n", ignored.c_str());
	}

	// Without a display nothing of rdx can be used: it ends before it
	// touches the board, the record of open relays or the settings.
	if (open_display() != B_OK)
		return 1;

	// First of all: a second rdx of the same user must leave the first
	// one's board, settings, port and log alone.
	RDXApplication* app = new RDXApplication();
	if (app->InitCheck() != B_OK) {
		// Without its port, a second rdx would not see this one either:
		// what is wrong with the port is mended first.
		if (app->InitCheck() == B_NAME_IN_USE) {
			fprintf(stderr, "rdx: another rdx already runs for this user; "
				"this one does not start\n");
		} else {
			fprintf(stderr, "rdx: %s; this one does not start\n",
				app->InitProblem());
		}
		delete app;
		// Its own status, so that a service manager does not try again.
		return 3;
	}

	printf("-RDX begin-\n");
	// Made before the first board request; removed with the answers in it
	// once the last close on quit has ended.
	AnswerDirectory::Path();
	// Whether wget waits at the gate is tried meanwhile, so that it is known
	// by the first open (until then an open waits for the disk first).
	OpenGate::WgetWaitsAtIt();
	// Never deleted: a relay worker may still report while the process
	// ends.
	AccessLog* log = new AccessLog("rdx");
	AccessLog::SetDefault(log);
	log->Start();
	// What an earlier run left open is closed before the start-up pulse,
	// whatever board use says. Never deleted either, for the same reason.
	OpenRelayRecord* record = new OpenRelayRecord(
		OpenRelayRecord::DefaultPath());
	RelayRecovery::AtStart(*record, [] {
		// Only for a record that cannot be trusted: the board the settings
		// stored before this start gets all four relays closed. Read
		// without the settings record, which would print its lines and
		// make the file before the window does.
		std::string address;
		Prefs::StoredAddress(&address);
		return address;
	});
	OpenRelayRecord::SetDefault(record);
	app->Run();
	printf("\n-RDX end-\n");
	delete app;
	log->Stop();
	log->Flush();
	AnswerDirectory::Remove();
	return 0;
}
