#ifndef TEST_LOG_TEST_SUPPORT_H
#define TEST_LOG_TEST_SUPPORT_H

// Shared by the access log tests: the records of a log file read back with
// the JSON library, past the log's own reader, and rdx-log run as a program.

#include "ChildProcess.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

// The lines of a file, without their '\n'.
std::vector<std::string> FileLines(const std::string& path);

// Every line of the file as JSON; a line that does not parse fails the test
// that asked (and is left out).
std::vector<nlohmann::json> FileRecords(const std::string& path);

// The records of the file with this event.
std::vector<nlohmann::json> RecordsOf(const std::string& path,
	const std::string& event);

// Appends text to a file as another writer would.
void AppendText(const std::string& path, const std::string& text);

// A record line of the log's own form, for rdx-log tests.
std::string RecordLine(const std::string& time, const std::string& event,
	const nlohmann::json& fields = nlohmann::json::object());

struct LogRun {
	int				status = -1;
	std::string		output;
	std::string		errors;
};

// Runs rdx-log with the arguments, in UTC, with no tag list unless named;
// waits for its end.
LogRun RunRdxLog(const std::vector<std::string>& arguments,
	const std::map<std::string, std::string>& environment = {});

// This test program's own path, for the writer children.
std::string SelfProgram();

// The mode of this test program that writes count records through an
// AccessLog of the given program name to path, each padded to about size
// bytes, then ends: "--write-records PATH PROGRAM COUNT SIZE".
int WriteRecordsMain(int argc, char** argv);

#endif
