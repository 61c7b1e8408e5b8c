// rdx-reader: turns the tags that real readers read into tag reads for
// rdx, posted through its message port as rdx-send does.

#include <AccessLog.h>
#include <DeviceList.h>
#include <Locale.h>
#include <ReaderLoop.h>
#include <PinSetter.h>
#include <ReaderOptions.h>
#include <TagCheck.h>
#include <TagList.h>

#include <cstdio>
#include <string>
#include <vector>


int
main(int argc, char** argv)
{
	// Lines reach a pipe or the journal as they are written.
	setvbuf(stdout, nullptr, _IOLBF, 0);

	ReaderOptions options;
	std::string error;
	if (options.Parse(std::vector<std::string>(argv + 1, argv + argc), &error)
			!= B_OK) {
		fprintf(stderr, "rdx-reader: %s\n%s", error.c_str(),
			be_locale->GetLines(ReaderOptions::Usage()).c_str());
		return 2;
	}
	if (options.help) {
		fputs(be_locale->GetLines(ReaderOptions::Usage()).c_str(), stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-reader %s\n", RDX_VERSION);
		return 0;
	}
	if (options.check) {
		return TagCheck::Run(options.tags.empty() ? TagList::DefaultPath()
			: options.tags, options.checkTag, options.at, stdout);
	}
	if (options.setPin) {
		return PinSetter::Run(options.tags.empty() ? TagList::DefaultPath()
			: options.tags, options.setPinTag, 0, stdout, stderr);
	}
	if (options.list) {
		DeviceList().Print(stdout);
		return 0;
	}

	AccessLog log("rdx-reader");
	ReaderLoop loop(options);
	loop.SetLog(&log);
	int status = loop.Run();
	log.Flush();
	return status;
}
