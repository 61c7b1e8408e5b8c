// The sources as rdx-reader uses them, fed through real ends: input events
// through a FIFO, bytes through a pseudo-terminal whose slave the serial
// source sets up with termios. Each case is followed by a sentinel tag,
// so that "nothing more" is checked without waiting for time to pass.

#include "KeyboardSource.h"
#include "LineDecoder.h"
#include "Rdm6300Decoder.h"
#include "ReaderTestSupport.h"
#include "SerialSource.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct KeyCase {
	const char*		name;
	KeyScript		script;
	std::vector<std::string> expected;
};


std::vector<KeyCase>
key_cases()
{
	return {
		{"digits and Enter", KeyScript().Type("0014594826\n"),
			{"T:0014594826"}},
		{"two tags back to back", KeyScript().Type("123\n").Type("456\n"),
			{"T:123", "T:456"}},
		{"hex with Shift", KeyScript().Type("04A1B2C3\n"), {"T:04A1B2C3"}},
		{"hex without Shift", KeyScript().Type("04A1B2C3\n", 10, false),
			{"T:04A1B2C3"}},
		{"keypad digits and keypad Enter", KeyScript().Key(KEY_KP1)
				.Key(KEY_KP0).Key(KEY_KP9).Key(KEY_KPENTER),
			{"T:109"}},
		{"auto-repeat is not typing", KeyScript().Type("12").Hold(KEY_3, 2)
				.Type("\n"),
			{"T:123"}},
		{"Enter alone is nothing", KeyScript().Type("\n\n"), {}},
		{"slow typist", KeyScript().Type("12").Wait(300).Type("34\n"),
			{"P:2 keys dropped: 312 ms between two keys, longer than the key"
				" gap of 100 ms", "T:34"}},
		// Digits that may be a PIN are counted, never shown; hex is shown.
		{"slow typist of hex", KeyScript().Type("1A").Wait(300).Type("34\n"),
			{"P:\"1A\" dropped: 312 ms between two keys, longer than the key"
				" gap of 100 ms", "T:34"}},
		{"a gap of exactly the key gap", KeyScript().Type("12")
				.Type("34\n", 98),
			{"T:1234"}},
		{"foreign key", KeyScript().Type("12").Key(KEY_Q).Type("34\n"),
			{"P:2 keys dropped: the key with code 16 is not part of a tag",
				"T:34"}},
		{"33 characters are too long",
			KeyScript().Type(std::string(33, '7') + "\n"),
			{"P:a too long tag dropped: more than 32 characters"}},
		{"32 characters are a tag",
			KeyScript().Type(std::string(32, '7') + "\n"),
			{"T:" + std::string(32, '7')}},
	};
}


TEST(KeyboardFifo, DecodesKeyPressesIntoTags)
{
	for (const KeyCase& test : key_cases()) {
		SCOPED_TRACE(test.name);
		EventFifo fifo;
		KeyboardSource source(fifo.Path(), 100);
		std::string problem;
		ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
		// The sentinel comes a while later, so that what the case left
		// collected shows as a line of its own.
		KeyScript sentinel(test.script.Events().empty() ? 0
			: (int64_t)test.script.Events().back().input_event_sec * 1000000
				+ 5000000);
		sentinel.Type("999\n");
		ASSERT_TRUE(fifo.Write(test.script.Bytes() + sentinel.Bytes()));
		EXPECT_EQ(test.expected, describe(read_until_tag(source, "999")));
	}
}


// Writes the piece and lets the source read it before the next one.
template<typename Writer>
std::vector<SourceEvent>
feed_in_pieces(TagSource& source, Writer write,
	const std::vector<std::string>& pieces)
{
	std::vector<SourceEvent> events;
	for (const std::string& piece : pieces) {
		EXPECT_TRUE(write(piece));
		struct pollfd entry = {source.FD(), POLLIN, 0};
		EXPECT_EQ(1, poll(&entry, 1, 20000));
		source.Read(&events);
	}
	return events;
}


TEST(KeyboardFifo, RecordSplitAcrossReads)
{
	EventFifo fifo;
	KeyboardSource source(fifo.Path(), 100);
	std::string problem;
	ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
	std::string bytes = KeyScript().Type("4711\n").Bytes();
	std::vector<SourceEvent> events = feed_in_pieces(source,
		[&](const std::string& piece) { return fifo.Write(piece); },
		{bytes.substr(0, 3), bytes.substr(3, 40), bytes.substr(43)});
	EXPECT_EQ(std::vector<std::string>{"T:4711"}, describe(events));
}


TEST(KeyboardFifo, ANewWriterIsHeardAfterTheLastOneLeft)
{
	EventFifo fifo;
	KeyboardSource source(fifo.Path(), 100);
	std::string problem;
	ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
	ASSERT_TRUE(fifo.Write(KeyScript().Type("11\n")));
	fifo.CloseWriter();
	EXPECT_EQ(std::vector<std::string>{}, describe(read_until_tag(source,
		"11")));
	ASSERT_TRUE(source.IsOpen());
	ASSERT_TRUE(fifo.Write(KeyScript().Type("22\n")));
	EXPECT_EQ(std::vector<std::string>{}, describe(read_until_tag(source,
		"22")));
}


TEST(KeyboardFifo, PathThatIsNeitherDeviceNorFifoIsRefused)
{
	TempDir directory("rdx-reader-plain");
	std::string path = directory.Sub("file");
	int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	close(fd);
	KeyboardSource plain(path, 100);
	std::string problem;
	EXPECT_EQ(B_BAD_VALUE, plain.Open(&problem));
	EXPECT_FALSE(plain.IsOpen());
	KeyboardSource missing(directory.Sub("nothing"), 100);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.Open(&problem));
}


struct SerialCase {
	const char*		name;
	bool			lines;
	bool			hex;
	// Each piece is written and read before the next.
	std::vector<std::string> pieces;
	std::vector<std::string> expected;
};


std::vector<SerialCase>
serial_cases()
{
	const std::string good = rdm6300_frame("2900DEB30A");
	return {
		// ETX is ^C to a cooked terminal: only a raw port hands it over.
		{"the fob's number", false, false, {good}, {"T:0014594826"}},
		{"the fob in hex", false, true, {good}, {"T:2900DEB30A"}},
		{"lower-case hex in the frame", false, false,
			{rdm6300_frame("2900deb30a")}, {"T:0014594826"}},
		{"frame split across reads", false, false,
			{good.substr(0, 1), good.substr(1, 6), good.substr(7)},
			{"T:0014594826"}},
		{"frames back to back in one read", false, false,
			{good + rdm6300_frame("01000000FF")},
			{"T:0014594826", "T:0000000255"}},
		{"bad checksum", false, false, {"\x02" "2900DEB30A4F\x03"},
			{"P:frame \"2900DEB30A4F\" has the checksum 4F, not 4E,"
				" dropped"}},
		{"too short", false, false, {"\x02" "2900DEB34E\x03"},
			{"P:frame \"2900DEB34E\" has 10 characters, not 12, dropped"}},
		{"too long", false, false, {"\x02" "2900DEB30A4E00\x03"},
			{"P:frame longer than 12 characters, dropped", "P:2 bytes of"
				" noise between frames, dropped"}},
		{"not hexadecimal", false, false, {"\x02" "2900DEB30X4E\x03"},
			{"P:frame \"2900DEB30X4E\" is not hexadecimal, dropped"}},
		{"noise, then a good frame", false, false, {"\r\nxyz" + good},
			{"P:5 bytes of noise between frames, dropped",
				"T:0014594826"}},
		{"a frame cut short by the next", false, false,
			{"\x02" "2900" + good},
			{"P:frame \"2900\" cut short by the next one, dropped",
				"T:0014594826"}},
		{"LF lines", true, false, {"abc123\n0014594826\n"},
			{"T:ABC123", "T:0014594826"}},
		{"CRLF lines, trimmed", true, false, {"  04a1b2c3 \r\n"},
			{"T:04A1B2C3"}},
		{"CR lines", true, false, {"12\r34\r"}, {"T:12", "T:34"}},
		{"line split across reads", true, false, {"12", "34", "\r", "\n"},
			{"T:1234"}},
		{"foreign characters", true, false, {"12-34\n"},
			{"P:line with a character that is not 0-9 or A-Z, dropped"}},
		{"32 characters", true, false, {std::string(32, 'A') + "\n"},
			{"T:" + std::string(32, 'A')}},
		{"33 characters", true, false, {std::string(33, 'A') + "\n"},
			{"P:line of 33 characters, longer than a tag (32), dropped"}},
		{"a flood without newline", true, false,
			{std::string(1000, '9') + "\n"},
			{"P:line of 1000 characters, too long for a tag, dropped"}},
	};
}


TEST(SerialPty, DecodesFramesAndLinesThroughARawPort)
{
	for (const SerialCase& test : serial_cases()) {
		SCOPED_TRACE(test.name);
		Pty pty;
		ASSERT_TRUE(pty.IsValid());
		std::unique_ptr<SerialDecoder> decoder;
		if (test.lines)
			decoder = std::make_unique<LineDecoder>();
		else
			decoder = std::make_unique<Rdm6300Decoder>(test.hex);
		SerialSource source(pty.SlavePath(), 9600, std::move(decoder));
		std::string problem;
		ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
		std::vector<SourceEvent> events = feed_in_pieces(source,
			[&](const std::string& piece) { return pty.Write(piece); },
			test.pieces);
		std::string sentinel = test.lines ? "\nSENTINEL\n"
			: rdm6300_frame(test.hex ? "FFFFFFFFFF" : "00FFFFFFFF");
		ASSERT_TRUE(pty.Write(sentinel));
		std::vector<SourceEvent> rest = read_until_tag(source, test.lines
			? "SENTINEL" : test.hex ? "FFFFFFFFFF" : "4294967295");
		events.insert(events.end(), rest.begin(), rest.end());
		EXPECT_EQ(test.expected, describe(events));
	}
}


TEST(SerialPty, PortIsRawEightNOneAtTheGivenSpeed)
{
	Pty pty;
	ASSERT_TRUE(pty.IsValid());
	SerialSource source(pty.SlavePath(), 19200,
		std::make_unique<Rdm6300Decoder>());
	std::string problem;
	ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
	struct termios settings;
	ASSERT_EQ(0, tcgetattr(source.FD(), &settings));
	EXPECT_EQ(0u, settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
	EXPECT_EQ(0u, settings.c_iflag & (ICRNL | IXON | ISTRIP | INLCR));
	EXPECT_EQ((tcflag_t)CS8, settings.c_cflag & CSIZE);
	EXPECT_EQ(0u, settings.c_cflag & (PARENB | CSTOPB));
	EXPECT_EQ((speed_t)B19200, cfgetispeed(&settings));
}


TEST(SerialPty, PortThatGoesAwayClosesTheSource)
{
	Pty pty;
	ASSERT_TRUE(pty.IsValid());
	SerialSource source(pty.SlavePath(), 9600,
		std::make_unique<LineDecoder>());
	std::string problem;
	ASSERT_EQ(B_OK, source.Open(&problem)) << problem;
	ASSERT_TRUE(pty.Write("12"));
	pty.CloseMaster();
	struct pollfd entry = {source.FD(), POLLIN, 0};
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	std::vector<SourceEvent> events;
	// What was read before the end may come first.
	status_t status = source.Read(&events);
	for (int i = 0; i < 10 && status == B_OK; i++) {
		ASSERT_EQ(1, poll(&entry, 1, 20000));
		status = source.Read(&events);
	}
	EXPECT_EQ(B_ENTRY_NOT_FOUND, status);
	EXPECT_FALSE(source.IsOpen());
	EXPECT_TRUE(events.empty());
}

}	// namespace
