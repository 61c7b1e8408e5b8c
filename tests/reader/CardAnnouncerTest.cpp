// What rdx-reader tells the desk, without a desk: which outcomes, once per
// card and reader within the quiet time, texts from devices made harmless,
// and the command that opens rdx-tags, with the tag as one argument.

#include "CardAnnouncer.h"
#include "TagsLauncher.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

TEST(CardAnnouncerTest, TellsTheCardsTheListDoesNotKnowOncePerQuietTime)
{
	// No desk at all: whatever is sent goes nowhere.
	TempDir runtime("rdx-announcer");
	unsetenv("DBUS_SESSION_BUS_ADDRESS");
	setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
	const bigtime_t second = 1000000;
	struct Row {
		const char*	reader;
		const char*	tag;
		Dispatcher::Outcome outcome;
		bigtime_t	at;
		bool		told;
	} rows[] = {
		{"front", "0099", Dispatcher::kUnknown, 10 * second, true},
		{"front", "0099", Dispatcher::kUnknown, 10 * second + 900000, false},
		{"back", "0099", Dispatcher::kUnknown, 11 * second, true},
		// The quiet time is over at its end.
		{"back", "0099", Dispatcher::kUnknown, 11 * second + 999999, false},
		{"back", "0099", Dispatcher::kUnknown, 12 * second, true},
		{"front", "0099", Dispatcher::kUnknown, 11 * second + 100000, true},
		{"front", "04A1", Dispatcher::kOff, 12 * second, true},
		{"front", "04A2", Dispatcher::kExpired, 12 * second, true},
		{"front", "04A3", Dispatcher::kBadRule, 12 * second, true},
		// Known, and kept out as the list says: nothing for the desk.
		{"front", "04A4", Dispatcher::kOutsideHours, 12 * second, false},
		{"front", "04A5", Dispatcher::kNotYetValid, 12 * second, false},
		{"front", "04A6", Dispatcher::kPassedOn, 12 * second, false},
		{"front", "04A6", Dispatcher::kRepeat, 12 * second, false},
		{"front", "04A6", Dispatcher::kNoRdx, 12 * second, false},
	};
	CardAnnouncer announcer(second);
	for (const Row& row : rows) {
		EXPECT_EQ(row.told, announcer.Read(row.reader, row.tag, "",
			row.outcome, row.at)) << row.tag << " at " << row.at;
	}
}


TEST(CardAnnouncerTest, AFloodOfCardsNeitherFloodsTheDeskNorWaitsForIt)
{
	// A desk that takes the connection and never answers: the reads go on
	// at once, whatever the bus does.
	TempDir runtime("rdx-announcer-flood");
	int bus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	ASSERT_GE(bus, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	std::string path = runtime.Sub("bus");
	strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
	ASSERT_EQ(0, bind(bus, (sockaddr*)&address, sizeof(address)));
	ASSERT_EQ(0, listen(bus, 64));
	setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);

	// Many different cards at one reader, as a faulty or hostile device
	// sends them: ten a minute reach the desk, the rest only the reader's
	// lines; another reader is told as before.
	const bigtime_t second = 1000000;
	struct Row {
		const char*	reader;
		int			cards;
		bigtime_t	at;
		int			told;
	} rows[] = {
		{"front", 500, 100 * second, 10},
		{"front", 1, 130 * second, 0},
		{"back", 3, 130 * second, 3},
		{"front", 3, 161 * second, 3},
	};
	std::future<std::vector<int>> reads = std::async(std::launch::async, [&] {
		std::vector<int> told;
		CardAnnouncer announcer(second);
		int card = 0;
		for (const Row& row : rows) {
			told.push_back(0);
			for (int i = 0; i < row.cards; i++) {
				told.back() += announcer.Read(row.reader,
					std::to_string(100000 + card++), "", Dispatcher::kUnknown,
					row.at + i * 1000);
			}
		}
		return told;
	});
	ASSERT_EQ(std::future_status::ready, reads.wait_for(std::chrono::seconds(
		20))) << "a read waited for the desk";
	std::vector<int> told = reads.get();
	for (size_t i = 0; i < std::size(rows); i++)
		EXPECT_EQ(rows[i].told, told[i]) << rows[i].reader << " " << i;
	close(bus);
}


TEST(CardAnnouncerTest, TextsFromDevicesStayTextAndOneArgument)
{
	CardAnnouncer::Notice notice = CardAnnouncer::Compose(
		"/dev/ttyUSB0<b>", "04\x1b[2J", "", Dispatcher::kUnknown, "10:15:00");
	EXPECT_EQ("Unknown card 04?[2J", notice.title);
	EXPECT_EQ("Read at /dev/ttyUSB0&lt;b&gt; at 10:15:00: unknown. The door"
		" stayed shut.", notice.content);
	// A tag the list cannot hold is not offered for adding.
	EXPECT_FALSE(notice.canAdd);
	notice = CardAnnouncer::Compose("front", "04A1B2C3", "spare & card",
		Dispatcher::kExpired, "10:15:00");
	EXPECT_EQ("Card 04A1B2C3 (spare & card) has expired", notice.title);
	EXPECT_TRUE(notice.canAdd);
	// The desk takes UTF-8 alone: a name from a list saved in Latin-1, a
	// reader's name that is not UTF-8, a sequence cut short or overlong
	// must not cost the whole title (a service shows "[Invalid UTF-8]").
	struct Text {
		const char*	reader;
		const char*	name;
		const char*	title;
		const char*	content;
	} texts[] = {
		{"front", "J\xFCrgen", "Card 0099 (J?rgen) is switched off",
			"Read at front at 10:15:00: off. The door stayed shut."},
		{"fr\xFFont", "", "Card 0099 is switched off",
			"Read at fr?ont at 10:15:00: off. The door stayed shut."},
		{"front", "M\xC3\xBCller \xE2\x82", "Card 0099 (M\xC3\xBCller ?\?) is"
			" switched off", "Read at front at 10:15:00: off. The door stayed"
			" shut."},
		{"\xC0\xAF\xC2\x85", "\xED\xA0\x80", "Card 0099 (??\?) is switched off",
			"Read at ??? at 10:15:00: off. The door stayed shut."},
	};
	for (const Text& text : texts) {
		notice = CardAnnouncer::Compose(text.reader, "0099", text.name,
			Dispatcher::kOff, "10:15:00");
		EXPECT_EQ(text.title, notice.title) << text.reader;
		EXPECT_EQ(text.content, notice.content) << text.reader;
	}

	const char* tag = "-x';$(touch made)";
	unsetenv("INVOCATION_ID");
	std::vector<std::string> command = TagsLauncher::Command(tag);
	ASSERT_EQ(2u, command.size());
	EXPECT_EQ(std::string(RDX_BINARY_DIR) + "/tools/rdx-tags/rdx-tags",
		command[0]);
	EXPECT_EQ(std::string("--add=") + tag, command[1]);
	// Under a user unit, in a scope of its own (where systemd-run is).
	setenv("INVOCATION_ID", "5d1e", 1);
	command = TagsLauncher::Command(tag);
	unsetenv("INVOCATION_ID");
	if (TagsLauncher::FindInPath("systemd-run").empty())
		GTEST_SKIP() << "no systemd-run here";
	ASSERT_EQ(8u, command.size());
	EXPECT_EQ("--scope", command[2]);
	EXPECT_EQ("--", command[5]);
	EXPECT_EQ(std::string("--add=") + tag, command[7]);
}

}	// namespace
