#include "RDXApplication.h"

#include <AnswerDirectory.h>
#include <AccessLog.h>

#include <cstdio>
#include <cstring>

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
	if (argc > 1) {
		fprintf(stderr, "rdx: unexpected argument \"%s\"\n%s", argv[1],
			kUsage);
		return 2;
	}

	printf("-RDX begin-\n");
	// Made before the first board request, the one at start-up; removed
	// with the answers in it once the last close on quit has ended.
	AnswerDirectory::Path();
	// Never deleted: a relay worker may still report while the process
	// ends.
	AccessLog* log = new AccessLog("rdx");
	AccessLog::SetDefault(log);
	log->Start();
	RDXApplication* app = new RDXApplication();
	app->Run();
	printf("\n-RDX end-\n");
	delete app;
	log->Stop();
	log->Flush();
	AnswerDirectory::Remove();
	return 0;
}
