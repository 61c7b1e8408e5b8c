// The writing side: what each event's record holds, the file it goes to,
// two processes appending and rotating at once, a log that cannot be
// written.

#include "LogTestSupport.h"
#include "TempDir.h"

#include <AccessLog.h>
#include <AccessLogFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using nlohmann::json;


TEST(AccessLogPathTest, StateHomeThenHome)
{
	const char* savedState = getenv("XDG_STATE_HOME");
	std::string state = savedState != nullptr ? savedState : "";
	setenv("XDG_STATE_HOME", "/state/x", 1);
	EXPECT_EQ(AccessLogPath(), "/state/x/RDX/access.log");
	// A relative XDG_STATE_HOME is ignored: the log goes below HOME.
	setenv("XDG_STATE_HOME", "relative", 1);
	std::string home = getenv("HOME");
	EXPECT_EQ(AccessLogPath(), home + "/.local/state/RDX/access.log");
	unsetenv("XDG_STATE_HOME");
	EXPECT_EQ(AccessLogPath(), home + "/.local/state/RDX/access.log");
	setenv("XDG_STATE_HOME", state.c_str(), 1);
}


struct EventCase {
	const char*		name;
	std::function<void(AccessLog&)> record;
	json			expected;
};


TEST(AccessLogTest, EveryEventHasItsFields)
{
	TempDir directory("rdx-log-events");
	// The directory below does not exist yet: the log makes it.
	std::string path = directory.Sub("state/RDX/access.log");
	const std::vector<EventCase> cases = {
		{"start", [](AccessLog& log) { log.Start(); }, json::object()},
		{"stop", [](AccessLog& log) { log.Stop(); }, json::object()},
		{"tag", [](AccessLog& log) { log.Tag("04A1B2C3", nullptr, true); },
			{{"tag", "04A1B2C3"}, {"board_use", true}}},
		{"tag", [](AccessLog& log) { log.Tag("mqtt:door", "mqtt:hall", false); },
			{{"tag", "mqtt:door"}, {"reader", "mqtt:hall"},
				{"board_use", false}}},
		{"relay", [](AccessLog& log) {
				log.Relay(2, true, RDX_CAUSE_TAG, "04A1B2C3", 0, 12.34);
			}, {{"relay", 2}, {"action", "open"}, {"cause", "tag"},
				{"tag", "04A1B2C3"}, {"result", "ok"}, {"status", 0},
				{"ms", 12.3}}},
		{"relay", [](AccessLog& log) {
				log.Relay(4, false, RDX_CAUSE_HOLD_END, nullptr, 4, 2001.0,
					true);
			}, {{"relay", 4}, {"action", "close"}, {"cause", "hold-end"},
				{"result", "no-answer"}, {"status", 4}, {"timed_out", true},
				{"ms", 2001.0}}},
		{"board-use", [](AccessLog& log) { log.BoardUse(false, "no-answer"); },
			{{"use", "off"}, {"why", "no-answer"}}},
		{"setting", [](AccessLog& log) { log.Setting("hold time", 2, 5); },
			{{"setting", "hold time"}, {"old", 2}, {"new", 5}}},
		{"setting", [](AccessLog& log) {
				log.Setting("address", "127.0.0.1:1", "127.0.0.1:2");
			}, {{"setting", "address"}, {"old", "127.0.0.1:1"},
				{"new", "127.0.0.1:2"}}},
		// rdx-door's: what it leaves empty is not written.
		{"door", [](AccessLog& log) {
				log.Door({"front", "forced", "contact:gpiochip0/17", "open",
					"held-open,forced", "", ""});
			}, {{"door", "front"}, {"what", "forced"},
				{"input", "contact:gpiochip0/17"}, {"state", "open"},
				{"alarms", "held-open,forced"}}},
		{"door", [](AccessLog& log) {
				DoorRecord late;
				late.what = "exit";
				late.input = "exit:gpiochip0/27";
				late.result = "too-late";
				late.lateMs = 12.34;
				log.Door(late);
			}, {{"what", "exit"}, {"input", "exit:gpiochip0/27"},
				{"result", "too-late"}, {"late_ms", 12.3}}},
	};
	{
		AccessLog log("rdx", path);
		for (const EventCase& each : cases)
			each.record(log);
	}

	std::vector<json> records = FileRecords(path);
	ASSERT_EQ(records.size(), cases.size());
	for (size_t i = 0; i < cases.size(); i++) {
		SCOPED_TRACE(cases[i].name);
		const json& record = records[i];
		EXPECT_EQ(record["event"], cases[i].name);
		EXPECT_EQ(record["program"], "rdx");
		EXPECT_EQ(record["pid"], (int)getpid());
		// UTC with milliseconds, read back by the reader's own parser.
		ASSERT_TRUE(record["time"].is_string());
		std::string time = record["time"];
		EXPECT_EQ(time.size(), 24u) << time;
		EXPECT_EQ(time.back(), 'Z') << time;
		for (auto& [name, value] : cases[i].expected.items())
			EXPECT_EQ(record[name], value) << name << " in " << record;
		// Nothing but the four common fields and the event's own.
		EXPECT_EQ(record.size(), 4 + cases[i].expected.size()) << record;
	}
	// The record's time is when it was made, in order.
	for (size_t i = 1; i < records.size(); i++)
		EXPECT_LE(records[i - 1]["time"], records[i]["time"]);
}


// The call rdx-reader makes, one per tag read.
TEST(AccessLogTest, ReaderRecordsEveryOutcome)
{
	TempDir directory("rdx-log-reads");
	std::string path = directory.Sub("access.log");
	const std::map<ReadOutcome, std::string> outcomes = {
		{ReadOutcome::kPassedOn, "passed-on"},
		{ReadOutcome::kUnknown, "unknown"},
		{ReadOutcome::kRepeat, "repeat"},
		{ReadOutcome::kLearned, "learned"},
		{ReadOutcome::kNoRdx, "no-rdx"},
	};
	{
		AccessLog log("rdx-reader", path);
		for (const auto& [outcome, name] : outcomes)
			log.Read("serial:/dev/ttyUSB0", "04A1B2C3", outcome);
	}
	std::vector<json> records = RecordsOf(path, "read");
	ASSERT_EQ(records.size(), outcomes.size());
	std::set<std::string> seen;
	for (const json& record : records) {
		EXPECT_EQ(record["program"], "rdx-reader");
		EXPECT_EQ(record["source"], "serial:/dev/ttyUSB0");
		EXPECT_EQ(record["tag"], "04A1B2C3");
		seen.insert(record["outcome"].get<std::string>());
	}
	std::set<std::string> expected;
	for (const auto& [outcome, name] : outcomes)
		expected.insert(name);
	EXPECT_EQ(seen, expected);
}


TEST(AccessLogTest, HostileTextStaysOneRecordPerLine)
{
	TempDir directory("rdx-log-hostile");
	std::string path = directory.Sub("access.log");
	// A tag is whatever another program posted: quotes, a line break, a
	// control character and bytes that are not UTF-8.
	const std::string tag = "A\"B\\C\nD\x01\xff\xfe";
	{
		AccessLog log("rdx", path);
		log.Tag(tag.c_str(), "reader\n2", true);
		log.Stop();
	}
	std::vector<std::string> lines = FileLines(path);
	ASSERT_EQ(lines.size(), 2u);
	std::vector<json> records = FileRecords(path);
	ASSERT_EQ(records.size(), 2u);
	std::string kept = records[0]["tag"];
	EXPECT_EQ(kept.substr(0, 8), "A\"B\\C\nD\x01");
	// The bytes that are not UTF-8 became replacement characters.
	EXPECT_EQ(kept.substr(8), "\xEF\xBF\xBD\xEF\xBF\xBD");
	EXPECT_EQ(records[0]["reader"], "reader\n2");
	EXPECT_EQ(records[1]["event"], "stop");
}


// Two processes write 10,000 records each as fast as they can. At about
// 230 bytes a record the log rotates three or four times meanwhile.
TEST(AccessLogTest, TwoWritersAppendAndRotateWithoutLoss)
{
	TempDir directory("rdx-log-writers");
	std::string path = directory.Sub("access.log");
	const int count = 10000;
	std::vector<std::unique_ptr<ChildProcess>> writers;
	for (const char* program : {"writer-a", "writer-b"}) {
		writers.push_back(std::make_unique<ChildProcess>(
			std::vector<std::string>{SelfProgram(), "--write-records", path,
				program, std::to_string(count), "120"}));
	}
	for (std::unique_ptr<ChildProcess>& writer : writers) {
		int status = -1;
		ASSERT_TRUE(writer->Wait(100, &status)) << "a writer hung";
		EXPECT_EQ(status, 0) << writer->Errors();
	}

	std::map<std::string, std::set<int>> seen;
	int lines = 0;
	std::vector<std::string> files = {path};
	for (int n = 1; n <= RDX_LOG_KEPT_FILES; n++)
		files.push_back(RotatedLogPath(path, n));
	int rotated = 0;
	for (const std::string& file : files) {
		if (access(file.c_str(), F_OK) != 0)
			continue;
		if (file != path) {
			rotated++;
			// A rotation done twice would leave a short file behind.
			struct stat info;
			ASSERT_EQ(stat(file.c_str(), &info), 0);
			EXPECT_GE(info.st_size, RDX_LOG_ROTATE_SIZE) << file;
		}
		for (const json& record : FileRecords(file)) {
			lines++;
			std::string program = record["program"];
			int seq = record["seq"];
			EXPECT_TRUE(seen[program].insert(seq).second)
				<< program << " " << seq << " twice";
			EXPECT_EQ(record["pad"].get<std::string>().size(), 120u);
		}
	}
	EXPECT_GE(rotated, 3);
	EXPECT_LE(rotated, RDX_LOG_KEPT_FILES);
	EXPECT_EQ(lines, 2 * count);
	EXPECT_EQ(seen["writer-a"].size(), (size_t)count);
	EXPECT_EQ(seen["writer-b"].size(), (size_t)count);
}


TEST(AccessLogFileTest, RotationKeepsFiveAndDropsTheOldest)
{
	TempDir directory("rdx-log-rotate");
	std::string path = directory.Sub("access.log");
	// A file of 100 bytes takes two lines of 50.
	AccessLogFile file(path, 100);
	const std::string padding(45, 'x');
	for (int i = 0; i < 16; i++) {
		char line[64];
		snprintf(line, sizeof(line), "%03d %s\n", i, padding.c_str());
		ASSERT_EQ(file.Append(line), B_OK) << file.Error();
	}
	// Lines 0 to 5 are gone; .5 holds 6 and 7, ... the log holds 14, 15.
	EXPECT_NE(access(RotatedLogPath(path, 6).c_str(), F_OK), 0);
	for (int n = 1; n <= 5; n++) {
		std::vector<std::string> lines = FileLines(RotatedLogPath(path, n));
		ASSERT_EQ(lines.size(), 2u) << n;
		EXPECT_EQ(atoi(lines[0].c_str()), 14 - 2 * n) << n;
	}
	std::vector<std::string> current = FileLines(path);
	ASSERT_EQ(current.size(), 2u);
	EXPECT_EQ(atoi(current[0].c_str()), 14);
}


// A log whose directory cannot be made: one line on stderr, the first time
// only, and the records after it cost nothing more.
TEST(AccessLogTest, UnwritableLogSaysSoOnceAndGoesOn)
{
	TempDir directory("rdx-log-unwritable");
	// A file stands where the directory would be.
	AppendText(directory.Sub("state"), "not a directory\n");
	ChildProcess writer({SelfProgram(), "--write-records",
		directory.Sub("state/RDX/access.log"), "rdx", "50", "10"});
	int status = -1;
	ASSERT_TRUE(writer.Wait(60, &status));
	EXPECT_EQ(status, 0);
	std::string errors = writer.Errors();
	EXPECT_EQ(count_of(errors, "\n"), 1) << errors;
	EXPECT_EQ(count_of(errors, "rdx: access log: cannot make the directory "
		+ directory.Sub("state/RDX") + ": Not a directory; going on without "
		"it\n"), 1) << errors;
}


TEST(AccessLogTest, DefaultLogIsClearedWhenItGoes)
{
	TempDir directory("rdx-log-default");
	EXPECT_EQ(AccessLog::Default(), nullptr);
	{
		AccessLog log("rdx", directory.Sub("access.log"));
		AccessLog::SetDefault(&log);
		EXPECT_EQ(AccessLog::Default(), &log);
	}
	EXPECT_EQ(AccessLog::Default(), nullptr);
}

}	// namespace
