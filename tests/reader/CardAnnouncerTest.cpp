// What rdx-reader tells the desk, without a desk: which outcomes, once per
// card and reader within the quiet time, texts from devices made harmless,
// and the command that opens rdx-tags, with the tag as one argument.

#include "CardAnnouncer.h"
#include "TagsLauncher.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
