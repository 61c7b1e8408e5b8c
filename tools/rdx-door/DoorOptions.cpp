#include "DoorOptions.h"

#include <Locale.h>


DoorOptions
DoorOptions::Parse(const std::vector<std::string>& arguments)
{
	DoorOptions options;
	for (size_t i = 0; i < arguments.size(); i++) {
		const std::string& argument = arguments[i];
		if (argument == "--help" || argument == "-h")
			options.help = true;
		else if (argument == "--version")
			options.version = true;
		else if (argument == "--check")
			options.check = true;
		else if (argument == "--config" || argument.rfind("--config=", 0) == 0) {
			bool joined = argument != "--config";
			if (!joined && i + 1 >= arguments.size()) {
				options.error = B_TRANSLATE("--config needs a file");
				return options;
			}
			options.configFile = joined ? argument.substr(9) : arguments[++i];
			if (options.configFile.empty()) {
				options.error = B_TRANSLATE("--config needs a file");
				return options;
			}
		} else {
			options.error = translate_format("unknown argument \"%s\"",
				argument.c_str());
			return options;
		}
	}
	return options;
}


const char*
DoorOptions::Usage()
{
	return
		"usage: rdx-door [--config FILE] [--check]\n"
		"Watches the door beside rdx: its exit button asks rdx to open the"
			" tag relay,\n"
		"its contact tells when it opens and closes; a door held open, forced"
			" open or\n"
		"whose contact cannot be read raises an alarm (access log, journal,"
			" watchers,\n"
		"desktop notification).\n"
		"  --config FILE  the door's settings (default:"
			" $XDG_CONFIG_HOME/RDX/door.conf)\n"
		"  --check        read the settings, print what they say and exit\n"
		"  --help         this text\n"
		"  --version      the program's version\n"
		"Settings, \"key = value\" lines: door, held_open, forced_grace,"
			" relock,\n"
		"contact (one), exit (any number); see rdx-door(1).\n"
		"Exit status: 0 stopped by a signal, 1 could not run, 2 bad"
			" arguments or settings,\n"
		"3 another rdx-door runs for this user.\n";
}
