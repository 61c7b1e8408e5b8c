#ifndef LOG_OPTIONS_H
#define LOG_OPTIONS_H

#include <LogFilter.h>
#include <RecordPrinter.h>
#include <SupportDefs.h>

#include <string>
#include <vector>

// rdx-log's command line, parsed into one struct.
struct LogOptions {
	LogFilter		filter;
	RecordPrinter::Format format = RecordPrinter::kTable;
	bool			follow = false;
	// Empty: the default places.
	std::string		logPath;
	std::string		tagsPath;
	bool			help = false;
	bool			version = false;

	// B_OK, or B_BAD_VALUE with the reason in *error.
			status_t		Parse(const std::vector<std::string>& arguments,
								std::string* error);

	static	const char*		Usage();
};

#endif
