// rdx-reader as a program, without rdx: its command line, exit statuses,
// the fail-secure start and a device that goes away and comes back.

#include "ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
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
		{{"--keyboard", "k", "--to", ""}, "the signature is empty"},
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

}	// namespace
