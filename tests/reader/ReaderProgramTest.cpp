// rdx-reader as a program, without rdx: its command line, exit statuses,
// the fail-secure start and a device that goes away and comes back.

#include "ReaderTestSupport.h"
#include "TagList.h"
#include "TagListLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ReaderProgramTest : public ::testing::Test {
protected:
	ReaderProgramTest()
		:
		fDirectory("rdx-reader-program")
	{
	}

	std::map<std::string, std::string> Environment() const
	{
		return {{"XDG_RUNTIME_DIR", fDirectory.Sub("run")},
			{"HOME", fDirectory.Sub("home")},
			{"XDG_CONFIG_HOME", fDirectory.Sub("config")}};
	}

	// Runs it to its end; the exit status, -1 when it hung.
	int Run(const std::vector<std::string>& arguments, std::string* output,
		std::string* errors = nullptr)
	{
		ReaderProcess reader(arguments, Environment());
		int status = -1;
		if (!reader.Process().Wait(20, &status))
			return -1;
		*output = reader.Output();
		if (errors != nullptr)
			*errors = reader.Process().Errors();
		return status;
	}

	// A small list, a tag and a time for --check --at (Berlin), and what it
	// must say: the verdict and the line that decided.
	struct CheckCase {
		const char*	name;
		std::string	list;
		const char*	tag;
		const char*	at;
		const char*	word;
		int			line;
	};

	void ExpectChecks(const std::vector<CheckCase>& cases)
	{
		std::map<std::string, std::string> environment = Environment();
		environment["TZ"] = "Europe/Berlin";
		for (const CheckCase& test : cases) {
			SCOPED_TRACE(test.name);
			std::string list = fDirectory.Sub("tags");
			std::ofstream(list, std::ios::binary | std::ios::trunc) << test.list;
			ASSERT_EQ(0, chmod(list.c_str(), 0600));
			ReaderProcess reader({"--check", test.tag, "--tags", list, "--at",
				test.at}, environment);
			int status = -1;
			ASSERT_TRUE(reader.Process().Wait(20, &status));
			std::string output = reader.Output();
			EXPECT_EQ(std::string(test.word) == "pass" ? 0 : 1, status);
			EXPECT_EQ(1, count_of(output, std::string(test.tag) + ": "
				+ test.word + " at ")) << output;
			EXPECT_EQ(1, count_of(output, "(line " + std::to_string(test.line)
				+ " of " + list + ": ")) << output;
		}
	}

	TempDir			fDirectory;
};


TEST_F(ReaderProgramTest, UsageErrorsExitTwoWithALine)
{
	struct Case {
		std::vector<std::string> arguments;
		const char*	line;
	};
	std::vector<Case> cases = {
		{{}, "name at least one reader"},
		{{"--tags", "x"}, "name at least one reader"},
		{{"--frobnicate"}, "unknown argument \"--frobnicate\""},
		{{"--keyboard"}, "--keyboard needs a value"},
		{{"--serial", "/dev/ttyUSB0,9601"}, "unknown speed \"9601\""},
		{{"--serial", "/dev/ttyUSB0,wiegand"}, "neither a speed nor a"
			" protocol"},
		{{"--serial", ",lines"}, "--serial needs a path"},
		{{"--keyboard", "k", "--em-format", "oct"}, "neither dec nor hex"},
		{{"--keyboard", "k", "--repeat-ms", "-5"}, "is not a number"},
		{{"--keyboard", "k", "--key-gap-ms", "1e3"}, "is not a number"},
		{{"--keyboard", "k", "--key-gap-ms", "0"}, "would refuse every tag"},
		{{"--keyboard", "k", "--any-tag", "--learn"}, "do not go together"},
		{{"--list", "--any-tag", "--learn"}, "do not go together"},
		{{"--keyboard", "k", "--to", ""}, "the signature is empty"},
		{{"--check", "1", "--at", "2026-12-08"}, "--at takes a local date"},
		{{"--check", "1", "--at", "2026-02-30 10:00"}, "--at takes a local"},
		{{"--check", "1", "--at", "2026-12-08 10:00 +1"}, "--at takes a"
			" local"},
		{{"--check", "1", "--at", "2026-12-08 10:00 +13:45"}, "--at: the"
			" clocks here are not at +13:45 at 2026-12-08 10:00"},
		{{"--at", "2026-12-08 10:00", "--keyboard", "k"}, "--at goes with"},
		{{"--check", "1", "--keyboard", "k"}, "--check reads no reader"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(testing::PrintToString(test.arguments));
		std::string output;
		std::string errors;
		EXPECT_EQ(2, Run(test.arguments, &output, &errors));
		EXPECT_EQ(1, count_of(errors, test.line)) << errors;
		EXPECT_EQ(1, count_of(errors, "usage: rdx-reader")) << errors;
		EXPECT_TRUE(output.empty()) << output;
	}
}


TEST_F(ReaderProgramTest, HelpVersionAndList)
{
	std::string output;
	EXPECT_EQ(0, Run({"--help"}, &output));
	EXPECT_EQ(0u, output.find("usage: rdx-reader")) << output;
	EXPECT_EQ(0, Run({"--version"}, &output));
	EXPECT_EQ(std::string("rdx-reader ") + RDX_VERSION + "\n", output);
	EXPECT_EQ(0, Run({"--list"}, &output));
	EXPECT_EQ(1, count_of(output, "Input devices (for --keyboard):\n"))
		<< output;
	EXPECT_EQ(1, count_of(output, "Serial ports (for --serial):\n"))
		<< output;

	// A German desktop gets German, the usage text and the lines.
	std::map<std::string, std::string> german = Environment();
	german["LANGUAGE"] = "de";
	ReaderProcess reader({"--keyboard", fDirectory.Path(), "--frobnicate"},
		german);
	int status = -1;
	ASSERT_TRUE(reader.Process().Wait(20, &status));
	EXPECT_EQ(2, status);
	EXPECT_EQ(0u, reader.Process().Errors().find("rdx-reader: unbekanntes"
		" Argument „--frobnicate“\nAufruf: rdx-reader"))
		<< reader.Process().Errors();
	ReaderProcess never({"--keyboard", fDirectory.Path()}, german);
	ASSERT_TRUE(never.Process().Wait(20, &status));
	EXPECT_EQ(1, count_of(never.Output(), fDirectory.Path() + ": nicht zu"
		" gebrauchen: weder ein Eingabegerät noch ein FIFO\n"))
		<< never.Output();

	// A list others may write, refused, and a tag no line lists.
	std::string shared = fDirectory.Sub("shared-tags");
	int fd = open(shared.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(0, fchmod(fd, 0646));
	close(fd);
	ReaderProcess check({"--check", "abcd", "--tags", shared}, german);
	ASSERT_TRUE(check.Process().Wait(20, &status));
	EXPECT_EQ(1, status);
	EXPECT_EQ(1, count_of(check.Output(), "rdx-reader: die Tag-Liste wird"
		" abgelehnt: " + shared + " dürfen andere beschreiben (Modus 0646):"
		" kein Tag kommt durch, bis das behoben ist: chmod go-w " + shared
		+ "\n")) << check.Output();
	EXPECT_EQ(1, count_of(check.Output(), "ABCD: unknown am "))
		<< check.Output();
	EXPECT_EQ(1, count_of(check.Output(), ": keine Zeile von " + shared
		+ " nennt ihn\n")) << check.Output();

	// A rule that cannot be read says so in German, its words as written.
	std::string ruled = fDirectory.Sub("ruled-tags");
	const std::string rule = "1111 Anna | Mo 25:00-26:00\n";
	fd = open(ruled.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	ASSERT_EQ((ssize_t)rule.size(), write(fd, rule.data(), rule.size()));
	close(fd);
	ReaderProcess bad({"--check", "1111", "--tags", ruled}, german);
	ASSERT_TRUE(bad.Process().Wait(20, &status));
	EXPECT_EQ(1, status);
	EXPECT_EQ(1, count_of(bad.Output(), ruled + ", Zeile 1: \"Mo 25:00-26:00\""
		" ist nicht lesbar: \"25:00-26:00\" ist keine Zeitspanne"
		" (HH:MM-HH:MM): 1111 kommt nie herein\n")) << bad.Output();
}


TEST_F(ReaderProgramTest, NoReaderThatCanBeOpenedExitsOne)
{
	std::string output;
	std::string errors;
	std::string plain = fDirectory.Sub("plain");
	int fd = open(plain.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	close(fd);
	// Neither a file nor a directory can ever be a reader.
	EXPECT_EQ(1, Run({"--keyboard", fDirectory.Path(), "--serial",
		plain + ",lines"}, &output, &errors));
	EXPECT_EQ(1, count_of(errors, "none of the named readers could be"
		" opened")) << errors;
	EXPECT_EQ(1, count_of(output, fDirectory.Path() + ": cannot be used:"
		" neither an input device nor a FIFO")) << output;
	EXPECT_EQ(1, count_of(output, plain + ": cannot be used: not a serial"
		" port")) << output;
}


TEST_F(ReaderProgramTest, ReaderAbsentAtStartIsWaitedFor)
{
	TempDir devices("rdx-reader-devices");
	std::string path = devices.Sub("by-id/usb-reader-event-kbd");
	ReaderProcess reader({"--any-tag", "--keyboard", path}, Environment());
	ASSERT_TRUE(reader.WaitFor(path + ": not there ("));
	ASSERT_EQ(0, mkdir(devices.Sub("by-id").c_str(), 0700));
	ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
	ASSERT_TRUE(reader.WaitFor(path + ": back, reading\n"));
	int writer = open(path.c_str(), O_WRONLY | O_CLOEXEC);
	ASSERT_GE(writer, 0);
	std::string bytes = KeyScript().Type("44\n").Bytes();
	EXPECT_EQ((ssize_t)bytes.size(), write(writer, bytes.data(),
		bytes.size()));
	close(writer);
	ASSERT_TRUE(reader.WaitFor(path + ": 44: no rdx"));
	EXPECT_EQ(0, reader.Terminate());
	EXPECT_EQ(0, count_of(reader.Process().Errors(), "none of"));
}


TEST_F(ReaderProgramTest, FailSecureStartRefusesEveryTagAndEndsOnSignal)
{
	EventFifo fifo;
	Pty pty;
	ASSERT_TRUE(pty.IsValid());
	ReaderProcess reader({"--keyboard", fifo.Path(), "--serial",
		pty.SlavePath() + ",lines"}, Environment());
	ASSERT_TRUE(reader.WaitFor(pty.SlavePath() + ": reading\n"));
	std::string output = reader.Output();
	EXPECT_EQ(1, count_of(output, "the tag list " + fDirectory.Sub("config")
		+ "/RDX/tags does not exist: no tag opens the door")) << output;
	ASSERT_TRUE(fifo.Write(KeyScript().Type("1234\n")));
	ASSERT_TRUE(pty.Write("ABCD\r\n"));
	ASSERT_TRUE(reader.WaitFor(pty.SlavePath() + ": ABCD: unknown"));
	ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": 1234: unknown"));
	EXPECT_EQ(0, reader.Terminate());
	EXPECT_EQ(1, count_of(reader.Output(), "ending on")) << reader.Output();
	EXPECT_EQ(0, count_of(reader.Output(), "no rdx")) << reader.Output();
}


TEST_F(ReaderProgramTest, TagTakenOffTheListWhileRunningNoLongerPasses)
{
	std::string directory = fDirectory.Sub("config/RDX");
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config").c_str(), 0700));
	ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
	// Saved as an editor saves: aside, then renamed over the list.
	auto save = [&](const std::string& text) {
		std::string aside = directory + "/.tags.new";
		int fd = open(aside.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC,
			0600);
		return fd >= 0 && write(fd, text.data(), text.size())
			== (ssize_t)text.size() && close(fd) == 0
			&& rename(aside.c_str(), (directory + "/tags").c_str()) == 0;
	};
	ASSERT_TRUE(save("1111 front door\n2222\n"));
	// Under strace: a power cut takes at most the line being written, so
	// the log's writer must ask the disk to keep each batch of records.
	EventFifo fifo;
	std::string trace = fDirectory.Sub("trace");
	ChildProcess::Options options;
	options.environment = Environment();
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	// The leak checker cannot run under ptrace and would end the traced
	// program with a failure of its own; the other sanitizer checks stay.
	const char* asan = getenv("ASAN_OPTIONS");
	options.environment["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan
		: "") + (asan != nullptr && *asan != '\0' ? ":" : "")
		+ "detect_leaks=0";
	ChildProcess reader({"strace", "-f", "-qq", "-s", "512", "-e",
		"trace=write,fdatasync", "-e", "signal=none", "-o", trace,
		ReaderProcess::Program(), "--keyboard", fifo.Path(), "--repeat-ms",
		"0"}, options);
	ASSERT_TRUE(reader.WaitForOutput(fifo.Path() + ": reading\n", 20))
		<< reader.Errors();
	ASSERT_TRUE(fifo.Write(KeyScript().Type("1111\n")));
	ASSERT_TRUE(reader.WaitForOutput(fifo.Path() + ": 1111 (front door): no"
		" rdx", 20));

	ASSERT_TRUE(save("2222\n"));
	ASSERT_TRUE(reader.WaitForOutput("read again the tag list", 20));
	ASSERT_TRUE(fifo.Write(KeyScript().Type("1111\n2222\n")));
	ASSERT_TRUE(reader.WaitForOutput(fifo.Path() + ": 2222: no rdx", 20));
	EXPECT_EQ(1, count_of(reader.Output(), fifo.Path() + ": 1111: unknown"))
		<< reader.Output();

	std::string children = read_file("/proc/" + std::to_string(reader.Pid())
		+ "/task/" + std::to_string(reader.Pid()) + "/children");
	ASSERT_GT(atoi(children.c_str()), 0) << children;
	kill(atoi(children.c_str()), SIGTERM);
	int status = -1;
	EXPECT_TRUE(reader.Wait(20, &status));
	EXPECT_EQ(0, status);
	// A write of a read's record, then fdatasync on that descriptor.
	std::istringstream lines(read_file(trace));
	std::string written;
	bool synced = false;
	for (std::string line; std::getline(lines, line) && !synced;) {
		size_t call = line.find(" write(");
		if (call != std::string::npos && line.find("\\\"event\\\":"
				"\\\"read\\\"") != std::string::npos)
			written = line.substr(call + 7, line.find(',', call) - call - 7);
		else if (!written.empty())
			synced = line.find(" fdatasync(" + written + ")") != std::string::npos
				|| line.find(" fdatasync(" + written + " <") != std::string::npos;
	}
	EXPECT_TRUE(synced) << read_file(trace);
}


TEST_F(ReaderProgramTest, DeviceThatGoesAwayIsTakenAgainWhenItComesBack)
{
	TempDir devices("rdx-reader-devices");
	// The FIFO's directory goes too, as /dev/serial/by-id does.
	std::string directory = devices.Sub("by-id");
	ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
	std::string path = directory + "/usb-reader-event-kbd";
	ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
	ReaderProcess reader({"--any-tag", "--keyboard", path}, Environment());
	ASSERT_TRUE(reader.WaitFor(path + ": reading\n"));
	{
		int writer = open(path.c_str(), O_WRONLY | O_CLOEXEC);
		ASSERT_GE(writer, 0);
		std::string bytes = KeyScript().Type("11\n").Bytes();
		ASSERT_EQ((ssize_t)bytes.size(), write(writer, bytes.data(),
			bytes.size()));
		ASSERT_EQ(0, unlink(path.c_str()));
		ASSERT_EQ(0, rmdir(directory.c_str()));
		close(writer);
	}
	ASSERT_TRUE(reader.WaitFor(path + ": 11: no rdx"));
	ASSERT_TRUE(reader.WaitFor(path + ": gone; waiting for it to come"
		" back\n"));

	ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
	ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
	ASSERT_TRUE(reader.WaitFor(path + ": back, reading\n"));
	{
		int writer = open(path.c_str(), O_WRONLY | O_CLOEXEC);
		ASSERT_GE(writer, 0);
		std::string bytes = KeyScript().Type("22\n").Bytes();
		ASSERT_EQ((ssize_t)bytes.size(), write(writer, bytes.data(),
			bytes.size()));
		close(writer);
	}
	ASSERT_TRUE(reader.WaitFor(path + ": 22: no rdx"));
	EXPECT_EQ(0, reader.Terminate());
	EXPECT_EQ(1, count_of(reader.Output(), "gone;")) << reader.Output();
}


TEST_F(ReaderProgramTest, SerialPortThatGoesAwayIsWaitedFor)
{
	auto pty = std::make_unique<Pty>();
	ASSERT_TRUE(pty->IsValid());
	EventFifo fifo;
	std::string slave = pty->SlavePath();
	ReaderProcess reader({"--any-tag", "--serial", slave + ",lines",
		"--keyboard", fifo.Path()}, Environment());
	ASSERT_TRUE(reader.WaitFor(slave + ": reading\n"));
	pty.reset();
	ASSERT_TRUE(reader.WaitFor(slave + ": gone; waiting for it to come"
		" back\n"));
	// The other source goes on.
	ASSERT_TRUE(fifo.Write(KeyScript().Type("33\n")));
	ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": 33: no rdx"));
	EXPECT_EQ(0, reader.Terminate());
}


// The rules of the issue's own example and their edges, each asked through
// --check --at in a time zone whose clocks change. 2026-12-08 is a Tuesday.
TEST_F(ReaderProgramTest, CheckSaysWhetherATagPassesAndWhichLineDecided)
{
	std::string list = fDirectory.Sub("tags");
	FILE* file = fopen(list.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("# named hours, usable by many tags\n"
		"@staff    = Mo-Fr 07:00-19:00, Sa 09:00-13:00\n"
		"@cleaning = Tu 06:00-08:00, Fr 18:00-22:00\n"
		"\n"
		"0014594826 front desk       | @staff\n"
		"04A1B2C3   spare card       | off\n"
		"00DEAD0001 cleaner          | @cleaning ; until 2027-03-31\n"
		"0011223344 contractor       | Mo-Fr 08:00-17:00 ; from 2026-12-14"
			" ; until 2026-12-18\n"
		"0099887766 night guard      | Mo-Su 22:00-06:00\n"
		"1010 friday night | Fr 22:00-06:00\n"
		"2020 sunday two | Su 02:00-03:00\n"
		"3030 two days | Mo 08:00-09:00 ; Mi 08:00-09:00 12:00-13:00\n"
		"4040 from noon | from 2026-12-08 12:00 ; until 2026-12-09 12:00\n"
		"5050 no rules\n"
		"6060 bad hours | Mo 25:00-26:00\n"
		"7070 undefined | @nobody\n"
		"8080 a word | sometimes\n"
		"9090 no such date | until 2026-02-30\n"
		"@broken = Xx 10:00-11:00\n"
		"A0A0 broken set | @broken\n"
		"0014594826 a second line\n"
		"@late = Sa-Mo 23:00-24:00\n"
		"B0B0 weekend late | @late ; off\n", file);
	fclose(file);
	chmod(list.c_str(), 0600);

	struct Case {
		const char*	tag;
		const char*	at;
		const char*	word;
		// The line that decided; 0 for none.
		int			line;
	};
	const std::vector<Case> cases = {
		{"0014594826", "2026-12-08 09:14", "pass", 5},
		{"0014594826", "2026-12-08 06:59", "outside-hours", 5},
		{"0014594826", "2026-12-08 19:00", "outside-hours", 5},
		{"0014594826", "2026-12-12 12:59", "pass", 5},
		{"0014594826", "2026-12-13 10:00", "outside-hours", 5},
		{"04a1b2c3", "2026-12-08 10:00", "off", 6},
		{"00DEAD0001", "2026-12-11 21:59", "pass", 7},
		{"00DEAD0001", "2026-12-11 22:00", "outside-hours", 7},
		// A date alone: valid to the end of that day.
		{"00DEAD0001", "2027-03-30 07:00", "pass", 7},
		{"00DEAD0001", "2027-04-06 07:00", "expired", 7},
		{"0011223344", "2026-12-13 09:00", "not-yet-valid", 8},
		{"0011223344", "2026-12-14 08:00", "pass", 8},
		{"0011223344", "2026-12-18 16:59", "pass", 8},
		{"0011223344", "2026-12-18 17:00", "outside-hours", 8},
		{"0011223344", "2026-12-19 09:00", "expired", 8},
		{"0099887766", "2026-12-08 05:59", "pass", 9},
		{"0099887766", "2026-12-08 06:00", "outside-hours", 9},
		{"0099887766", "2026-12-08 22:00", "pass", 9},
		// Friday's night runs into Saturday, Thursday morning is not it.
		{"1010", "2026-12-11 23:30", "pass", 10},
		{"1010", "2026-12-12 05:59", "pass", 10},
		{"1010", "2026-12-10 05:00", "outside-hours", 10},
		// The clocks go forward: 02:30 does not exist, 03:30 is taken.
		{"2020", "2027-03-28 02:30", "outside-hours at 2027-03-28 03:30 (02:30"
			" does not exist that day", 11},
		// They go back: 02:30 happens twice, and matches.
		{"2020", "2026-10-25 02:30", "pass", 11},
		{"2020", "2026-10-25 03:00", "outside-hours", 11},
		{"3030", "2026-12-09 12:30", "pass", 12},
		{"3030", "2026-12-08 08:30", "outside-hours", 12},
		{"4040", "2026-12-08 11:59", "not-yet-valid", 13},
		{"4040", "2026-12-08 12:00", "pass", 13},
		{"4040", "2026-12-09 12:00", "expired", 13},
		{"5050", "1999-01-01 03:00", "pass", 14},
		{"6060", "2026-12-07 10:00", "bad-rule", 15},
		{"7070", "2026-12-08 10:00", "bad-rule", 16},
		{"8080", "2026-12-08 10:00", "bad-rule", 17},
		{"9090", "2026-01-01 10:00", "bad-rule", 18},
		{"A0A0", "2026-12-08 10:30", "bad-rule", 20},
		{"B0B0", "2026-12-12 23:30", "off", 23},
		{"C0C0", "2026-12-08 10:00", "unknown", 0},
	};
	std::map<std::string, std::string> environment = Environment();
	environment["TZ"] = "Europe/Berlin";
	std::string output;
	for (const Case& test : cases) {
		SCOPED_TRACE(std::string(test.tag) + " at " + test.at);
		ReaderProcess reader({"--check", test.tag, "--tags", list, "--at",
			test.at}, environment);
		int status = -1;
		ASSERT_TRUE(reader.Process().Wait(20, &status));
		output = reader.Output();
		EXPECT_EQ(std::string(test.word) == "pass" ? 0 : 1, status);
		std::string word = test.word;
		if (word.find(' ') == std::string::npos)
			word += " at ";
		std::string tag = test.tag;
		for (char& c : tag)
			c = (char)toupper((unsigned char)c);
		EXPECT_EQ(1, count_of(output, tag + ": " + word))
			<< output;
		if (test.line > 0) {
			EXPECT_EQ(1, count_of(output, "(line " + std::to_string(test.line)
				+ " of " + list + ": ")) << output;
		}
	}

	// Each line that cannot be used is said once, with its number.
	const std::vector<std::pair<int, const char*>> problems = {
		{15, "\"25:00-26:00\" is not a time range"},
		{16, "@nobody is not defined"},
		{17, "cannot read \"sometimes\""},
		{18, "until takes a date"},
		{19, "\"Xx\" is not a day"},
		{20, "@broken cannot be read (line 19)"},
		{21, "0014594826 is listed on line 5 already"},
	};
	for (const auto& [line, what] : problems) {
		EXPECT_EQ(1, count_of(output, list + ", line " + std::to_string(line)
			+ ": ")) << line;
		EXPECT_EQ(1, count_of(output, what)) << what;
	}
	EXPECT_EQ(problems.size(), (size_t)count_of(output, list + ", line "));
}



// Lines as people really write them, asked on a Sunday at 03:00 (Berlin):
// whatever a line's text refuses, or could be read as refusing, the tag
// is let in never; the rest of the list works.
TEST_F(ReaderProgramTest, CheckRefusesWhatALinesTextRefuses)
{
	std::string text =
		"04A1B2C3 # learned 2026-12-01 from serial:/dev/ttyUSB0 | off\n"
		"0055 Flat #4 | Mo-Fr 08:00-17:00\n"
		"@crew = Mo-Fr 07:00-\n"
		"@crew = Mo-Su 00:00-24:00\n"
		"0101 crew | @crew\n"
		"@team Mo-Fr 07:00-19:00\n"
		"@team = Mo-Su 00:00-24:00\n"
		"0102 team | @team\n"
		"0103 | until 2026-10-25 02:30\n"
		"0104 | from 2026-10-25 02:30\n"
		"0105 Anna | off | Mo-Su 00:00-24:00\n"
		"0106 Anna | # gone\n"
		"0107 | Su-Su 00:00-24:00\n"
		"0108 Anna\fBerg\n"
		"0109 Carl\ry | Mo 08:00-09:00\n"
		"0110 Dora\r\n"
		"0111#a comment, no rules\n"
		"0112\tEva\t|\tsU 0:00-24:00 ;\tfrom 2027-06-06\t\t03:00\n"
		"@night = Sa 22:00-04:00 # one | too many\n"
		"0113 | @night\n"
		"0114 Fritz # keys | returned\n"
		"0115 | Mo 08:00-09:00 # no | here either\n"
		"0116 | from 2027-03-28 02:30\n"
		"0117 | until 2027-03-28 02:30\n"
		"@" + std::string(65, 's') + " = Mo 08:00-09:00\n"
		+ std::string(65, 'T') + " a tag too long\n";
	// The first of a tag's many lines counts, wherever the sort puts them.
	text += "0200 first | off\n";
	for (int i = 0; i < 40; i++)
		text += (i % 2 == 0 ? "0200 later " : "02") + std::to_string(i)
			+ "\n";
	std::string list = fDirectory.Sub("tags");
	FILE* file = fopen(list.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs(text.c_str(), file);
	fclose(file);
	chmod(list.c_str(), 0600);

	struct Case {
		std::string	tag;
		const char*	at;
		const char*	word;
		int			line;
	};
	const char* kSunday = "2027-06-06 03:00";
	const std::vector<Case> cases = {
		// A '#' before the '|' hides the rules or makes them a comment.
		{"04A1B2C3", kSunday, "bad-rule", 1},
		{"0055", kSunday, "bad-rule", 2},
		// The first line of a set counts, even one that cannot be read.
		{"0101", kSunday, "bad-rule", 5},
		{"0102", kSunday, "bad-rule", 8},
		// An until inside the hour that happens twice stays expired; a
		// from there begins with its second time.
		{"0103", "2026-10-25 02:40", "expired", 9},
		{"0103", "2026-10-25 02:10 +01:00", "expired", 9},
		{"0103", "2026-10-25 02:10 +02:00", "pass", 9},
		{"0104", "2026-10-25 02:40 +02:00", "not-yet-valid", 10},
		{"0104", "2026-10-25 02:40 +01:00", "pass", 10},
		{"0105", kSunday, "bad-rule", 11},
		{"0106", kSunday, "bad-rule", 12},
		{"0107", kSunday, "bad-rule", 13},
		// Control characters; one carriage return at the end is a line end.
		{"0108", kSunday, "bad-rule", 14},
		{"0109", kSunday, "bad-rule", 15},
		{"0110", kSunday, "pass", 16},
		{"0111", kSunday, "pass", 17},
		// Tabs, a day in any case, blanks after the date.
		{"0112", kSunday, "pass", 18},
		{"0112", "2027-06-06 02:59", "not-yet-valid", 18},
		{"0113", kSunday, "bad-rule", 20},
		{"0114", kSunday, "bad-rule", 21},
		{"0115", kSunday, "bad-rule", 22},
		// A time the clocks skip names the moment they jump.
		{"0116", "2027-03-28 01:59", "not-yet-valid", 23},
		{"0116", "2027-03-28 03:00", "pass", 23},
		{"0117", "2027-03-28 01:59", "pass", 24},
		{"0117", "2027-03-28 03:00", "expired", 24},
		{std::string(65, 'T'), kSunday, "bad-rule", 26},
		{"0200", kSunday, "off", 27},
	};
	std::map<std::string, std::string> environment = Environment();
	environment["TZ"] = "Europe/Berlin";
	std::string output;
	for (const Case& test : cases) {
		SCOPED_TRACE(test.tag + " at " + test.at);
		ReaderProcess reader({"--check", test.tag, "--tags", list, "--at",
			test.at}, environment);
		int status = -1;
		ASSERT_TRUE(reader.Process().Wait(20, &status));
		output = reader.Output();
		EXPECT_EQ(std::string(test.word) == "pass" ? 0 : 1, status)
			<< reader.Process().Errors();
		EXPECT_EQ(1, count_of(output, test.tag + ": " + test.word + " at "))
			<< output;
		EXPECT_EQ(1, count_of(output, "(line " + std::to_string(test.line)
			+ " of " + list + ": ")) << output;
	}

	// Why, once per line, with how to mend it where the text reads two
	// ways; a later line of a set or a tag is named with the first.
	const std::vector<std::pair<int, const char*>> problems = {
		{1, "a '|' after the '#' reads two ways (rules hidden in a comment,"
			" or a comment meant as rules?): put the comment last, TAG NAME |"
			" RULES # COMMENT: 04A1B2C3 is let in never"},
		{2, "a '|' after the '#' reads two ways"},
		{3, "@crew: \"07:00-\" is not a time range (HH:MM-HH:MM): every tag"
			" that uses @crew is let in never"},
		{4, "@crew is defined on line 3 already; this line does not count"},
		{5, "@crew cannot be read (line 3): 0101 is let in never"},
		{6, "@team: a set of hours needs '='"},
		{7, "@team is defined on line 6 already"},
		{8, "@team cannot be read (line 6): 0102 is let in never"},
		{11, "a second '|' reads two ways"},
		{12, "no rule after the '|'"},
		{13, "cannot read \"Su-Su 00:00-24:00\": \"Su-Su\" joins a day to"
			" itself"},
		{14, "a control character (0x0C) on the line"},
		{15, "a control character (0x0D) on the line"},
		{19, "@night: a set of hours holds no '|'"},
		{20, "@night cannot be read (line 19): 0113 is let in never"},
		{21, "a '|' after the '#' reads two ways"},
		{22, "a second '|' reads two ways"},
		{25, "the name of a set of hours is at most 64 characters long"},
		{26, "a tag is at most 64 characters long"},
		{28, "0200 is listed on line 27 already; this line does not count"},
	};
	for (const auto& [line, what] : problems) {
		SCOPED_TRACE(what);
		EXPECT_EQ(1, count_of(output, list + ", line " + std::to_string(line)
			+ ": ")) << output;
		EXPECT_EQ(1, count_of(output, list + ", line " + std::to_string(line)
			+ ": " + what)) << output;
	}
	// And nothing else: the 20 later lines of 0200 among them.
	EXPECT_EQ(problems.size() + 19, (size_t)count_of(output, list
		+ ", line ")) << output;
}


// Bytes that other editors, input methods and copies from a web page leave
// in a list, asked through --check --at (Berlin): a line that shows one
// thing and could be read as another lets its tag in never, and a later
// line of the same tag does not count in its place. 2027-06-07 is a
// Monday, 2027-06-06 a Sunday.
TEST_F(ReaderProgramTest, CheckRefusesWhatBytesFromOtherEditorsHide)
{
	using namespace std::string_literals;
	const char* kSunday = "2027-06-06 03:00";
	const char* kMonday = "2027-06-07 08:30";
	ExpectChecks({
		{"a byte order mark before the first line",
			"\xEF\xBB\xBF" "0001 | off\n0001 Anna\n", "0001", kSunday, "off",
			1},
		{"a byte order mark before a set's line",
			"\xEF\xBB\xBF@day = Mo 08:00-09:00\n0001 | @day\n", "0001",
			kMonday, "pass", 2},
		{"a Windows list: byte order mark, CRLF, no last newline",
			"\xEF\xBB\xBF" "0001 Anna | Mo 08:00-09:00\r\n0002 Ben | off\r\n"
			"0001 spare", "0001", kSunday, "outside-hours", 1},
		{"a no-break space instead of the blank before the '|'",
			"0001\xC2\xA0| off\n0001 Anna\n", "0001", kSunday, "bad-rule", 1},
		{"a no-break space between the tag and the name",
			"0001\xC2\xA0" "Anna | off\n0001 Anna\n", "0001", kSunday,
			"bad-rule", 1},
		{"a no-break space before the tag",
			"\xC2\xA0" "0001 | off\n0001 Anna\n", "0001", kSunday, "bad-rule",
			1},
		{"a NUL right after the tag", "0001\0 | off\n0001 Anna\n"s, "0001",
			kSunday, "bad-rule", 1},
		{"a vertical tab right after the tag", "0001\v| off\n0001 Anna\n",
			"0001", kSunday, "bad-rule", 1},
		{"a form feed before the tag", "\f0001 | off\n0001 Anna\n", "0001",
			kSunday, "bad-rule", 1},
		{"a fullwidth '|' before the rules",
			"0001 Anna \xEF\xBD\x9C off\n", "0001", kSunday, "bad-rule", 1},
		{"a broken bar before the rules", "0001 Anna \xC2\xA6 off\n", "0001",
			kSunday, "bad-rule", 1},
		{"a fullwidth '|' in the comment after the rules",
			"0001 | Mo-Su 00:00-24:00 # not \xEF\xBD\x9C off\n", "0001",
			kSunday, "bad-rule", 1},
		{"a fullwidth '|' in a set's comment",
			"@all = Mo-Su 00:00-24:00 # \xEF\xBD\x9C off\n0001 | @all\n",
			"0001", kSunday, "bad-rule", 2},
		{"a no-break space before a set's line",
			"\xC2\xA0@crew = Mo 08:00-09:00\n@crew = Mo-Su 00:00-24:00\n"
			"0001 | @crew\n", "0001", kSunday, "bad-rule", 3},
		{"a blank between the '@' and a set's name",
			"@ crew = Mo 08:00-09:00\n@crew = Mo-Su 00:00-24:00\n"
			"0001 | @crew\n", "0001", kSunday, "bad-rule", 3},
		// Names are any text: only what stands by the tag must be ASCII.
		{"a name outside ASCII",
			"0001 J\xC3\xBCrgen M\xC3\xBCller | Mo 08:00-09:00 # \xC3\xBC\n",
			"0001", kMonday, "pass", 1},
	});
}


// Limits that the grammar cannot read as exactly one moment or one window
// let their tag in never: a second "until" might be the one meant, an
// "until" at the moment of the "from" leaves no time at all.
TEST_F(ReaderProgramTest, CheckRefusesALimitItCannotReadExactly)
{
	const char* kSunday = "2027-06-06 03:00";
	ExpectChecks({
		{"until given twice", "0001 | until 2027-01-01 ; until 2099-01-01\n",
			"0001", kSunday, "bad-rule", 1},
		{"from given twice", "0001 | from 2099-01-01 ; from 2027-01-01\n",
			"0001", kSunday, "bad-rule", 1},
		{"until at the moment from names",
			"0001 | from 2027-06-06 03:00 ; until 2027-06-06 03:00\n", "0001",
			kSunday, "bad-rule", 1},
		{"24:00 as the start of a window", "0001 | Mo 24:00-01:00\n", "0001",
			"2027-06-08 00:30", "bad-rule", 1},
		{"a date before 1970", "0001 | from 1969-12-31\n", "0001", kSunday,
			"bad-rule", 1},
	});
}


TEST_F(ReaderProgramTest, LearningWaitsWhileAnotherWriterHoldsTheLock)
{
	// rdx-tags saves while rdx-reader learns: the lock keeps both lines.
	std::string list = fDirectory.Sub("tags");
	FILE* file = fopen(list.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("1111 Anna\n", file);
	fclose(file);
	chmod(list.c_str(), 0600);
	EventFifo fifo;
	ReaderProcess reader({"--learn", "--keyboard", fifo.Path(), "--tags",
		list}, Environment());
	ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": reading\n"));

	// The other writer between its "changed on disk?" and its rename.
	TagListLock lock;
	std::string problem;
	ASSERT_EQ(B_OK, lock.Acquire(list, &problem)) << problem;
	TagList editor(list);
	ASSERT_EQ(B_OK, editor.Load(&problem)) << problem;
	ASSERT_TRUE(fifo.Write(KeyScript().Type("2222\n")));
	ASSERT_TRUE(wait_for([&] {
		return count_of(reader.Output(), "waiting for it to finish") == 1
			|| count_of(reader.Output(), "2222: learned") == 1;
	}, 20)) << reader.Output();
	TagFile edited = editor.File();
	edited.AppendLine("3333 Ben");
	ASSERT_EQ(B_OK, editor.Save(edited, &problem, &lock)) << problem;
	lock.Release();
	ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": 2222: learned\n"));
	std::string text = read_file(list);
	EXPECT_EQ(0u, text.find("1111 Anna\n3333 Ben\n2222 # learned ")) << text;
	EXPECT_EQ(1, count_of(reader.Output(), "rdx-reader: another program is"
		" writing " + list + ": waiting for it to finish\n"))
		<< reader.Output();
	EXPECT_EQ(0, reader.Terminate());
}


// The list as a link to a file elsewhere, as a running rdx-reader sees it:
// an edit of the file behind the link, a mode that lets others write it
// (nothing passes) and its mending, a link moved to another file.
TEST_F(ReaderProgramTest, ListBehindALinkIsFollowedAndRefusedWhileOthersMayWrite)
{
	TempDir elsewhere("rdx-reader-lists");
	std::string first = elsewhere.Sub("first");
	std::string second = elsewhere.Sub("second");
	auto write = [](const std::string& path, const char* text) {
		// In place, as an editor that keeps the file's inode does.
		FILE* file = fopen(path.c_str(), "r+");
		if (file == nullptr)
			file = fopen(path.c_str(), "w");
		ASSERT_NE(nullptr, file);
		ASSERT_EQ(0, ftruncate(fileno(file), 0));
		fputs(text, file);
		fclose(file);
	};
	write(first, "1111\n");
	write(second, "3333\n");
	std::string link = fDirectory.Sub("tags");
	ASSERT_EQ(0, symlink(first.c_str(), link.c_str()));

	EventFifo fifo;
	ReaderProcess reader({"--keyboard", fifo.Path(), "--tags", link,
		"--repeat-ms", "0"}, Environment());
	ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": reading\n"));
	int64_t start = 1000000000LL * 1000;
	auto present = [&](const char* tag, const std::string& outcome) {
		start += 1000000000LL;
		ASSERT_TRUE(fifo.Write(KeyScript(start).Type(std::string(tag)
			+ "\n")));
		ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": " + tag + ": "
			+ outcome)) << reader.Output();
	};
	present("1111", "no rdx");
	// Waits for a reload after the change.
	auto reloaded = [&](const std::function<void()>& change) {
		int before = count_of(reader.Output(), "read again the tag list");
		change();
		ASSERT_TRUE(reader.WaitForCount("read again the tag list",
			before + 1));
	};

	reloaded([&] { write(first, "2222\n"); });
	present("1111", "unknown");

	ASSERT_EQ(0, chmod(first.c_str(), 0620));
	ASSERT_TRUE(reader.WaitFor("rdx-reader: refusing the tag list: " + first
		+ " may be written by others (mode 0620): no tag passes until that"
		" is mended: chmod go-w " + first + "\n"));
	present("2222", "unknown (the tag list " + link + " is refused)");
	reloaded([&] { ASSERT_EQ(0, chmod(first.c_str(), 0600)); });
	present("2222", "no rdx");

	// Moved as tools do it: a new link renamed over the old one.
	std::string moved = fDirectory.Sub("tags.new");
	ASSERT_EQ(0, symlink(second.c_str(), moved.c_str()));
	reloaded([&] { ASSERT_EQ(0, rename(moved.c_str(), link.c_str())); });
	present("3333", "no rdx");
	reloaded([&] { write(second, "4444\n"); });
	present("3333", "unknown");
	present("4444", "no rdx");
	EXPECT_EQ(0, reader.Terminate());
}

// A list reached through links, as a running rdx-reader sees it: whatever
// link on the way is moved to lead elsewhere (one in the middle of a
// chain, the link of a directory above the list), the list it leads to now
// is the one in force, at once; a list it no longer leads to never opens
// again. The file at the end of the chain is watched as before.
TEST_F(ReaderProgramTest, ListIsReadAgainWhenAnyLinkOnTheWayMoves)
{
	struct Case {
		const char*	name;
		// Links made below the test's directory: where, and what they say
		// ("@" for the test's directory).
		std::vector<std::pair<const char*, const char*>> links;
		const char*	path;
		// The change: a link moved by a new one renamed over it, or, with
		// no link, the file written in place.
		const char*	moved;
		const char*	target;
	};
	const std::vector<Case> cases = {
		{"the link in the middle of a chain",
			{{"cfg/tags", "@/srv/current"}, {"srv/current", "@/lists/v1"}},
			"cfg/tags", "srv/current", "@/lists/v2"},
		{"the link of the list's directory",
			{{"cfg/RDX", "@/lists"}}, "cfg/RDX/v1", "cfg/RDX", "@/other"},
		{"the file at the end of a chain, written in place",
			{{"cfg/tags", "@/srv/current"}, {"srv/current", "@/lists/v1"}},
			"cfg/tags", nullptr, "@/lists/v1"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		TempDir directory("rdx-reader-links");
		auto at = [&](const char* name) {
			return name[0] == '@' ? directory.Path() + (name + 1)
				: directory.Sub(name);
		};
		// In place, as an editor that keeps the file's inode does.
		auto write_file = [](const std::string& path, const std::string& text) {
			std::ofstream file(path, std::ios::binary | std::ios::trunc);
			file << text;
			file.close();
			return file.good();
		};
		for (const char* folder : {"cfg", "srv", "lists", "other"})
			ASSERT_EQ(0, mkdir(directory.Sub(folder).c_str(), 0700));
		std::string open = "0001 Anna\n";
		std::string off = "0001 Anna | off\n";
		for (const auto& [file, text] : std::vector<std::pair<const char*,
				std::string>>{{"lists/v1", open}, {"lists/v2", off},
				{"other/v1", off}}) {
			ASSERT_TRUE(write_file(directory.Sub(file), text));
			ASSERT_EQ(0, chmod(directory.Sub(file).c_str(), 0600));
		}
		for (const auto& [link, target] : test.links)
			ASSERT_EQ(0, symlink(at(target).c_str(), at(link).c_str()));

		EventFifo fifo;
		ReaderProcess reader({"--keyboard", fifo.Path(), "--tags",
			at(test.path), "--repeat-ms", "0"}, Environment());
		ASSERT_TRUE(reader.WaitFor(fifo.Path() + ": reading\n"));
		int64_t start = 1000000000LL * 1000;
		auto present = [&](const std::string& outcome) {
			int before = count_of(reader.Output(), ": 0001 ");
			start += 1000000000LL;
			ASSERT_TRUE(fifo.Write(KeyScript(start).Type("0001\n")));
			ASSERT_TRUE(reader.WaitForCount(": 0001 ", before + 1));
			EXPECT_EQ(1, count_of(reader.Output(), ": 0001 (Anna): "
				+ outcome)) << reader.Output();
		};
		present("no rdx");
		if (test.moved != nullptr) {
			std::string fresh = at(test.moved) + ".new";
			ASSERT_EQ(0, symlink(at(test.target).c_str(), fresh.c_str()));
			ASSERT_EQ(0, rename(fresh.c_str(), at(test.moved).c_str()));
		} else
			ASSERT_TRUE(write_file(at(test.target), off));
		EXPECT_TRUE(reader.WaitFor("read again the tag list", 10))
			<< reader.Output();
		present("off (line 1)");
		EXPECT_EQ(0, reader.Terminate());
	}
}

}	// namespace
