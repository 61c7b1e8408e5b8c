// rdx-tags: the window that manages the tag list of rdx-reader.

#include <TagsWindow.h>

#include <AccessLogFile.h>
#include <Application.h>
#include <InterfaceDefs.h>
#include <TagList.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
	"usage: rdx-tags [--tags FILE] [--log FILE]\n"
	"A window to manage who may open the door: the tag list of rdx-reader\n"
	"as a table, recent reads from the access log as they come, and\n"
	"dialogs to add, change and remove tags and named sets of hours.\n"
	"  --tags FILE           the tag list (default ~/.config/RDX/tags)\n"
	"  --log FILE            the access log (default\n"
	"                        ~/.local/state/RDX/access.log)\n"
	"  --help                this text\n"
	"  --version             the program's version\n";


struct TagsOptions {
	std::string	tagsPath;
	std::string	logPath;
	bool		help = false;
	bool		version = false;
};


bool
parse_options(int argc, char** argv, TagsOptions* options, std::string* error)
{
	for (int i = 1; i < argc; i++) {
		std::string argument = argv[i];
		if (argument == "--help")
			options->help = true;
		else if (argument == "--version")
			options->version = true;
		else if ((argument == "--tags" || argument == "--log")
			&& i + 1 < argc && argv[i + 1][0] != '\0') {
			(argument == "--tags" ? options->tagsPath : options->logPath)
				= argv[++i];
		} else if (argument == "--tags" || argument == "--log") {
			*error = argument + " needs a file";
			return false;
		} else {
			*error = "unknown option \"" + argument + "\"";
			return false;
		}
	}
	return true;
}

}	// namespace


int
main(int argc, char** argv)
{
	TagsOptions options;
	std::string error;
	if (!parse_options(argc, argv, &options, &error)) {
		fprintf(stderr, "rdx-tags: %s\n%s", error.c_str(), kUsage);
		return 2;
	}
	// Answered before anything else, so that neither needs a display.
	if (options.help) {
		fputs(kUsage, stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-tags %s\n", RDX_VERSION);
		return 0;
	}
	if (options.tagsPath.empty())
		options.tagsPath = TagList::DefaultPath();
	if (options.logPath.empty())
		options.logPath = AccessLogPath();
	if (options.logPath.empty()) {
		fprintf(stderr, "rdx-tags: no access log: neither XDG_STATE_HOME "
			"nor HOME is set; name one with --log\n");
		return 2;
	}
	if (open_display() != B_OK)
		return 1;

	BApplication application("application/x-vnd-RDX-Tags");
	TagsWindow* window = new TagsWindow(BRect(60, 60, 880, 640),
		options.tagsPath, options.logPath);
	window->Show();
	printf("rdx-tags: %s\n", options.tagsPath.c_str());
	application.Run();
	return 0;
}
