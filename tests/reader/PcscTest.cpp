// Contactless readers through the real PC/SC stack: Debian's pcscd with the
// vpcd virtual readers, a virtual card of the tests' own, rdx-reader, and
// for passed-on tags the real rdx with rdx-board-sim.

#include "BoardSim.h"
#include "CardAnswer.h"
#include "PcscHarness.h"
#include "RdxProgram.h"
#include "ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

const char* kReader0 = "pcsc:Virtual PCD 00 00: ";
const char* kReader1 = "pcsc:Virtual PCD 00 01: ";


TEST(CardAnswerTest, UidOrALine)
{
	struct Case {
		std::string	answer;
		std::string	expected;
	};
	std::vector<Case> cases = {
		{"04A1B2C39000", "T:04A1B2C3"},
		{"04112233445566" "9000", "T:04112233445566"},
		{"04112233445566778899" "9000", "T:04112233445566778899"},
		{"04a1b2c3" "6A81", "P:the reader answered GET DATA with the status"
			" word 6A 81: no tag"},
		{"04A1B2" "9000", "P:the card's UID has 3 bytes, not 4, 7 or 10: no"
			" tag"},
		{"9000", "P:the card's UID has 0 bytes, not 4, 7 or 10: no tag"},
		{"90", "P:the card's answer has 1 bytes, no status word: no tag"},
		{"08123456" "9000", "P:08123456: a random identifier (first byte 08),"
			" new at every read: refused, also with --any-tag"},
	};
	for (const Case& test : cases) {
		std::vector<uint8_t> bytes;
		for (size_t i = 0; i + 1 < test.answer.size(); i += 2) {
			bytes.push_back((uint8_t)strtol(test.answer.substr(i, 2).c_str(),
				nullptr, 16));
		}
		SourceEvent event = CardAnswer::Decode(bytes.data(), bytes.size(),
			"r");
		EXPECT_EQ(test.expected, describe({event})[0]) << test.answer;
		EXPECT_EQ("r", event.reader);
	}
}


class PcscTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (!gPcscUnavailable.empty())
			GTEST_SKIP() << gPcscUnavailable;
		fHome = std::make_unique<TempDir>("rdx-reader-pcsc");
	}

	void TearDown() override
	{
		if (HasFailure()) {
			if (fReader != nullptr)
				printf("---- rdx-reader ----\n%s", fReader->Output().c_str());
			printf("---- pcscd ----\n%s", fDaemon.Log().c_str());
		}
		fReader.reset();
		fDaemon.Stop();
	}

	std::map<std::string, std::string> Environment() const
	{
		return {{"XDG_RUNTIME_DIR", fHome->Sub("run")},
			{"HOME", fHome->Sub("home")},
			{"XDG_CONFIG_HOME", fHome->Sub("config")}};
	}

	void StartReader(const std::vector<std::string>& arguments,
		const std::map<std::string, std::string>& environment)
	{
		fReader = std::make_unique<ReaderProcess>(arguments, environment);
	}

	PcscDaemon		fDaemon;
	std::unique_ptr<TempDir> fHome;
	std::unique_ptr<ReaderProcess> fReader;
};


TEST_F(PcscTest, AnswersThatAreNoTagAndRandomIdentifiers)
{
	ASSERT_TRUE(fDaemon.Start());
	StartReader({"--any-tag", "--pcsc", "Virtual PCD 00 00"}, Environment());
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader0) + "reader \"Virtual"
		" PCD 00 00\" taken\n"));
	EXPECT_EQ(0, count_of(fReader->Output(), "Virtual PCD 00 01"));

	VirtualCard card;
	struct Case {
		const char*	answer;
		const char*	line;
	};
	std::vector<Case> cases = {
		{"04A1B2C36A81", "the reader answered GET DATA with the status word"
			" 6A 81: no tag\n"},
		{"04A1B29000", "the card's UID has 3 bytes, not 4, 7 or 10: no tag\n"},
		{"081234569000", "08123456: a random identifier (first byte 08), new"
			" at every read: refused, also with --any-tag\n"},
		{"04A1B2C39000", "04A1B2C3: no rdx"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.answer);
		ASSERT_TRUE(card.Insert(test.answer));
		ASSERT_TRUE(fReader->WaitFor(std::string(kReader0) + test.line));
		card.Remove();
	}
	// Nothing but the real tag went on.
	EXPECT_EQ(1, count_of(fReader->Output(), "no rdx")) << fReader->Output();
	// Each card was asked once.
	EXPECT_EQ((int)cases.size(), card.Commands());
}


TEST_F(PcscTest, PcscdStoppedAndStartedAgainWhileOtherReadersGoOn)
{
	EventFifo keyboard;
	// pcscd is not there yet: the keyboard source works meanwhile.
	StartReader({"--any-tag", "--pcsc", "--keyboard", keyboard.Path()},
		Environment());
	ASSERT_TRUE(fReader->WaitFor("pcsc: pcscd cannot be reached"));
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("11\n")));
	ASSERT_TRUE(fReader->WaitFor(keyboard.Path() + ": 11: no rdx"));

	ASSERT_TRUE(fDaemon.Start());
	ASSERT_TRUE(fReader->WaitFor("pcsc: pcscd is there: reading\n", 30));
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader1) + "reader \"Virtual"
		" PCD 00 01\" taken\n"));
	VirtualCard card(1);
	ASSERT_TRUE(card.Insert("04A1B2C39000"));
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader1) + "04A1B2C3: no rdx"));
	card.Remove();

	// The readers vanish with the daemon, and come back with it.
	ASSERT_TRUE(fDaemon.Stop());
	ASSERT_TRUE(fReader->WaitFor("pcsc: pcscd stopped; waiting for it to come"
		" back\n"));
	ASSERT_TRUE(keyboard.Write(KeyScript(2000000000LL * 1000).Type("22\n")));
	ASSERT_TRUE(fReader->WaitFor(keyboard.Path() + ": 22: no rdx"));
	ASSERT_TRUE(fDaemon.Start());
	ASSERT_TRUE(fReader->WaitForCount("pcsc: pcscd is there: reading\n", 2,
		30));
	ASSERT_TRUE(fReader->WaitForCount(std::string(kReader1) + "reader"
		" \"Virtual PCD 00 01\" taken\n", 2));
	ASSERT_TRUE(card.Insert("04112233445566" "9000"));
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader1)
		+ "04112233445566: no rdx"));
	EXPECT_EQ(0, fReader->Terminate());
}


TEST_F(PcscTest, CardsPassOnThroughRdxOnceWhileHeldAgainWhenPresentedAgain)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	const char* display = getenv("DISPLAY");
	RdxProgram rdx(display != nullptr ? display : "", "rdx-reader-pcsc-e2e");
	ASSERT_TRUE(rdx.Seed({
		{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)},
		{"OpenInSecs", seed::Int32(1)},
		{"TagsUseDoor", seed::Int32(2)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
	}));
	ASSERT_TRUE(rdx.Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 20));
	std::string tags = fHome->Sub("tags");
	FILE* file = fopen(tags.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("04A1B2C3 short UID\n04112233445566 long UID\n", file);
	fclose(file);

	ASSERT_TRUE(fDaemon.Start());
	StartReader({"--tags", tags, "--pcsc"}, {
		{"XDG_RUNTIME_DIR", rdx.Directory().Sub("run")},
		{"HOME", rdx.Directory().Sub("home")}});
	ASSERT_TRUE(fReader->WaitFor("reader \"Virtual PCD 00 01\" taken\n"));

	VirtualCard shortCard(0);
	ASSERT_TRUE(shortCard.Insert("04A1B2C39000"));
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader0)
		+ "04A1B2C3 (short UID): passed on\n"));
	// The read was dispatched before its line was seen.
	auto passed = std::chrono::steady_clock::now();
	ASSERT_TRUE(board.WaitForRequest("GET /?4=0", 20));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 20));

	VirtualCard longCard(1);
	ASSERT_TRUE(longCard.Insert("04112233445566" "9000"));
	ASSERT_TRUE(fReader->WaitFor(std::string(kReader1)
		+ "04112233445566 (long UID): passed on\n"));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=0", 20, 2));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 20, 2));

	// Held on the reader all along, the short card opened once.
	ASSERT_TRUE(rdx.Sync());
	EXPECT_EQ(2, board.CountOf("GET /?4=0"));
	EXPECT_EQ(1, shortCard.Commands());
	EXPECT_EQ(1, count_of(fReader->Output(), "04A1B2C3 (short UID)"));

	// Taken away and presented again after the repeat window: again.
	shortCard.Remove();
	std::this_thread::sleep_until(passed + std::chrono::milliseconds(1600));
	ASSERT_TRUE(shortCard.Insert("04A1B2C39000"));
	ASSERT_TRUE(fReader->WaitForCount(std::string(kReader0)
		+ "04A1B2C3 (short UID): passed on\n", 2));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=0", 20, 3));
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 20, 3));
	EXPECT_EQ(0, fReader->Terminate());
	rdx.Stop();
}

}	// namespace
