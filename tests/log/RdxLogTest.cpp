// rdx-log as a user runs it: the table and its filters over the log and its
// rotated files, CSV that a CSV reader takes back, damaged lines, --follow.

#include "LogTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

using nlohmann::json;


class RdxLogTest : public testing::Test {
protected:
	RdxLogTest()
		:
		fDirectory("rdx-log-tool"),
		fLog(fDirectory.Sub("access.log"))
	{
	}

	// Two rotated files and the log. The writers' records reach the files
	// a little out of order; .2 is the oldest file.
	void WriteDay()
	{
		AppendText(fLog + ".2",
			RecordLine("2026-12-07T23:59:59.900Z", "start")
			+ RecordLine("2026-12-08T08:00:00.000Z", "tag",
				{{"tag", "04A1B2C3"}, {"board_use", true}}));
		AppendText(fLog + ".1",
			RecordLine("2026-12-08T08:00:00.020Z", "relay", {{"relay", 1},
				{"action", "open"}, {"cause", "tag"}, {"tag", "04A1B2C3"},
				{"result", "ok"}, {"status", 0}, {"ms", 11.5}})
			+ RecordLine("2026-12-08T08:00:01.030Z", "relay", {{"relay", 1},
				{"action", "close"}, {"cause", "hold-end"}, {"result", "ok"},
				{"status", 0}, {"ms", 9.0}}));
		AppendText(fLog,
			RecordLine("2026-12-08T09:30:00.000Z", "read", {{"source",
				"serial:/dev/ttyUSB0"}, {"tag", "0badc0de"},
				{"outcome", "unknown"}})
			// Written by the other program a moment before the one above.
			+ RecordLine("2026-12-08T09:29:59.990Z", "setting", {{"setting",
				"hold time"}, {"old", 2}, {"new", 5}})
			+ RecordLine("2026-12-08T12:00:00.000Z", "relay", {{"relay", 3},
				{"action", "open"}, {"cause", "panel"}, {"result",
				"no-answer"}, {"status", 4}, {"ms", 2003.2}})
			+ RecordLine("2026-12-08T12:00:00.010Z", "board-use",
				{{"use", "off"}, {"why", "no-answer"}})
			+ RecordLine("2026-12-09T00:00:00.000Z", "stop"));
	}

	// The events column of the table, in order.
	std::vector<std::string> Events(const std::string& table)
	{
		std::vector<std::string> events;
		size_t start = table.find('\n') + 1;
		while (start < table.size()) {
			size_t end = table.find('\n', start);
			std::string line = table.substr(start, end - start);
			events.push_back(line.substr(25, line.find(' ', 25) - 25));
			start = end + 1;
		}
		return events;
	}

	LogRun Run(std::vector<std::string> arguments)
	{
		arguments.insert(arguments.begin(), {"--log", fLog});
		return RunRdxLog(arguments);
	}

	TempDir			fDirectory;
	std::string		fLog;
};


TEST_F(RdxLogTest, TableInTimeOrderAcrossRotatedFiles)
{
	WriteDay();
	AppendText(fDirectory.Sub("tags"), "# people\n04a1b2c3  Anna Berg\n"
		"0BADC0DE\n");
	LogRun run = Run({"--tags", fDirectory.Sub("tags")});
	ASSERT_EQ(run.status, 0) << run.errors;
	EXPECT_EQ(run.errors, "");
	std::vector<std::string> expected = {"start", "tag", "relay", "relay",
		"setting", "read", "relay", "board-use", "stop"};
	EXPECT_EQ(Events(run.output), expected) << run.output;
	EXPECT_EQ(run.output.substr(0, run.output.find('\n')),
		"time                     event      relay  tag             name"
		"              result");
	// Local time (TZ=UTC here), the tag's name from the list, what came of
	// it.
	EXPECT_NE(run.output.find("2026-12-08 08:00:00.020  relay      1      "
		"04A1B2C3        Anna Berg         open ok by tag, 11.5 ms\n"),
		std::string::npos) << run.output;
	EXPECT_NE(run.output.find("relay      3                              "
		"          open no-answer (wget 4) by panel, 2003.2 ms"),
		std::string::npos) << run.output;
	EXPECT_NE(run.output.find("0badc0de                          unknown "
		"(serial:/dev/ttyUSB0)"), std::string::npos) << run.output;
}


TEST_F(RdxLogTest, Filters)
{
	WriteDay();
	struct Case {
		std::vector<std::string> arguments;
		std::vector<std::string> events;
	};
	const std::vector<Case> cases = {
		{{"--tag", "04a1b2c3"}, {"tag", "relay"}},
		{{"--tag=0BADC0DE"}, {"read"}},
		{{"--relay", "1"}, {"relay", "relay"}},
		{{"--relay", "3", "--event", "relay"}, {"relay"}},
		{{"--event", "board-use"}, {"board-use"}},
		{{"--event", "setting"}, {"setting"}},
		{{"--since", "2026-12-08 09:30"}, {"read", "relay", "board-use",
			"stop"}},
		{{"--since", "2026-12-08T12:00:00", "--until", "2026-12-08 12:00:01"},
			{"relay", "board-use"}},
		// A date alone: from the start of that day, until its end.
		{{"--since", "2026-12-08"}, {"tag", "relay", "relay", "setting",
			"read", "relay", "board-use", "stop"}},
		{{"--until", "2026-12-07"}, {"start"}},
		{{"--until", "2026-12-08"}, {"start", "tag", "relay", "relay",
			"setting", "read", "relay", "board-use"}},
		{{"--tag", "FFFF"}, {}},
		{{"--outcome", "unknown"}, {"read"}},
		{{"--outcome=outside-hours"}, {}},
		// A PIN's outcomes are outcomes of reads as well.
		{{"--outcome", "pin-wanted"}, {}},
		{{"--outcome=wrong-pin"}, {}},
		{{"--outcome", "no-pin"}, {}},
		{{"--outcome", "pin-locked"}, {}},
		// Only reads have an outcome.
		{{"--event", "relay", "--outcome", "unknown"}, {}},
	};
	for (const Case& each : cases) {
		std::string name;
		for (const std::string& argument : each.arguments)
			name += argument + " ";
		SCOPED_TRACE(name);
		LogRun run = Run(each.arguments);
		EXPECT_EQ(run.status, 0) << run.errors;
		EXPECT_EQ(Events(run.output), each.events) << run.output;
	}
}


TEST_F(RdxLogTest, DoorRecordsAndTheirFilter)
{
	AppendText(fLog,
		RecordLine("2026-12-08T10:00:00.000Z", "door", {{"door", "front"},
			{"what", "exit"}, {"input", "exit:gpiochip0/27"},
			{"state", "closed"}, {"result", "passed-on"}})
		+ RecordLine("2026-12-08T10:00:00.010Z", "relay", {{"relay", 2},
			{"action", "open"}, {"cause", "exit"}, {"result", "ok"},
			{"status", 0}, {"ms", 9.5}})
		+ RecordLine("2026-12-08T10:05:00.000Z", "door", {{"door", "front"},
			{"what", "forced"}, {"input", "contact:gpiochip0/17"},
			{"state", "open"}, {"alarms", "forced"}})
		+ RecordLine("2026-12-08T10:06:00.000Z", "door", {{"door", "front"},
			{"what", "sensor-lost"}, {"input", "contact:gpiochip0/17"},
			{"state", "unknown"}, {"reason", "the GPIO chip went away"}})
		+ RecordLine("2026-12-08T10:07:00.000Z", "door", {{"what", "exit"},
			{"input", "exit:x"}, {"result", "too-late"}, {"late_ms", 35.5}}));
	LogRun all = Run({});
	ASSERT_EQ(all.status, 0) << all.errors;
	for (const char* result : {"front: exit (exit:gpiochip0/27): passed-on\n",
			"open ok by exit, 9.5 ms\n",
			"front: forced (contact:gpiochip0/17)\n",
			"front: sensor-lost (contact:gpiochip0/17): the GPIO chip went"
				" away\n", "exit (exit:x): too-late, 35.5 ms late\n"})
		EXPECT_NE(all.output.find(result), std::string::npos) << all.output;

	struct Case {
		std::vector<std::string> arguments;
		std::vector<std::string> events;
	};
	const std::vector<Case> cases = {
		{{"--event", "door"}, {"door", "door", "door", "door"}},
		{{"--door-event", "forced"}, {"door"}},
		{{"--door-event=exit"}, {"door", "door"}},
		{{"--door-event", "held-open"}, {}},
		{{"--relay", "2"}, {"relay"}},
	};
	for (const Case& each : cases) {
		SCOPED_TRACE(each.arguments[0]);
		LogRun run = Run(each.arguments);
		EXPECT_EQ(run.status, 0) << run.errors;
		EXPECT_EQ(Events(run.output), each.events) << run.output;
	}
	LogRun csv = Run({"--csv", "--door-event", "forced"});
	EXPECT_NE(csv.output.find(",door,,,,front: forced (contact:gpiochip0/17),"
		"rdx\r\n"), std::string::npos) << csv.output;
}


TEST_F(RdxLogTest, JsonGivesTheRecordsOwnLines)
{
	WriteDay();
	LogRun run = Run({"--json", "--relay", "1"});
	ASSERT_EQ(run.status, 0);
	std::vector<std::string> lines = FileLines(fLog + ".1");
	EXPECT_EQ(run.output, lines[0] + "\n" + lines[1] + "\n");
}


TEST_F(RdxLogTest, CsvIsReadBackByACsvReader)
{
	WriteDay();
	// A name with the characters CSV must quote.
	AppendText(fDirectory.Sub("tags"),
		"04A1B2C3 Berg, Anna \"the key\"\n");
	LogRun run = Run({"--csv", "--tags", fDirectory.Sub("tags")});
	ASSERT_EQ(run.status, 0) << run.errors;
	std::string csvFile = fDirectory.Sub("out.csv");
	AppendText(csvFile, run.output);

	// Python's own CSV module, rows as JSON.
	ChildProcess reader({"python3", "-c",
		"import csv, json, sys\n"
		"with open(sys.argv[1], newline='') as f:\n"
		"    print(json.dumps(list(csv.reader(f))))\n", csvFile});
	int status = -1;
	ASSERT_TRUE(reader.Wait(30, &status));
	ASSERT_EQ(status, 0) << reader.Errors();
	json rows = json::parse(reader.Output(), nullptr, false);
	ASSERT_TRUE(rows.is_array()) << reader.Output();
	ASSERT_EQ(rows.size(), 10u) << rows;
	EXPECT_EQ(rows[0], json({"time", "event", "relay", "tag", "name",
		"result", "program"}));
	EXPECT_EQ(rows[3], json({"2026-12-08 08:00:00.020", "relay", "1",
		"04A1B2C3", "Berg, Anna \"the key\"", "open ok by tag, 11.5 ms",
		"rdx"}));
	EXPECT_EQ(rows[5][5], "hold time: 2 → 5");
	for (const json& row : rows)
		EXPECT_EQ(row.size(), 7u) << row;
}


TEST_F(RdxLogTest, DamagedLinesAreSkippedWithANote)
{
	AppendText(fLog + ".1", RecordLine("2026-12-08T08:00:00.000Z", "start")
		+ "garbage\n"
		+ "[1, 2]\n"
		+ "{\"event\": \"tag\"}\n"
		+ "{\"time\": \"yesterday\", \"event\": \"tag\"}\n"
		// A power cut's half line at the end of a rotated file.
		+ RecordLine("2026-12-08T08:00:01.000Z", "tag").substr(0, 30));
	// A tag nested as deep as a record may be, one level deeper, within
	// the longest line, and as deep as the stack would never hold.
	auto nested = [](int depth) {
		return "{\"time\":\"2026-12-08T08:00:01.500Z\",\"event\":\"tag\","
			"\"tag\":" + std::string(depth - 1, '[') + std::string(depth - 1,
			']') + "}\n";
	};
	AppendText(fLog, std::string("\x01\xff\n", 3) + nested(16)
		+ nested(17) + nested(30000) + nested(200000)
		+ RecordLine("2026-12-08T08:00:02.000Z", "stop"));
	LogRun run = Run({});
	EXPECT_EQ(run.status, 0);
	EXPECT_EQ(Events(run.output), std::vector<std::string>({"start", "tag",
		"stop"})) << run.output;
	EXPECT_EQ(run.errors, "rdx-log: 9 damaged lines skipped (the first: "
		"access.log.1 line 2)\n");
}


TEST_F(RdxLogTest, FollowPrintsNewRecordsAlsoAcrossARotation)
{
	AppendText(fLog, RecordLine("2026-12-08T08:00:00.000Z", "start"));
	std::vector<std::string> argv = {RDX_BINARY_DIR "/tools/rdx-log/rdx-log",
		"--log", fLog, "--follow", "--event", "relay"};
	ChildProcess::Options options;
	options.environment["TZ"] = "UTC";
	ChildProcess follow(argv, options);
	ASSERT_TRUE(follow.WaitForOutput("result\n", 10));

	auto relay = [](const std::string& time, int relay) {
		return RecordLine(time, "relay", {{"relay", relay}, {"action",
			"open"}, {"cause", "tag"}, {"result", "ok"}});
	};
	AppendText(fLog, relay("2026-12-08T08:00:01.000Z", 1)
		+ RecordLine("2026-12-08T08:00:01.500Z", "tag"));
	ASSERT_TRUE(follow.WaitForOutput("2026-12-08 08:00:01.000  relay      1",
		10)) << follow.Output();

	// A damaged line is told at once.
	AppendText(fLog, "garbage\n");
	ASSERT_TRUE(wait_for([&] {
		return follow.Errors() == "rdx-log: damaged line skipped (access.log "
			"line 4)\n";
	}, 10)) << follow.Errors();

	// So is a line too long for any record, however long.
	AppendText(fLog, "{\"tag\":" + std::string(300000, '[') + "\n");
	ASSERT_TRUE(wait_for([&] {
		return count_of(follow.Errors(), "(access.log line 5)\n") == 1;
	}, 10)) << follow.Errors();

	// A line written in two parts is printed once it is whole.
	std::string line = relay("2026-12-08T08:00:02.000Z", 2);
	AppendText(fLog, line.substr(0, 20));
	AppendText(fLog, line.substr(20));
	ASSERT_TRUE(follow.WaitForOutput("2026-12-08 08:00:02.000  relay      2",
		10)) << follow.Output();

	// The last record of the old file, then the rotation, then the new
	// file's.
	AppendText(fLog, relay("2026-12-08T08:00:03.000Z", 3));
	ASSERT_EQ(rename(fLog.c_str(), (fLog + ".1").c_str()), 0);
	AppendText(fLog, relay("2026-12-08T08:00:04.000Z", 4));
	ASSERT_TRUE(follow.WaitForOutput("2026-12-08 08:00:04.000  relay      4",
		10)) << follow.Output();
	std::string output = follow.Output();
	// Record lines: the event follows the time's milliseconds.
	EXPECT_EQ(count_of(output, "000  relay "), 4) << output;
	EXPECT_LT(output.find("08:00:03.000"), output.find("08:00:04.000"));
	EXPECT_EQ(output.find("000  tag "), std::string::npos);
	EXPECT_TRUE(follow.Running());
}


TEST(RdxLogOptionsTest, BadArgumentsAreRefusedWithALine)
{
	const std::vector<std::vector<std::string>> cases = {
		{"--relay", "5"},
		{"--relay", "1x"},
		{"--event", "open"},
		{"--outcome", "denied"},
		{"--outcome"},
		{"--since", "yesterday"},
		{"--since", "2026-13-01"},
		{"--until", "2026-12-08 25:00"},
		{"--since", "2026-12-09", "--until", "2026-12-08"},
		{"--csv", "--json"},
		{"--door-event", "ajar"},
		{"--door-event"},
		{"--tag"},
		{"--colour"},
	};
	for (const std::vector<std::string>& arguments : cases) {
		SCOPED_TRACE(arguments[0]);
		LogRun run = RunRdxLog(arguments);
		EXPECT_EQ(run.status, 2);
		EXPECT_EQ(run.output, "");
		EXPECT_EQ(run.errors.compare(0, 9, "rdx-log: "), 0) << run.errors;
		EXPECT_NE(run.errors.find("usage: rdx-log"), std::string::npos);
	}
}


TEST(RdxLogOptionsTest, HelpAndVersion)
{
	LogRun help = RunRdxLog({"--help"});
	EXPECT_EQ(help.status, 0);
	EXPECT_EQ(help.output.compare(0, 14, "usage: rdx-log"), 0);
	LogRun version = RunRdxLog({"--version"});
	EXPECT_EQ(version.status, 0);
	EXPECT_EQ(version.output, std::string("rdx-log ") + RDX_VERSION + "\n");

	// A German desktop gets German: the usage text, the table's headings
	// (still in their columns) and the lines.
	const std::map<std::string, std::string> german = {{"LANGUAGE", "de"}};
	help = RunRdxLog({"--help"}, german);
	EXPECT_EQ(help.output.compare(0, 28, "Aufruf: rdx-log [OPTION...]\n"), 0)
		<< help.output;
	LogRun table = RunRdxLog({"--log", "/nonexistent/access.log"}, german);
	EXPECT_EQ(table.output, "Zeit                     Ereignis   Rel.   Tag"
		"             Name              Ergebnis\n");
	LogRun wrong = RunRdxLog({"--relay", "9"}, german);
	EXPECT_EQ(wrong.status, 2);
	EXPECT_EQ(wrong.errors.find("rdx-log: --relay nimmt ein Relais von 1 bis 4,"
		" nicht „9“\nAufruf: rdx-log"), 0u) << wrong.errors;
}


TEST(RdxLogOptionsTest, MissingLogIsAnEmptyTable)
{
	TempDir directory("rdx-log-missing");
	LogRun run = RunRdxLog({"--log", directory.Sub("none/access.log")});
	EXPECT_EQ(run.status, 0);
	EXPECT_EQ(count_of(run.output, "\n"), 1) << run.output;
}

}	// namespace
