// A PIN typed after a tag, through rdx-reader and FIFOs of real input
// events, without rdx: the right PIN is passed on (and finds no rdx), a
// wrong one, a late one, a tag read where the PIN is awaited and another
// reader's tag in between; three wrong ones lock the tag, also across a
// restart; and the digits are nowhere: not in a line, a record, or the
// reader's memory after the check.

#include "ReaderTestSupport.h"

#include <Dispatcher.h>
#include <PinBuffer.h>
#include <PinHash.h>
#include <PinLocks.h>
#include <RepeatFilter.h>
#include <TagList.h>
#include <TagPoster.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char* kPin = "739146285017";


// The hash of a PIN at the cost rdx-reader --set-pin uses.
std::string
PinHashOf(const char* digits)
{
	std::string hash, problem;
	EXPECT_TRUE(PinHash::Make(digits, strlen(digits), &hash, &problem))
		<< problem;
	return hash;
}


// The directory a path is in.
std::string
PathOf(const std::string& path)
{
	return path.substr(0, path.rfind('/'));
}


// Whether the process's writable memory holds the text anywhere. Read a
// piece at a time, overlapping by the text's length, and past regions
// larger than any the reader allocates: a sanitizer's shadow is terabytes
// of reserved pages that hold no copy of anything the program wrote.
bool
memory_holds(pid_t pid, const std::string& text)
{
	const unsigned long kLargestRegion = 1ul << 30;
	const size_t kPiece = 1 << 20;
	std::string base = "/proc/" + std::to_string(pid);
	std::istringstream maps(read_file(base + "/maps"));
	int memory = open((base + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
	EXPECT_GE(memory, 0) << strerror(errno);
	bool found = false;
	std::string piece(kPiece + text.size(), '\0');
	for (std::string line; std::getline(maps, line) && memory >= 0
			&& !found;) {
		unsigned long start, end;
		char permissions[8];
		if (sscanf(line.c_str(), "%lx-%lx %7s", &start, &end, permissions) != 3
			|| permissions[0] != 'r' || permissions[1] != 'w'
			|| end - start > kLargestRegion)
			continue;
		for (unsigned long at = start; at < end && !found; at += kPiece) {
			size_t want = std::min<unsigned long>(piece.size(), end - at);
			ssize_t count = pread(memory, &piece[0], want, (off_t)at);
			if (count > 0)
				found = memmem(piece.data(), (size_t)count, text.data(),
					text.size()) != nullptr;
		}
	}
	if (memory >= 0)
		close(memory);
	return found;
}


// '#' as a keyboard types it: Shift held, 3.
std::string
shifted_three()
{
	std::string bytes;
	for (auto [code, value] : {std::pair{KEY_LEFTSHIFT, 1}, {KEY_3, 1},
			{KEY_3, 0}, {KEY_LEFTSHIFT, 0}}) {
		struct input_event event = {};
		event.type = EV_KEY;
		event.code = (uint16_t)code;
		event.value = value;
		bytes.append((const char*)&event, sizeof(event));
	}
	return bytes;
}


class PinTest : public ::testing::Test {
protected:
	PinTest()
		:
		fDirectory("rdx-reader-pin")
	{
	}

	void SetUp() override
	{
		std::string hash, problem;
		ASSERT_TRUE(PinHash::Make(kPin, strlen(kPin), &hash, &problem))
			<< problem;
		fList = fDirectory.Sub("tags");
		FILE* file = fopen(fList.c_str(), "w");
		ASSERT_NE(nullptr, file);
		fprintf(file, "1111 Anna | pin ; pinhash %s\n2222 Bob\n", hash.c_str());
		fclose(file);
		chmod(fList.c_str(), 0600);
	}

	std::unique_ptr<ReaderProcess> Start()
	{
		return Start(fDirectory.Sub("state"));
	}

	std::unique_ptr<ReaderProcess> Start(const std::string& state,
		const std::string& wait = "2")
	{
		return std::make_unique<ReaderProcess>(std::vector<std::string>{
			"--tags", fList, "--repeat-ms", "0", "--pin-wait-s", wait,
			"--keyboard", fA.Path(), "--keyboard", fB.Path()},
			std::map<std::string, std::string>{
				{"XDG_RUNTIME_DIR", fDirectory.Sub("run")},
				{"HOME", fDirectory.Sub("home")},
				{"XDG_STATE_HOME", state}});
	}

	bool WriteList(const std::string& text)
	{
		FILE* file = fopen(fList.c_str(), "w");
		if (file == nullptr)
			return false;
		fputs(text.c_str(), file);
		fclose(file);
		return chmod(fList.c_str(), 0600) == 0;
	}

	TempDir			fDirectory;
	std::string		fList;
	EventFifo		fA;
	EventFifo		fB;
};


TEST_F(PinTest, RightWrongLateLockedAndAnotherReaderInBetween)
{
	std::unique_ptr<ReaderProcess> reader = Start();
	ASSERT_TRUE(reader->WaitForCount(": reading\n", 2));
	const std::string a = fA.Path() + ": 1111 (Anna): ";
	const std::string b = fB.Path() + ": 2222 (Bob): ";
	const std::string wanted = a + "pin-wanted (line 1): type the PIN and"
		" Enter within 2 s\n";
	const std::string right = a + "no rdx (the PIN is right): rdx does not"
		" run";
	// A person types the PIN, far slower than a reader types a tag.
	auto pin = [](int enter) {
		return KeyScript().Type(kPin, 400).Key(enter, 400).Bytes();
	};

	struct Step {
		EventFifo*		fifo;
		std::string		keys;
		std::string		line;
		int				count;
	};
	const std::vector<Step> steps = {
		// The keypad's Enter.
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 1},
		{&fA, pin(KEY_KPENTER), right, 1},
		// Another reader's tag while A waits; then A's PIN, ended by '#'.
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 2},
		{&fB, KeyScript().Type("2222\n").Bytes(), b + "no rdx", 1},
		{&fA, KeyScript().Type(kPin, 400).Bytes() + shifted_three(), right,
			2},
		// A tag read where its PIN is awaited is a wrong PIN, not a read.
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 3},
		{&fA, KeyScript().Type("1111\n").Bytes(), a + "wrong-pin (typed at a"
			" reader's pace: a tag read where the PIN was awaited) (1 of 3 in"
			" a row)\n", 1},
		// None in time; what is typed after is no PIN, and not shown.
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 4},
		{nullptr, "", a + "no-pin (none within 2 s)\n", 1},
		{&fA, pin(KEY_ENTER), fA.Path() + ": 1 keys dropped: ", 12},
		// Esc starts the PIN again: a slip is not a wrong PIN.
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 5},
		{&fA, KeyScript().Type("55", 300).Key(KEY_ESC, 300).Type("86420975\n",
			300).Bytes(), a + "wrong-pin (2 of 3 in a row)\n", 1},
		{&fA, KeyScript().Type("1111\n").Bytes(), wanted, 6},
		{&fA, KeyScript().Type("31415926", 300).Key(KEY_NUMERIC_POUND, 300)
			.Bytes(), a + "wrong-pin (3 in a row: refused until ", 1},
		// Locked: refused at once, whatever PIN would follow.
		{&fA, KeyScript().Type("1111\n").Bytes(), a + "pin-locked (too many"
			" wrong PINs: refused until ", 1},
	};
	for (size_t i = 0; i < steps.size(); i++) {
		const Step& step = steps[i];
		SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + step.line);
		if (step.fifo != nullptr) {
			ASSERT_TRUE(step.fifo->Write(step.keys));
		}
		ASSERT_TRUE(reader->WaitForCount(step.line, step.count, 10))
			<< reader->Output();
		if (i == 1) {
			// The check is over: its digits are gone from the reader.
			EXPECT_FALSE(memory_holds(reader->Process().Pid(), kPin));
		}
	}
	EXPECT_EQ(2, count_of(reader->Output(), right)) << reader->Output();
	EXPECT_EQ(0, reader->Terminate());

	// A restart lifts no lock.
	reader = Start();
	ASSERT_TRUE(reader->WaitForCount(": reading\n", 2));
	ASSERT_TRUE(fA.Write(KeyScript().Type("1111\n")));
	ASSERT_TRUE(reader->WaitFor(a + "pin-locked")) << reader->Output();
	ASSERT_TRUE(fB.Write(KeyScript().Type("2222\n")));
	ASSERT_TRUE(reader->WaitFor(b + "no rdx")) << reader->Output();
	std::string output = reader->Output();
	EXPECT_EQ(0, reader->Terminate());

	// Every read and every PIN has its record, with the tag and never the
	// digits; nor does any line hold them.
	std::string log = read_file(fDirectory.Sub("state/RDX/access.log"));
	for (const char* outcome : {"pin-wanted", "wrong-pin", "no-pin",
			"pin-locked"}) {
		EXPECT_NE(std::string::npos, log.find("\"tag\":\"1111\",\"outcome\":\""
			+ std::string(outcome) + "\"")) << outcome << "\n" << log;
	}
	for (const std::string& text : {log, output, reader->Output(),
			read_file(fDirectory.Sub("state/RDX/pin-locks"))}) {
		for (const char* digits : {kPin, "86420975", "31415926"})
			EXPECT_EQ(std::string::npos, text.find(digits)) << text;
	}
}

}	// namespace


namespace {

// When a PIN is asked, through --check --at: 2026-12-08 is a Tuesday.
TEST_F(PinTest, CheckSaysWhenAPinIsAsked)
{
	std::string hash, problem;
	ASSERT_TRUE(PinHash::Make("2468", 4, &hash, &problem)) << problem;
	std::string h = " ; pinhash " + hash;
	std::string text = "@staff = Mo-Fr 07:00-19:00\n"
		"0001 always | pin" + h + "\n"
		"0002 nights | PIN Mo-Su 22:00-06:00" + h + "\n"
		"0003 staff | Mo-Su 06:00-23:00 ; pin outside @staff" + h + "\n"
		"0004 during | pin @staff" + h + " # a comment\n"
		"0005 not set | pin\n"
		"0006 set only | pinhash " + hash + "\n"
		"0007 twice | pin" + h + h + "\n"
		"0008 outside what | pin outside" + h + "\n"
		"0009 nobody | pin @nobody" + h + "\n"
		"0010 off | off ; pin" + h + "\n"
		"0011 short hash | pin ; pinhash " + hash.substr(0, hash.size() - 1)
			+ "\n"
		"0012 hours | Sa 09:00-13:00 ; pin" + h + "\n"
		"0013 pin outside hours | pin outside Mo-Fr 08:00-17:00 ; pin Sa-Su"
			" 10:00-11:00" + h + "\n";
	FILE* file = fopen(fList.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs(text.c_str(), file);
	fclose(file);

	struct Case {
		const char*	tag;
		const char*	at;
		const char*	word;
	};
	const std::vector<Case> cases = {
		{"0001", "2026-12-08 12:00", "pin-wanted"},
		{"0002", "2026-12-08 21:59", "pass"},
		{"0002", "2026-12-08 22:00", "pin-wanted"},
		{"0002", "2026-12-09 05:59", "pin-wanted"},
		{"0003", "2026-12-08 18:59", "pass"},
		{"0003", "2026-12-08 19:00", "pin-wanted"},
		{"0003", "2026-12-12 10:00", "pin-wanted"},
		{"0003", "2026-12-08 23:00", "outside-hours"},
		{"0004", "2026-12-08 12:00", "pin-wanted"},
		{"0004", "2026-12-08 20:00", "pass"},
		// A PIN asked but never set lets the tag in never.
		{"0005", "2026-12-08 12:00", "bad-rule"},
		{"0006", "2026-12-08 12:00", "pass"},
		{"0007", "2026-12-08 12:00", "bad-rule"},
		{"0008", "2026-12-08 12:00", "bad-rule"},
		{"0009", "2026-12-08 12:00", "bad-rule"},
		{"0010", "2026-12-08 12:00", "off"},
		{"0011", "2026-12-08 12:00", "bad-rule"},
		{"0012", "2026-12-12 12:59", "pin-wanted"},
		{"0012", "2026-12-12 13:00", "outside-hours"},
		{"0013", "2026-12-08 12:00", "pass"},
		{"0013", "2026-12-08 17:00", "pin-wanted"},
		{"0013", "2026-12-13 10:30", "pin-wanted"},
	};
	std::map<std::string, std::string> environment = {
		{"XDG_RUNTIME_DIR", fDirectory.Sub("run")},
		{"HOME", fDirectory.Sub("home")}, {"TZ", "Europe/Berlin"}};
	std::string output;
	for (const Case& test : cases) {
		SCOPED_TRACE(std::string(test.tag) + " at " + test.at);
		ReaderProcess reader({"--check", test.tag, "--tags", fList, "--at",
			test.at}, environment);
		int status = -1;
		ASSERT_TRUE(reader.Process().Wait(20, &status));
		output = reader.Output();
		std::string word = test.word;
		EXPECT_EQ(word == "pass" || word == "pin-wanted" ? 0 : 1, status);
		EXPECT_EQ(1, count_of(output, std::string(test.tag) + ": " + word
			+ " at ")) << output;
		EXPECT_EQ(word == "pin-wanted" ? 1 : 0, count_of(output, std::string(
			test.tag) + ": passes with its PIN")) << output;
	}
	// What is wrong, once per line, when the list is read.
	const std::vector<std::pair<int, const char*>> problems = {
		{6, "a PIN is asked but none is set: rdx-reader --set-pin 0005"},
		{7, "a PIN is set but no 'pin' item asks for it: 0006 passes"
			" without it"},
		{8, "\"pinhash\" is given twice"},
		{9, "\"pin outside\" needs hours or @name"},
		{10, "@nobody is not defined"},
		{12, "\"pinhash\" takes the text that rdx-reader --set-pin writes"},
	};
	for (const auto& [line, what] : problems) {
		EXPECT_EQ(1, count_of(output, fList + ", line " + std::to_string(line)
			+ ": " + what)) << output;
	}
	EXPECT_EQ(problems.size(), (size_t)count_of(output, fList + ", line "))
		<< output;
}

}	// namespace


namespace {

// The press of every digit key in the script, as the reader reads it: 24
// bytes with the script's own time, which nothing else in the reader holds.
std::vector<std::string>
digit_presses(const KeyScript& script)
{
	std::vector<std::string> presses;
	for (const struct input_event& event : script.Events()) {
		if (event.type == EV_KEY && event.value == 1 && event.code >= KEY_1
			&& event.code <= KEY_0)
			presses.emplace_back((const char*)&event, sizeof(event));
	}
	return presses;
}


// Digits typed where no PIN is awaited may be somebody's PIN all the same:
// typed at the other reader, before the card, after the wait. The lines
// count them and never show them, also a few at a time. What cannot be a
// PIN (hex, more digits than a PIN has) is shown, so that a reader's
// mistakes can still be told.
TEST_F(PinTest, DigitsThatMayBeAPinAreCountedNeverShown)
{
	std::unique_ptr<ReaderProcess> reader = Start();
	ASSERT_TRUE(reader->WaitForCount(": reading\n", 2));
	struct Row {
		const char*		name;
		EventFifo*		fifo;
		std::string		keys;
		std::string		line;
		int				count;
	};
	// Every row types with times of its own.
	const int64_t second = 1000000;
	const std::vector<Row> rows = {
		{"A waits for the PIN", &fA, KeyScript().Type("1111\n").Bytes(),
			": 1111 (Anna): pin-wanted", 1},
		{"the PIN typed at B instead", &fB, KeyScript(2000 * second)
			.Type(kPin, 400).Key(KEY_ENTER, 400).Bytes(), fB.Path()
			+ ": 1 keys dropped: 402 ms between two keys", 12},
		{"A's wait ends", nullptr, "", ": 1111 (Anna): no-pin", 1},
		{"the PIN typed at B before the card, two keys at a time", &fB,
			KeyScript(3000 * second).Type("73").Wait(400).Type("91").Wait(400)
			.Type("46").Wait(400).Type("28").Wait(400).Key(KEY_ENTER).Bytes(),
			fB.Path() + ": 2 keys dropped: 412 ms", 4},
		{"a hex tag cut short", &fB, KeyScript(4000 * second).Type("04A1")
			.Key(KEY_Q).Bytes(), fB.Path() + ": \"04A1\" dropped: the key with"
			" code 16", 1},
		{"more digits than a PIN has", &fB, KeyScript(5000 * second)
			.Type("1234567890123").Key(KEY_Q).Bytes(), fB.Path()
			+ ": \"1234567890123\" dropped", 1},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		if (row.fifo != nullptr) {
			ASSERT_TRUE(row.fifo->Write(row.keys));
		}
		ASSERT_TRUE(reader->WaitForCount(row.line, row.count, 10))
			<< reader->Output();
	}
	std::string output = reader->Output();
	EXPECT_FALSE(std::regex_search(output, std::regex("\"[0-9]{1,12}\""
		" dropped"))) << output;
	EXPECT_EQ(0, reader->Terminate());
}


// The keys of a PIN are the PIN: none of them stays in the reader's memory
// once its wait is over, also when they came in one piece with the tag,
// when the Enter never came, and when they came too late.
TEST_F(PinTest, NoKeyOfAPinStaysInTheReadersMemory)
{
	std::unique_ptr<ReaderProcess> reader = Start();
	ASSERT_TRUE(reader->WaitForCount(": reading\n", 2));
	const std::string a = fA.Path() + ": 1111 (Anna): ";
	struct Row {
		const char*		name;
		KeyScript		keys;
		// The keys of the tag, which are no secret.
		size_t			tagKeys;
		std::string		line;
		int				count;
	};
	const int64_t second = 1000000;
	const std::vector<Row> rows = {
		{"tag and PIN in one write", KeyScript(2000 * second).Type("1111\n")
			.Type(kPin, 300).Key(KEY_ENTER, 300), 4, a + "no rdx (the PIN is"
			" right)", 1},
		{"a wrong PIN", KeyScript(3000 * second).Type("1111\n")
			.Type("864209753175", 300).Key(KEY_ENTER, 300), 4, a + "wrong-pin",
			1},
		{"half a PIN, no Enter in time", KeyScript(4000 * second)
			.Type("1111\n").Type("739146", 300), 4, a + "no-pin", 1},
		{"the PIN after the wait", KeyScript(5000 * second).Type(kPin, 10)
			.Key(KEY_Q), 0, fA.Path() + ": 12 keys dropped", 1},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		ASSERT_TRUE(fA.Write(row.keys));
		ASSERT_TRUE(reader->WaitForCount(row.line, row.count, 10))
			<< reader->Output();
		pid_t pid = reader->Process().Pid();
		EXPECT_FALSE(memory_holds(pid, kPin));
		std::vector<std::string> presses = digit_presses(row.keys);
		for (size_t i = row.tagKeys; i < presses.size(); i++)
			EXPECT_FALSE(memory_holds(pid, presses[i])) << "key " << i + 1;
	}
	EXPECT_EQ(0, reader->Terminate());
}


// The record of wrong PINs limits the guesses at a found card: one that
// others may change, or that is no record at all, could lift its locks at
// the next start, or hold the reader up. It is refused with a line: the
// tags that want a PIN are refused until it is mended, every other tag
// passes, and the reader starts at once.
TEST_F(PinTest, RecordOfWrongPinsThatCannotBeTrustedTakesNoPin)
{
	const std::string a = fA.Path() + ": 1111 (Anna): ";
	using Change = std::function<void(const std::string&)>;
	struct Row {
		const char*		name;
		Change			spoil;
		Change			mend;
		const char*		why;
		bool			onlyRoot;
		// The lockdown state is kept in the same directory: one others may
		// write makes it count as on, so every read is refused, and it
		// stays so until the reader reads that state again.
		bool			lockdown = false;
	};
	Change takeAway = [](const std::string& path) { unlink(path.c_str()); };
	auto write = [](const std::string& path, const char* text, mode_t mode) {
		FILE* file = fopen(path.c_str(), "w");
		ASSERT_NE(nullptr, file);
		fputs(text, file);
		fclose(file);
		chmod(path.c_str(), mode);
	};
	const std::vector<Row> rows = {
		{"a link to an endless device", [](const std::string& path) {
			symlink("/dev/zero", path.c_str()); }, takeAway,
			"a symbolic link", false},
		{"a FIFO", [](const std::string& path) {
			mkfifo(path.c_str(), 0600); }, takeAway, "not a plain file", false},
		{"a link to a record elsewhere", [&](const std::string& path) {
			write(path + ".real", "1111 0 0\n", 0600);
			symlink((path + ".real").c_str(), path.c_str()); }, takeAway,
			"a symbolic link", false},
		{"written by others", [&](const std::string& path) {
			write(path, "1111 2 0\n", 0666); },
			[](const std::string& path) { chmod(path.c_str(), 0600); },
			"others may write it (mode 0666)", false},
		{"another user's", [&](const std::string& path) {
			write(path, "1111 2 0\n", 0600);
			ASSERT_EQ(0, chown(path.c_str(), 65534, 65534)); },
			[](const std::string& path) {
				ASSERT_EQ(0, chown(path.c_str(), 0, 0)); },
			"it belongs to another user", true},
		{"in a directory others may write", [](const std::string& path) {
			chmod(PathOf(path).c_str(), 0777); },
			[](const std::string& path) {
				chmod(PathOf(path).c_str(), 0700); },
			"may be written by others (mode 0777)", false, true},
		{"a line that cannot be read", [&](const std::string& path) {
			write(path, "# rdx-reader\n1111 3\n", 0600); },
			[&](const std::string& path) { write(path, "", 0600); },
			"line 2 cannot be read", false},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		if (row.onlyRoot && geteuid() != 0)
			continue;
		TempDir state("rdx-reader-pin-state");
		ASSERT_EQ(0, mkdir(state.Sub("RDX").c_str(), 0700));
		std::string record = state.Sub("RDX/pin-locks");
		row.spoil(record);
		std::unique_ptr<ReaderProcess> reader = Start(state.Path());
		ASSERT_TRUE(reader->WaitForCount(": reading\n", 2, 10))
			<< reader->Output();
		EXPECT_TRUE(reader->WaitFor("rdx-reader: cannot use the record of"
			" wrong PINs " + record, 1)) << reader->Output();
		ASSERT_TRUE(fA.Write(KeyScript().Type("1111\n")));
		EXPECT_NE(std::string::npos, reader->Output().find(row.why))
			<< reader->Output();
		if (row.lockdown) {
			ASSERT_TRUE(reader->WaitFor(a + "lockdown", 10))
				<< reader->Output();
			ASSERT_TRUE(fB.Write(KeyScript().Type("2222\n")));
			EXPECT_TRUE(reader->WaitFor(": 2222 (Bob): lockdown", 10))
				<< reader->Output();
			EXPECT_EQ(0, reader->Terminate());
			fA.CloseWriter();
			fB.CloseWriter();
			continue;
		}
		ASSERT_TRUE(reader->WaitFor(a + "pin-locked (the record of wrong PINs"
			" cannot be used: ", 10)) << reader->Output();
		ASSERT_TRUE(fB.Write(KeyScript().Type("2222\n")));
		ASSERT_TRUE(reader->WaitFor(": 2222 (Bob): no rdx", 10));
		// Mended, the next read asks for the PIN again.
		row.mend(record);
		ASSERT_TRUE(fA.Write(KeyScript(2000LL * 1000000).Type("1111\n")));
		ASSERT_TRUE(reader->WaitFor(a + "pin-wanted", 10))
			<< reader->Output();
		EXPECT_EQ(0, reader->Terminate());
		fA.CloseWriter();
		fB.CloseWriter();
	}
}

}	// namespace


namespace {

// rdx-reader --set-pin as a person runs it: on a terminal of its own (a
// pseudo-terminal, its controlling terminal and all three of its streams).
class TerminalRun {
public:
	TerminalRun(const std::vector<std::string>& arguments,
		const std::map<std::string, std::string>& environment)
	{
		std::vector<std::string> argv = {ReaderProcess::Program()};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		std::vector<std::string> variables = {"LANGUAGE=en"};
		for (const auto& [name, value] : environment)
			variables.push_back(name + "=" + value);
		for (char** variable = environ; *variable != nullptr; variable++) {
			if (strncmp(*variable, "LANGUAGE=", 9) != 0
				&& strncmp(*variable, "LANG=", 5) != 0
				&& strncmp(*variable, "LC_", 3) != 0)
				variables.push_back(*variable);
		}
		std::vector<char*> args, envs;
		for (std::string& text : argv)
			args.push_back(&text[0]);
		for (std::string& text : variables)
			envs.push_back(&text[0]);
		args.push_back(nullptr);
		envs.push_back(nullptr);
		fPid = forkpty(&fMaster, nullptr, nullptr, nullptr);
		if (fPid == 0) {
			execve(args[0], args.data(), envs.data());
			_exit(127);
		}
		EXPECT_GT(fPid, 0) << strerror(errno);
	}

	~TerminalRun()
	{
		if (fPid > 0) {
			kill(fPid, SIGKILL);
			waitpid(fPid, nullptr, 0);
		}
		if (fMaster >= 0)
			close(fMaster);
	}

	// What the terminal showed so far, read as it comes.
	const std::string& Shown()
	{
		char buffer[512];
		struct pollfd entry = {fMaster, POLLIN, 0};
		while (poll(&entry, 1, 0) > 0) {
			ssize_t count = read(fMaster, buffer, sizeof(buffer));
			if (count <= 0)
				break;
			fShown.append(buffer, (size_t)count);
		}
		return fShown;
	}

	bool Echoes() const
	{
		struct termios modes;
		return tcgetattr(fMaster, &modes) == 0 && (modes.c_lflag & ECHO) != 0;
	}

	// Waits for the prompt and for echo to be off, then types the text.
	bool TypeAt(const std::string& prompt, int count, const std::string& text)
	{
		if (!wait_for([&] { return count_of(Shown(), prompt) >= count
				&& !Echoes(); }, 10))
			return false;
		return write(fMaster, text.data(), text.size())
			== (ssize_t)text.size();
	}

	void Signal(int signal) { kill(fPid, signal); }

	// The exit status, or 128 + the signal that ended it; -1 if it runs on.
	int Status()
	{
		int status = -1;
		bool ended = wait_for([&] {
			return waitpid(fPid, &status, WNOHANG) == fPid; }, 20);
		if (!ended)
			return -1;
		fPid = -1;
		Shown();
		return WIFSIGNALED(status) ? 128 + WTERMSIG(status)
			: WEXITSTATUS(status);
	}

private:
	pid_t			fPid = -1;
	int				fMaster = -1;
	std::string		fShown;
};


// The PIN asked on a terminal: twice, without echo, and the terminal is
// left as it was however the program ends: with the PIN set, refused, or
// given up with Ctrl-C (the terminal's own interrupt) or a signal.
TEST_F(PinTest, SetPinOnATerminalLeavesItAsItWas)
{
	const std::string first = "PIN for 2222: ";
	const std::string second = "The same PIN again: ";
	const std::string before = read_file(fList);
	struct Row {
		const char*		name;
		std::function<bool(TerminalRun&)> use;
		int				status;
		const char*		said;
		bool			written;
	};
	const std::vector<Row> rows = {
		{"the same PIN twice", [&](TerminalRun& run) {
			return run.TypeAt(first, 1, "2468\n")
				&& run.TypeAt(second, 1, "2468\n"); }, 0, "is set (line 2",
			true},
		{"two that differ", [&](TerminalRun& run) {
			return run.TypeAt(first, 1, "2468\n")
				&& run.TypeAt(second, 1, "2469\n"); }, 1, "the two PINs differ",
			false},
		{"Ctrl-C at the first", [&](TerminalRun& run) {
			return run.TypeAt(first, 1, "24\x03"); }, 128 + SIGINT, "", false},
		{"Ctrl-C at the second", [&](TerminalRun& run) {
			return run.TypeAt(first, 1, "2468\n")
				&& run.TypeAt(second, 1, "\x03"); }, 128 + SIGINT, "", false},
		{"ended by a signal", [&](TerminalRun& run) {
			if (!run.TypeAt(first, 1, "24"))
				return false;
			run.Signal(SIGTERM);
			return true; }, 128 + SIGTERM, "", false},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		ASSERT_TRUE(WriteList(before));
		TerminalRun run({"--set-pin", "2222", "--tags", fList},
			{{"HOME", fDirectory.Sub("home")}});
		ASSERT_TRUE(row.use(run)) << run.Shown();
		EXPECT_EQ(row.status, run.Status()) << run.Shown();
		EXPECT_TRUE(run.Echoes());
		EXPECT_NE(std::string::npos, run.Shown().find(row.said))
			<< run.Shown();
		EXPECT_EQ(std::string::npos, run.Shown().find("2468")) << run.Shown();
		std::string list = read_file(fList);
		EXPECT_EQ(row.written, list.find("2222 Bob | pin ; pinhash $argon2id$")
			!= std::string::npos) << list;
		if (!row.written)
			EXPECT_EQ(before, list);
	}
}

}	// namespace


namespace {

// The PIN "1234" at the costliest hash the list takes (64 MiB, 10 passes):
// each check of it holds the reader up for a good part of a second.
const char* kCostlyHash = "$argon2id$v=19$m=65536,t=10,p=1$EFirEioZD/Eyr5m8c"
	"+3ecw$A8KT/FwEF6vDj3jMsqtpzWfZ+CZUvSYn7YL4B/uFSAo";


// A wait ends at its deadline, not a microsecond later, and a PIN whose
// Enter is read after that is no PIN.
TEST_F(PinTest, AWaitEndsAtItsDeadline)
{
	TempDir runtime("rdx-reader-pin-run");
	setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
	TagList list(fList);
	std::string problem;
	ASSERT_EQ(B_OK, list.Load(&problem)) << problem;
	RepeatFilter repeats(0);
	TagPoster poster("application/x-vnd-RDX-pin-test");
	FILE* output = tmpfile();
	ASSERT_NE(nullptr, output);
	Dispatcher dispatcher(list, repeats, poster, Dispatcher::kListed, output);
	PinLocks locks(fDirectory.Sub("locks"), 3, 300);
	const bigtime_t second = 1000000;
	dispatcher.SetPins(&locks, 2 * second);
	const bigtime_t read = 1000 * second;
	ASSERT_EQ(Dispatcher::kPinWanted, dispatcher.Dispatch("A", "1111", read,
		true));
	EXPECT_EQ(read + 2 * second, dispatcher.NextPinDeadline());
	struct Row {
		bigtime_t		at;
		bool			awaiting;
	};
	for (const Row& row : std::vector<Row>{{read + second, true},
			{read + 2 * second - 1, true}, {read + 2 * second, false}}) {
		SCOPED_TRACE(row.at - read);
		std::vector<std::string> ended = dispatcher.EndLateWaits(row.at);
		EXPECT_EQ(row.awaiting, ended.empty());
		EXPECT_EQ(row.awaiting, dispatcher.IsAwaitingPin("A"));
	}
	PinBuffer pin;
	for (const char* digit = kPin; *digit != '\0'; digit++)
		pin.Add(*digit);
	EXPECT_EQ(Dispatcher::kNoPin, dispatcher.PinEntered("A", pin,
		read + 2 * second));
	fclose(output);
	unsetenv("XDG_RUNTIME_DIR");
}


// The reader is busy with another reader's PIN while this reader's wait
// runs out: a PIN read after that is late, however it came to be read
// late. Reader A checks three PINs at the costliest hash; B's PIN and Enter
// came while the reader was stopped, and are read after A's.
TEST_F(PinTest, APinReadAfterItsWaitIsLateAlsoWhenTheReaderWasBusy)
{
	ASSERT_TRUE(WriteList(std::string("1111 Anna | pin ; pinhash ")
		+ kCostlyHash + "\n2222 Bob | pin ; pinhash " + PinHashOf(kPin)
		+ "\n"));
	std::unique_ptr<ReaderProcess> reader = Start(fDirectory.Sub("state"),
		"1");
	ASSERT_TRUE(reader->WaitForCount(": reading\n", 2));
	ASSERT_TRUE(fA.Write(KeyScript().Type("1111\n")));
	ASSERT_TRUE(fB.Write(KeyScript().Type("2222\n")));
	ASSERT_TRUE(reader->WaitFor(": 2222 (Bob): pin-wanted"));
	reader->Process().Signal(SIGSTOP);
	KeyScript a(2000LL * 1000000);
	for (int i = 0; i < 3; i++) {
		if (i > 0)
			a.Type("1111\n");
		a.Type("5678\n", 300);
	}
	ASSERT_TRUE(fA.Write(a));
	ASSERT_TRUE(fB.Write(KeyScript(3000LL * 1000000).Type(kPin, 300)
		.Key(KEY_ENTER, 300)));
	// Stopped for half of B's wait: A's checks take the rest of it.
	usleep(500000);
	reader->Process().Signal(SIGCONT);
	ASSERT_TRUE(reader->WaitFor(": 2222 (Bob): no-pin (none within 1 s)", 20))
		<< reader->Output();
	ASSERT_TRUE(reader->WaitForCount(": 1111 (Anna): wrong-pin", 3, 20))
		<< reader->Output();
	EXPECT_EQ(std::string::npos, reader->Output().find(": 2222 (Bob): no rdx"))
		<< reader->Output();
	EXPECT_EQ(0, reader->Terminate());
}

}	// namespace
