#include "LogTestSupport.h"

#include <AccessLog.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>


std::vector<std::string>
FileLines(const std::string& path)
{
	std::vector<std::string> lines;
	std::istringstream in(read_file(path));
	for (std::string line; std::getline(in, line);)
		lines.push_back(line);
	return lines;
}


std::vector<nlohmann::json>
FileRecords(const std::string& path)
{
	std::vector<nlohmann::json> records;
	for (const std::string& line : FileLines(path)) {
		nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
		EXPECT_FALSE(record.is_discarded()) << "not JSON: " << line;
		if (!record.is_discarded())
			records.push_back(record);
	}
	return records;
}


std::vector<nlohmann::json>
RecordsOf(const std::string& path, const std::string& event)
{
	std::vector<nlohmann::json> found;
	for (nlohmann::json& record : FileRecords(path)) {
		if (record.value("event", "") == event)
			found.push_back(record);
	}
	return found;
}


void
AppendText(const std::string& path, const std::string& text)
{
	std::ofstream out(path, std::ios::app);
	out << text;
}


std::string
RecordLine(const std::string& time, const std::string& event,
	const nlohmann::json& fields)
{
	nlohmann::ordered_json record = {{"time", time}, {"program", "rdx"},
		{"pid", 42}, {"event", event}};
	for (auto& [name, value] : fields.items())
		record[name] = value;
	return record.dump() + "\n";
}


LogRun
RunRdxLog(const std::vector<std::string>& arguments,
	const std::map<std::string, std::string>& environment)
{
	std::vector<std::string> argv = {RDX_BINARY_DIR "/tools/rdx-log/rdx-log"};
	argv.insert(argv.end(), arguments.begin(), arguments.end());
	ChildProcess::Options options;
	options.environment["TZ"] = "UTC";
	// A tag list of the machine's own must not name the tests' tags.
	options.environment["XDG_CONFIG_HOME"] = "/nonexistent";
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	ChildProcess program(argv, options);
	LogRun run;
	if (!program.Wait(30, &run.status))
		run.status = -1;
	run.output = program.Output();
	run.errors = program.Errors();
	return run;
}


std::string
SelfProgram()
{
	char self[4096];
	ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
	if (length <= 0)
		return std::string();
	self[length] = '\0';
	return self;
}


int
WriteRecordsMain(int argc, char** argv)
{
	if (argc != 6)
		return 2;
	std::string path = argv[2];
	std::string program = argv[3];
	int count = atoi(argv[4]);
	size_t size = (size_t)atoi(argv[5]);
	AccessLog log(program.c_str(), path);
	// As fast as it can: the whole burst is queued long before the disk
	// has taken it.
	for (int i = 0; i < count; i++)
		log.Record("test", {{"seq", i}, {"pad", std::string(size, 'x')}});
	log.Flush();
	return log.Dropped() == 0 ? 0 : 3;
}
