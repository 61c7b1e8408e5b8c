// rdx-tags: the window that manages the tag list of rdx-reader, and its
// list in and out of a spreadsheet from a shell.

#include <CsvCommand.h>
#include <TagExport.h>
#include <TagsApplication.h>
#include <TagsWindow.h>

#include <AccessLogFile.h>
#include <Errors.h>
#include <InterfaceDefs.h>
#include <Locale.h>
#include <Message.h>
#include <TagList.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
	"usage: rdx-tags [--tags FILE] [--log FILE] [--add TAG]\n"
	"       rdx-tags [--tags FILE] [--log FILE] --export FILE.csv"
		" [--separator ,|;]\n"
	"       rdx-tags [--tags FILE] --import FILE.csv [--replace]\n"
	"A window to manage who may open the door: the tag list of rdx-reader\n"
	"as a table, recent reads from the access log as they come, and\n"
	"dialogs to add, change and remove tags and named sets of hours. One\n"
	"runs per user: a second one hands its request to the first.\n"
	"  --tags FILE           the tag list (default ~/.config/RDX/tags)\n"
	"  --log FILE            the access log (default\n"
	"                        ~/.local/state/RDX/access.log)\n"
	"  --add TAG             open the dialog that adds the tag\n"
	"  --export FILE.csv     write the list as CSV (tag, name, rules,\n"
	"                        last seen) and end\n"
	"  --separator , or ;    with --export: the separator (default ';'\n"
	"                        where numbers have a decimal comma, else ',')\n"
	"  --import FILE.csv     add the file's new tags to the list, list the\n"
	"                        tags whose name or rules differ, and end\n"
	"  --replace             with --import: take the file's version of\n"
	"                        the tags that differ\n"
	"  --help                this text\n"
	"  --version             the program's version\n"
	"Exit status: 0 done, 1 refused (nothing written), 2 bad arguments,\n"
	"3 when the port of rdx-tags cannot be made safely.\n";


struct TagsOptions {
	std::string	tagsPath;
	std::string	logPath;
	std::string	addTag;
	bool		add = false;
	std::string	exportPath;
	std::string	importPath;
	char		separator = 0;
	bool		replace = false;
	bool		help = false;
	bool		version = false;
};


bool
parse_options(int argc, char** argv, TagsOptions* options, std::string* error)
{
	for (int i = 1; i < argc; i++) {
		std::string argument = argv[i];
		std::string value;
		bool hasValue = false;
		size_t equals = argument.find('=');
		if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
			value = argument.substr(equals + 1);
			argument.erase(equals);
			hasValue = true;
		}
		bool takesValue = argument == "--tags" || argument == "--log"
			|| argument == "--add" || argument == "--export"
			|| argument == "--import" || argument == "--separator";
		if (!takesValue && hasValue) {
			*error = argument + " takes no value";
			return false;
		}
		// The value is the next word whatever it is: a tag may begin
		// with '-'.
		if (takesValue && !hasValue) {
			if (i + 1 >= argc) {
				*error = argument + " needs a value";
				return false;
			}
			value = argv[++i];
		}
		if (takesValue && value.empty()) {
			*error = argument + " needs a value";
			return false;
		}
		if (argument == "--help")
			options->help = true;
		else if (argument == "--version")
			options->version = true;
		else if (argument == "--replace")
			options->replace = true;
		else if (argument == "--tags")
			options->tagsPath = value;
		else if (argument == "--log")
			options->logPath = value;
		else if (argument == "--export")
			options->exportPath = value;
		else if (argument == "--import")
			options->importPath = value;
		else if (argument == "--add") {
			options->add = true;
			options->addTag = value;
		} else if (argument == "--separator") {
			if (value != "," && value != ";") {
				*error = "--separator is ',' or ';', not \"" + value + "\"";
				return false;
			}
			options->separator = value[0];
		} else {
			*error = "unknown option \"" + argument + "\"";
			return false;
		}
	}
	int commands = options->add + !options->exportPath.empty()
		+ !options->importPath.empty();
	if (commands > 1) {
		*error = "--add, --export and --import exclude each other";
		return false;
	}
	if (options->replace && options->importPath.empty()) {
		*error = "--replace goes with --import";
		return false;
	}
	if (options->separator != 0 && options->exportPath.empty()) {
		*error = "--separator goes with --export";
		return false;
	}
	if (options->add && !TagLine::IsWritableTag(options->addTag)) {
		*error = "--add: \"" + TagList::Printable(options->addTag)
			+ "\" cannot stand in the list as a tag";
		return false;
	}
	return true;
}

}	// namespace


int
main(int argc, char** argv)
{
	setvbuf(stdout, nullptr, _IOLBF, 0);
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
	if (!options.importPath.empty()) {
		return CsvCommand::Import(options.tagsPath, options.importPath,
			options.replace, stdout, stderr);
	}
	if (options.logPath.empty()) {
		fprintf(stderr, "rdx-tags: no access log: neither XDG_STATE_HOME "
			"nor HOME is set; name one with --log\n");
		return 2;
	}
	if (!options.exportPath.empty()) {
		return CsvCommand::Export(options.tagsPath, options.logPath,
			options.exportPath, options.separator != 0 ? options.separator
				: TagExport::DefaultSeparator(), stdout, stderr);
	}

	BMessage request(options.add ? RDX_TAGS_ADD : RDX_TAGS_SHOW);
	if (options.add)
		request.AddString(RDX_TAGS_TAG, options.addTag.c_str());
	TagsApplication* application = new TagsApplication();
	if (application->InitCheck() == B_NAME_IN_USE) {
		// One window edits the list: the one that runs takes the request.
		delete application;
		status_t status = BMessenger(RDX_TAGS_SIGNATURE).SendMessage(&request,
			nullptr, 5000000);
		if (status != B_OK) {
			fprintf(stderr, B_TRANSLATE("rdx-tags: another rdx-tags runs for"
				" this user, but does not answer (%s)\n"), status_text(status));
			return 1;
		}
		printf("%s", B_TRANSLATE("rdx-tags: handed to the rdx-tags that"
			" runs\n"));
		return 0;
	}
	if (application->InitCheck() != B_OK) {
		fprintf(stderr, "rdx-tags: %s; this one does not start\n",
			application->InitProblem());
		delete application;
		return 3;
	}
	if (open_display() != B_OK) {
		delete application;
		return 1;
	}

	TagsWindow* window = new TagsWindow(BRect(60, 60, 880, 640),
		options.tagsPath, options.logPath);
	application->SetWindow(BMessenger(window));
	window->Show();
	printf("rdx-tags: %s\n", options.tagsPath.c_str());
	if (options.add)
		BMessenger(window).SendMessage(&request);
	application->Run();
	delete application;
	return 0;
}
