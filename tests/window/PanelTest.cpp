// The window at work in-process, against the board simulator and the real
// wget: the start-up request, the panel's messages as its controls send
// them, and the workers' reports as the application hands them on.

#include "BoardSim.h"
#include "UnusedPort.h"
#include "WindowTestSupport.h"

#include <Button.h>
#include <CheckBox.h>
#include <Message.h>
#include <RadioButton.h>
#include <RDXDefs.h>
#include <RelayStatus.h>
#include <TextControl.h>

#include <FL/Fl.H>

#include <OS.h>

#include <unistd.h>

namespace {

const rgb_color kGreen = {105, 220, 105, 0};
const rgb_color kRed = {220, 105, 105, 0};
const rgb_color kBackground = {237, 242, 235, 0};
const char* const kRadioNames[4] = {"rA", "rB", "rC", "rD"};


// Seconds of the board log's time stamp.
double
Stamp(const std::string& line)
{
	return atof(line.c_str());
}


class PanelTest : public WindowTest {
protected:
	void SetUp() override
	{
		WindowTest::SetUp();
		fBoard = std::make_unique<BoardSim>();
		ASSERT_TRUE(fBoard->IsListening());
	}

	void TearDown() override
	{
		WindowTest::TearDown();
		fBoard.reset();
	}

	seed::Values Settings(bool use, int32_t hold = 1, int32_t tagRelay = 1)
	{
		return {
			{"rdx_ip", seed::Text(fBoard->Address())},
			{"rdx_use", seed::Bool(use)},
			{"OpenInSecs", seed::Int32(hold)},
			{"TagsUseDoor", seed::Int32(tagRelay)},
		};
	}

	// A view's colour, read under the window's lock.
	rgb_color ColorOf(const char* name)
	{
		fWindow->Lock();
		rgb_color color = Find<BView>(name)->ViewColor();
		fWindow->Unlock();
		return color;
	}

	bool WaitForColor(const char* name, rgb_color color, double seconds = 10)
	{
		return wait_for([&] { return ColorOf(name) == color; }, seconds);
	}

	bool Enabled(const char* name)
	{
		fWindow->Lock();
		bool enabled = Find<BControl>(name)->IsEnabled();
		fWindow->Unlock();
		return enabled;
	}

	// Sets a control's value or text as the operator would and has the
	// control's message delivered to the window.
	void Operate(const char* name, uint32 code, int32 value)
	{
		fWindow->Lock();
		Find<BControl>(name)->SetValue(value);
		fWindow->Unlock();
		BMessage message(code);
		PostToWindow(&message);
	}

	void Edit(const char* name, uint32 code, const char* text)
	{
		fWindow->Lock();
		Find<BTextControl>(name)->SetText(text);
		fWindow->Unlock();
		BMessage message(code);
		PostToWindow(&message);
	}

	std::string TextOf(const char* name)
	{
		fWindow->Lock();
		std::string text = Find<BTextControl>(name)->Text();
		fWindow->Unlock();
		return text;
	}

	std::unique_ptr<BoardSim> fBoard;
};


TEST_F(PanelTest, BoardUseOnOpensRelayOneForASecondAtStart)
{
	Build(Settings(true));
	Show();
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=0", 10));
	ASSERT_TRUE(fOutput->WaitFor(" OPEN 1|", 10)) << fOutput->Text();
	// The line is printed before the request is made.
	std::string text = fOutput->Text();
	EXPECT_LT(text.find("-- StartUp --\n"), text.find(" OPEN 1|"));
	EXPECT_TRUE(WaitForColor("rA", kGreen));

	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 10));
	ASSERT_TRUE(fOutput->WaitFor("CLOSE 1|", 10));
	EXPECT_TRUE(WaitForColor("rA", kBackground));
	std::vector<std::string> lines = fBoard->LogLines();
	ASSERT_EQ(2u, lines.size());
	EXPECT_GE(Stamp(lines[1]) - Stamp(lines[0]), 0.9) << "held for a second";
	EXPECT_LE(Stamp(lines[1]) - Stamp(lines[0]), 1.6) << "held too long";
	// All four closed again: open all is usable.
	EXPECT_TRUE(wait_for([&] { return Enabled("rx_o"); }, 10));
}


TEST_F(PanelTest, ReportsPrintWholeLinesAndEachMessageReloadsOnce)
{
	Build(Settings(false));
	Show();
	int reloads = gApp->ReloadsWhenSynced();
	ASSERT_GE(reloads, 0);

	// An open of relay 2: its whole line, its colour (board use is off),
	// and open all waits while any relay is marked open.
	BMessage open(RDX_MSG_STATUS);
	open.AddInt32(RDX_FIELD_RELAIS, 2);
	open.AddString(RDX_FIELD_IMAGE, "-xoxx---");
	open.AddInt32(RDX_FIELD_OPEN, 2);
	PostToApp(&open);
	ASSERT_TRUE(fOutput->WaitFor(" OPEN 2|-xoxx---\n", 10)) << fOutput->Text();
	EXPECT_TRUE(WaitForColor("rB", kRed));
	EXPECT_FALSE(Enabled("rx_o"));
	// Handled (the lock was free again), then exactly one reload.
	EXPECT_EQ(reloads + 1, gApp->ReloadsWhenSynced());

	// A status report without an opened relay (a close's): no line, no
	// colour, and open all is usable again once every relay is closed.
	BMessage closed(RDX_MSG_STATUS);
	closed.AddInt32(RDX_FIELD_RELAIS, 2);
	closed.AddString(RDX_FIELD_IMAGE, "-xxxx---");
	PostToApp(&closed);
	ASSERT_TRUE(wait_for([&] { return Enabled("rx_o"); }, 10));
	EXPECT_EQ(reloads + 2, gApp->ReloadsWhenSynced());
	EXPECT_EQ(1, fOutput->Count(" OPEN "));
	EXPECT_TRUE(ColorOf("rB") == kRed);

	// The close report: its whole line and the colour back.
	BMessage close(RDX_MSG_CLOSE);
	close.AddInt32(RDX_FIELD_RELAIS, 2);
	close.AddString(RDX_FIELD_IMAGE, "-xoxx---");
	PostToApp(&close);
	ASSERT_TRUE(fOutput->WaitFor("CLOSE 2|-xoxx---\n", 10)) << fOutput->Text();
	EXPECT_TRUE(WaitForColor("rB", kBackground));
	EXPECT_EQ(reloads + 3, gApp->ReloadsWhenSynced());

	// The operator's messages: one reload each too.
	Edit("rxca", RDX_MSG_HOLD_TIME, "4");
	ASSERT_TRUE(fOutput->WaitFor("open time= 4\n", 10));
	ASSERT_TRUE(Enabled("rxca"));
	EXPECT_EQ(reloads + 4, gApp->ReloadsWhenSynced());
	EXPECT_EQ(0u, fBoard->Requests().size());
}


TEST_F(PanelTest, CloseOnQuitLeavesTheToolkitToOthers)
{
	// Every answer takes 1.5 s.
	fBoard = std::make_unique<BoardSim>(
		std::vector<std::string>{"--delay-ms", "1500"});
	ASSERT_TRUE(fBoard->IsListening());
	Build(Settings(false, 10, 1));
	Show();
	// A test pulse holds relay 2 for two seconds; the window ends first.
	Operate("rB", RDX_MSG_RELAY_2, 1);
	ASSERT_TRUE(fOutput->WaitFor(" OPEN 2|", 10)) << fOutput->Text();
	ASSERT_EQ('o', RelayMark(2));
	// Ending waits for the window's end, so it runs on a thread of its own.
	std::thread ending([this] { EndWindow(); });
	// The close on quit marks the relay closed, then waits 1.5 s for the
	// board's answer: meanwhile the toolkit is free.
	bool marked = wait_for([] { return RelayMark(2) == 'x'; }, 10);
	bigtime_t before = system_time();
	Fl::lock();
	Fl::unlock();
	bigtime_t waited = system_time() - before;
	ending.join();
	ASSERT_TRUE(marked);
	EXPECT_LT(waited, 1000000) << "the close held the toolkit lock";
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	EXPECT_TRUE(fOutput->WaitFor("CLOSE 2 on quit", 10)) << fOutput->Text();
}


TEST_F(PanelTest, BoardUseOffSendsNothingButATestPulseStillCloses)
{
	Build(Settings(false, 1, 3));
	Show();
	EXPECT_EQ(1, fOutput->Count("-- StartUp --\n"));

	// The operator chooses relay 2: saved, and a 2-second pulse on it
	// although board use is off.
	Operate("rB", RDX_MSG_RELAY_2, 1);
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	EXPECT_TRUE(WaitForColor("rB", kRed));
	EXPECT_EQ(seed::Int32(2), seed::Read(ConfigHome(), "TagsUseDoor"));

	// The relay this program opened is closed again after the pulse.
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 10));
	EXPECT_TRUE(WaitForColor("rB", kBackground));
	std::vector<std::string> lines = fBoard->LogLines();
	ASSERT_EQ(2u, lines.size()) << "no start-up request with board use off";
	EXPECT_EQ("GET /?4=0", fBoard->Requests()[0]);
	EXPECT_GE(Stamp(lines[1]) - Stamp(lines[0]), 1.9);
	EXPECT_LE(Stamp(lines[1]) - Stamp(lines[0]), 2.6) << "held too long";
}


TEST_F(PanelTest, SwitchingBoardUseOffDuringAHoldStillCloses)
{
	Build(Settings(false, 3, 4));
	Show();
	Operate("rx_u", RDX_MSG_USE, 1);
	ASSERT_TRUE(wait_for([&] {
		return seed::Read(ConfigHome(), "rdx_use") == seed::Bool(true);
	}, 10));
	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
	PostToApp(&tag);
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?6=0", 10));
	ASSERT_TRUE(WaitForColor("rD", kGreen));

	Operate("rx_u", RDX_MSG_USE, 0);
	ASSERT_TRUE(wait_for([&] {
		return seed::Read(ConfigHome(), "rdx_use") == seed::Bool(false);
	}, 10));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?6=1", 10));
	EXPECT_TRUE(WaitForColor("rD", kBackground));
	EXPECT_EQ(1, fBoard->CountOf("GET /?6=1"));
}


TEST_F(PanelTest, BoardThatDoesNotAnswerTurnsThePanelOff)
{
	fBoard.reset();
	int port = UnusedPort();
	ASSERT_GT(port, 0);
	Build({{"rdx_ip", seed::Text("127.0.0.1:" + std::to_string(port))},
		{"rdx_use", seed::Bool(true)}});
	Show();
	ASSERT_TRUE(fOutput->WaitFor("ausschalten, da es nicht antwortet", 15))
		<< fOutput->Text();
	ASSERT_TRUE(WaitForColor("rA", kRed));
	fWindow->Lock();
	EXPECT_EQ(0, Find<BCheckBox>("rx_u")->Value());
	EXPECT_FALSE(Find<BButton>("rx_o")->IsEnabled());
	EXPECT_FALSE(Find<BTextControl>("RDX_ip")->IsEnabled());
	// The rest keeps its state.
	EXPECT_TRUE(Find<BTextControl>("rxca")->IsEnabled());
	for (const char* name : kRadioNames)
		EXPECT_TRUE(Find<BRadioButton>(name)->IsEnabled()) << name;
	fWindow->Unlock();
	EXPECT_EQ(seed::Bool(false), seed::Read(ConfigHome(), "rdx_use"));
	EXPECT_TRUE(fOutput->WaitFor("rdx ist aus\n", 10));
	// The relay it opened is still closed after its second (the board
	// does not answer that either) and the button gets its colour back.
	EXPECT_TRUE(WaitForColor("rA", kBackground));
}


TEST_F(PanelTest, HoldTimeFieldTakesOneToElevenSeconds)
{
	Build(Settings(false, 5));
	Show();
	struct Case {
		const char*	typed;
		int32_t		stored;
	};
	// Each bad value follows an accepted one, so that its 2 is stored anew.
	const Case cases[] = {{"11", 11}, {"abc", 2}, {"7", 7}, {"12", 2},
		{"11", 11}, {"0", 2}, {"3", 3}, {"-3", 2}, {"1", 1}};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.typed);
		std::string line = "open time= " + std::to_string(test.stored) + "\n";
		int before = fOutput->Count(line);
		Edit("rxca", RDX_MSG_HOLD_TIME, test.typed);
		ASSERT_TRUE(wait_for([&] { return fOutput->Count(line) > before; },
			10)) << fOutput->Text();
		EXPECT_EQ(std::to_string(test.stored) + " Sec", TextOf("rxca"));
		EXPECT_EQ(seed::Int32(test.stored),
			seed::Read(ConfigHome(), "OpenInSecs"));
	}
	EXPECT_EQ(0u, fBoard->Requests().size());
}


TEST_F(PanelTest, UseCheckBoxSwitchesSixControlsAndSendsNothing)
{
	Build(Settings(false));
	Show();
	Operate("rx_u", RDX_MSG_USE, 1);
	ASSERT_TRUE(wait_for([&] {
		return seed::Read(ConfigHome(), "rdx_use") == seed::Bool(true);
	}, 10));
	const char* const six[] = {"rx_o", "RDX_ip", "rA", "rB", "rC", "rD"};
	for (const char* name : six)
		EXPECT_TRUE(Enabled(name)) << name;

	Operate("rx_u", RDX_MSG_USE, 0);
	ASSERT_TRUE(wait_for([&] {
		return seed::Read(ConfigHome(), "rdx_use") == seed::Bool(false);
	}, 10));
	for (const char* name : six)
		EXPECT_FALSE(Enabled(name)) << name;
	EXPECT_TRUE(Enabled("rxca"));
	EXPECT_TRUE(Enabled("rx_u"));
	EXPECT_EQ(0u, fBoard->Requests().size());
}


TEST_F(PanelTest, AddressFieldIsSavedAndUsedByTheNextTag)
{
	BoardSim second;
	ASSERT_TRUE(second.IsListening());
	Build(Settings(false, 1, 2));
	Show();
	Operate("rx_u", RDX_MSG_USE, 1);
	Edit("RDX_ip", RDX_MSG_ADDRESS, second.Address().c_str());
	ASSERT_TRUE(wait_for([&] {
		return seed::Read(ConfigHome(), "rdx_ip")
			== seed::Text(second.Address());
	}, 10));

	// A tag uses the saved address.
	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
	PostToApp(&tag);
	ASSERT_TRUE(second.WaitForRequest("GET /?4=0", 10));
	ASSERT_TRUE(second.WaitForRequest("GET /?4=1", 10));
	EXPECT_EQ(0u, fBoard->Requests().size());

	// An address longer than the setting holds is refused, not cut.
	std::string longAddress = "127.0.0.1:" + std::to_string(second.Port())
		+ "/" + std::string(60, 'a');
	int saves = fOutput->Count("Prefs -Save ok\n");
	Edit("RDX_ip", RDX_MSG_ADDRESS, longAddress.c_str());
	ASSERT_TRUE(wait_for([&] {
		return fOutput->Count("Prefs -Save ok\n") > saves;
	}, 10));
	EXPECT_EQ(seed::Text(second.Address()), seed::Read(ConfigHome(), "rdx_ip"));
	EXPECT_EQ(second.Address(), TextOf("RDX_ip"));
}

}	// namespace

namespace {

TEST_F(PanelTest, TagOpensOnlyWithinItsDeadlineCountedUntilTheWindowIsLocked)
{
	Build(Settings(true, 1, 2));
	Show();
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 10));
	struct Row {
		const char*	name;
		// The deadline from the moment the tag is posted, in microseconds,
		// and text put after it; or a text alone.
		bigtime_t	ahead;
		const char*	text;
		// The window is held locked this long after the tag is posted.
		int			lockedMs;
		bool		opens;
	};
	const Row rows[] = {
		{"a word", 0, "soon", 0, false},
		{"empty", 0, "", 0, false},
		{"negative", 0, "-5", 0, false},
		{"a number and more", 10000000, "x", 0, false},
		{"passed", -1000, nullptr, 0, false},
		{"passed while the window was locked", 300000, nullptr, 800, false},
		{"in time", 10000000, nullptr, 0, true},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		int refused = fOutput->Count("not opened\n");
		BMessage tag(RDX_MSG_TAG);
		tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
		std::string deadline = row.ahead != 0
			? FormatDeadline(system_time() + row.ahead) : "";
		tag.AddString(RDX_FIELD_DEADLINE, (deadline
			+ (row.text != nullptr ? row.text : "")).c_str());
		if (row.lockedMs > 0)
			fWindow->Lock();
		PostToApp(&tag);
		if (row.lockedMs > 0) {
			usleep(row.lockedMs * 1000);
			fWindow->Unlock();
		}
		if (row.opens) {
			EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
			continue;
		}
		EXPECT_TRUE(wait_for([&] {
			return fOutput->Count("not opened\n") == refused + 1; }, 10));
		EXPECT_EQ(0, fBoard->CountOf("GET /?4=0"));
	}
}

}	// namespace
