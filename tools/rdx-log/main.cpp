// rdx-log: shows the access log of rdx and rdx-reader.

#include "LogOptions.h"

#include <AccessLogFile.h>
#include <Locale.h>
#include <LogReader.h>
#include <RecordPrinter.h>
#include <TagNames.h>

#include <cstdio>
#include <string>
#include <vector>


static void
note_damage(const LogReader& reader)
{
	if (reader.Damaged() == 0)
		return;
	fprintf(stderr, reader.Damaged() == 1
		? B_TRANSLATE("rdx-log: %d damaged line skipped (the first: %s)\n")
		: B_TRANSLATE("rdx-log: %d damaged lines skipped (the first: %s)\n"),
		reader.Damaged(), reader.FirstDamage().c_str());
}


int
main(int argc, char** argv)
{
	LogOptions options;
	std::string error;
	if (options.Parse(std::vector<std::string>(argv + 1, argv + argc), &error)
			!= B_OK) {
		fprintf(stderr, "rdx-log: %s\n%s", error.c_str(),
			be_locale->GetLines(LogOptions::Usage()).c_str());
		return 2;
	}
	if (options.help) {
		fputs(be_locale->GetLines(LogOptions::Usage()).c_str(), stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-log %s\n", RDX_VERSION);
		return 0;
	}

	std::string path = options.logPath.empty() ? AccessLogPath()
		: options.logPath;
	if (path.empty()) {
		fputs(B_TRANSLATE("rdx-log: no access log: neither XDG_STATE_HOME"
			" nor HOME is set; name one with --log\n"), stderr);
		return 1;
	}
	TagNames names;
	names.Load(options.tagsPath.empty() ? TagListPath() : options.tagsPath);

	LogReader reader(path);
	std::vector<LogRecord> records;
	if (reader.ReadAll(&records) != B_OK) {
		fprintf(stderr, "rdx-log: %s\n", reader.Error().c_str());
		return 1;
	}

	RecordPrinter printer(stdout, options.format, names);
	printer.PrintHeader();
	for (const LogRecord& record : records) {
		if (options.filter.Matches(record))
			printer.Print(record);
	}
	if (!options.follow) {
		note_damage(reader);
		return 0;
	}

	// What was there is done with: its damage is told now, a new damaged
	// line when it comes.
	note_damage(reader);
	fflush(stdout);
	status_t status = reader.Follow([&](const LogRecord& record) {
		if (options.filter.Matches(record)) {
			printer.Print(record);
			fflush(stdout);
		}
		return true;
	}, [](const std::string& where) {
		fprintf(stderr, B_TRANSLATE("rdx-log: damaged line skipped (%s)\n"),
			where.c_str());
	});
	fprintf(stderr, "rdx-log: %s\n", reader.Error().c_str());
	return status == B_OK ? 0 : 1;
}
