// rdx-door: the door beside rdx. Its exit button opens the tag relay
// through rdx, its contact tells whether it stands open, and a door held
// open, forced open or whose contact cannot be read is an alarm.

#include "DoorOptions.h"

#include <AccessLog.h>
#include <DoorApplication.h>
#include <DoorConfig.h>
#include <DoorDefs.h>
#include <DoorLoop.h>
#include <Locale.h>

#include <csignal>
#include <cstdio>


static void
print_settings(const DoorConfig& config, const std::string& path)
{
	printf(B_TRANSLATE("%s: the door %s; held open after %s, forced after a"
		" grace of %s, relock %s\n"), path.c_str(), config.door.c_str(),
		DoorConfig::FormatDuration(config.heldOpen).c_str(),
		DoorConfig::FormatDuration(config.forcedGrace).c_str(),
		config.relock ? "on" : "off");
	for (const DoorInput& input : config.inputs) {
		std::string extra;
		if (input.kind == DoorInput::kEvdev)
			extra = input.type == 1 ? B_TRANSLATE("a key: the device is"
				" grabbed") : B_TRANSLATE("a switch: not grabbed");
		else if (input.kind == DoorInput::kMqtt) {
			extra = translate_format("through rdx-mqtt, silent after %s",
				DoorConfig::FormatDuration(input.interval).c_str());
		}
		if (input.kind != DoorInput::kMqtt && input.debounce > 0) {
			extra += (extra.empty() ? "" : ", ") + translate_format(
				"debounce %s", DoorConfig::FormatDuration(input.debounce)
					.c_str());
		}
		if (input.role == DoorInput::kContact && input.kind != DoorInput::kMqtt)
			extra += std::string(extra.empty() ? "" : ", ")
				+ (input.activeMeansOpen ? B_TRANSLATE("active means open")
					: B_TRANSLATE("active means closed"));
		printf("  %s (%s)\n", input.Name().c_str(), extra.c_str());
	}
}


int
main(int argc, char** argv)
{
	// Lines reach a pipe or the journal as they are written.
	setvbuf(stdout, nullptr, _IOLBF, 0);

	DoorOptions options = DoorOptions::Parse(
		std::vector<std::string>(argv + 1, argv + argc));
	if (!options.error.empty()) {
		fprintf(stderr, "rdx-door: %s\n%s", options.error.c_str(),
			be_locale->GetLines(DoorOptions::Usage()).c_str());
		return 2;
	}
	if (options.help) {
		fputs(be_locale->GetLines(DoorOptions::Usage()).c_str(), stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-door %s\n", RDX_VERSION);
		return 0;
	}

	std::string path = options.configFile.empty() ? DoorConfig::DefaultPath()
		: options.configFile;
	DoorConfig config;
	if (config.Load(path) != B_OK) {
		for (const std::string& error : config.Errors())
			fprintf(stderr, "rdx-door: %s\n", error.c_str());
		fprintf(stderr, B_TRANSLATE("rdx-door: %s cannot serve: nothing is"
			" watched\n"), path.c_str());
		return 2;
	}
	if (options.check) {
		print_settings(config, path);
		return 0;
	}

	// A connection that rdx closed must not end this program.
	signal(SIGPIPE, SIG_IGN);
	// First of all: a second rdx-door must leave the first one's door
	// alone.
	DoorApplication* app = new DoorApplication();
	if (app->InitCheck() != B_OK) {
		fputs(B_TRANSLATE("rdx-door: another rdx-door already runs for this"
			" user; this one does not start\n"), stderr);
		delete app;
		return 3;
	}

	AccessLog log("rdx-door");
	int status = 0;
	{
		DoorLoop loop(config);
		loop.SetLog(&log);
		loop.SetNoticeSink([app](const BMessage& notice) {
			app->SendNotices(RDX_NOTICE_DOOR, &notice);
		});
		print_settings(config, path);
		if (loop.Open()) {
			app->SetLoop(&loop);
			loop.Start();
			app->Run();
			loop.Stop();
			app->SetLoop(nullptr);
			fputs(B_TRANSLATE("rdx-door: stopped\n"), stdout);
		} else
			status = 1;
	}
	delete app;
	log.Flush();
	return status;
}
