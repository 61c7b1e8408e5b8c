// rdx-tags's pane of recent reads takes the door's records too: among the
// reads, under the door's name, never as a tag's "last seen".

#include <LogRecord.h>
#include <ReadHistory.h>

#include <gtest/gtest.h>

namespace {

TEST(RecentReadsTest, DoorEventsStandAmongTheReads)
{
	ReadHistory history;
	const char* lines[] = {
		"{\"time\":\"2026-12-08T10:00:00.000Z\",\"event\":\"read\","
			"\"source\":\"serial:/dev/ttyUSB0\",\"tag\":\"04a1b2c3\","
			"\"outcome\":\"passed-on\"}",
		"{\"time\":\"2026-12-08T10:00:02.000Z\",\"event\":\"door\","
			"\"door\":\"front\",\"what\":\"forced\","
			"\"input\":\"contact:gpiochip0/17\",\"state\":\"open\"}",
		"{\"time\":\"2026-12-08T10:00:03.000Z\",\"event\":\"relay\","
			"\"relay\":2}",
	};
	std::vector<bool> taken;
	for (const char* line : lines)
		taken.push_back(history.Add(*LogRecord::Parse(line)));
	EXPECT_EQ((std::vector<bool>{true, true, false}), taken);

	ASSERT_EQ(2u, history.Recent().size());
	const TagRead& door = history.Recent()[0];
	EXPECT_EQ("front", door.door);
	EXPECT_EQ("forced", door.outcome);
	EXPECT_EQ("contact:gpiochip0/17", door.source);
	EXPECT_EQ("", door.tag);
	EXPECT_EQ("", history.Recent()[1].door);
	// The card's last read is still the card's.
	ASSERT_NE(nullptr, history.LastSeen("04A1B2C3"));
	EXPECT_EQ("passed-on", history.LastSeen("04A1B2C3")->outcome);
	EXPECT_EQ(nullptr, history.LastSeen(""));
}

}	// namespace
