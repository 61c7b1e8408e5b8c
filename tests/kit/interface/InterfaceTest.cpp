// The interface kit on a real X server: a demo program built on the kit runs
// under the test's Xvfb, and the tests use it as an operator would, with
// xdotool clicks and keys, window manager messages and screenshots.

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "XTools.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kTitle = "InterfaceDemo";
const double kWait = 10;

// Points of the demo window's controls, in window coordinates (the box
// sits at 10, 5; see InterfaceDemo.cpp).
struct Point {
	int x;
	int y;
};
const Point kCheckBox = {28, 27};
const Point kRadio1 = {140, 27};
const Point kRadio2 = {185, 27};
const Point kRadio3 = {230, 27};
const Point kButton = {325, 28};
const Point kTextField = {150, 55};
const Point kOtherField = {330, 55};
const Point kPageButton = {55, 110};


class DemoTest : public ::testing::Test {
protected:
	DemoTest()
		:
		fTools(getenv("DISPLAY") != nullptr ? getenv("DISPLAY") : "")
	{
	}

	ChildProcess::Options BaseOptions()
	{
		ChildProcess::Options options;
		options.environment["HOME"] = fHome.Path();
		options.environment["XDG_CONFIG_HOME"] = fHome.Sub("config");
		options.environment["XDG_RUNTIME_DIR"] = fHome.Path();
		options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
		return options;
	}

	// Starts the demo and waits for its window.
	void Start(std::vector<std::string> arguments = {},
		ChildProcess::Options options = ChildProcess::Options())
	{
		if (options.environment.empty())
			options = BaseOptions();
		fFifo = fHome.Sub("commands");
		ASSERT_EQ(0, mkfifo(fFifo.c_str(), 0600)) << strerror(errno);
		std::vector<std::string> argv = {INTERFACE_DEMO, "--commands", fFifo};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		fDemo = std::make_unique<ChildProcess>(argv, options);
		fWindow = fTools.FindWindow(kTitle, kWait);
		ASSERT_NE(0UL, fWindow) << fDemo->Errors();
	}

	// Has the demo carry out a command on its own thread, with the window
	// locked, and waits until it is done.
	void Command(const std::string& line)
	{
		int before = count_of(fDemo->Output(), "done " + line + "\n");
		int fd = open(fFifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
		ASSERT_GE(fd, 0) << strerror(errno);
		std::string text = line + "\n";
		ASSERT_EQ((ssize_t)text.size(), write(fd, text.data(), text.size()));
		close(fd);
		ASSERT_TRUE(wait_for([&] {
			return count_of(fDemo->Output(), "done " + line + "\n") > before;
		}, kWait)) << line;
	}

	void Click(Point point)
	{
		ASSERT_TRUE(fTools.Click(fWindow, point.x, point.y));
	}

	// Waits until the output holds the line the given number of times.
	bool WaitForLines(const std::string& line, int times)
	{
		return wait_for([&] {
			return count_of(fDemo->Output(), line + "\n") >= times;
		}, kWait);
	}

	int Lines(const std::string& line)
	{
		return count_of(fDemo->Output(), line + "\n");
	}

	// A click on the button whose message is the last of a sequence: as
	// the window's messages keep their order, anything a control sent
	// before has arrived once the button's message has.
	void ClickButtonAndWait()
	{
		int before = Lines("message 'butn'");
		Click(kButton);
		ASSERT_TRUE(WaitForLines("message 'butn'", before + 1))
			<< fDemo->Output();
	}

	TempDir			fHome;
	XTools			fTools;
	std::string		fFifo;
	std::unique_ptr<ChildProcess> fDemo;
	unsigned long	fWindow = 0;
};


TEST_F(DemoTest, WindowHasTheFrameItAskedFor)
{
	Start();
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	// (30, 50, 430, 175): a window 400 wide and 125 high at 30, 50.
	EXPECT_EQ(30, geometry.x);
	EXPECT_EQ(50, geometry.y);
	EXPECT_EQ(400, geometry.width);
	EXPECT_EQ(125, geometry.height);
}


TEST_F(DemoTest, AnotherFrameGivesAnotherWindow)
{
	Start({"--frame", "100", "120", "300", "220"});
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	EXPECT_EQ(100, geometry.x);
	EXPECT_EQ(120, geometry.y);
	EXPECT_EQ(200, geometry.width);
	EXPECT_EQ(100, geometry.height);
}


TEST_F(DemoTest, ClicksOnControlsReachTheWindow)
{
	Start();
	Click(kCheckBox);
	ASSERT_TRUE(WaitForLines("message 'chek'", 1)) << fDemo->Output();
	Command("print check");
	EXPECT_EQ(1, Lines("state check 1"));

	Click(kCheckBox);
	ASSERT_TRUE(WaitForLines("message 'chek'", 2));
	Command("print check");
	EXPECT_EQ(1, Lines("state check 0"));

	Click(kRadio2);
	ASSERT_TRUE(WaitForLines("message 'rad2'", 1)) << fDemo->Output();

	// Target set to the window's (absent) parent: the window gets it.
	ClickButtonAndWait();
	// Target set to the window itself.
	Click(kPageButton);
	ASSERT_TRUE(WaitForLines("message 'page'", 1)) << fDemo->Output();
}


TEST_F(DemoTest, ValuesSetFromCodeSendNothing)
{
	Start();
	Command("setvalue check 1");
	Command("setvalue rad3 1");
	Command("settext text hello");
	Command("settext other 9 Sec");
	Command("enable button 0");
	Command("enable button 1");
	Command("focus other 1");
	Command("focus other 0");
	ClickButtonAndWait();

	std::string output = fDemo->Output();
	EXPECT_EQ(0, count_of(output, "message 'chek'")) << output;
	EXPECT_EQ(0, count_of(output, "message 'rad3'")) << output;
	EXPECT_EQ(0, count_of(output, "message 'text'")) << output;
	EXPECT_EQ(0, count_of(output, "message 'othr'")) << output;
	Command("print check");
	Command("print rad3");
	EXPECT_EQ(1, Lines("state check 1"));
	EXPECT_EQ(1, Lines("state rad3 1"));
}


TEST_F(DemoTest, DisabledControlSendsNothing)
{
	Start();
	Command("enable check 0");
	Click(kCheckBox);
	ClickButtonAndWait();
	EXPECT_EQ(0, Lines("message 'chek'"));
	Command("print check");
	EXPECT_EQ(1, Lines("state check 0"));

	Command("enable check 1");
	Click(kCheckBox);
	EXPECT_TRUE(WaitForLines("message 'chek'", 1));
}


TEST_F(DemoTest, RadioButtonsOfOneParentAreExclusive)
{
	Start();
	Click(kRadio1);
	ASSERT_TRUE(WaitForLines("message 'rad1'", 1));
	Click(kRadio3);
	ASSERT_TRUE(WaitForLines("message 'rad3'", 1));
	Command("print rad1");
	Command("print rad2");
	Command("print rad3");
	EXPECT_EQ(1, Lines("state rad1 0"));
	EXPECT_EQ(1, Lines("state rad2 0"));
	EXPECT_EQ(1, Lines("state rad3 1"));

	// Choosing from code clears the others too.
	Command("setvalue rad2 1");
	Command("print rad2");
	Command("print rad3");
	EXPECT_EQ(1, Lines("state rad2 1"));
	EXPECT_EQ(2, Lines("state rad3 0") + Lines("state rad3 1"));
	EXPECT_EQ(1, Lines("state rad3 0"));

	// A click on the chosen button keeps it chosen and is sent again.
	Click(kRadio2);
	ASSERT_TRUE(WaitForLines("message 'rad2'", 1));
	Click(kRadio2);
	ASSERT_TRUE(WaitForLines("message 'rad2'", 2));
	Command("print rad2");
	EXPECT_EQ(2, Lines("state rad2 1"));
}


TEST_F(DemoTest, TextControlSendsOnEnterAndOnLeavingAfterAnEdit)
{
	Start();
	// Into the field and out again with Tab, without an edit.
	Click(kTextField);
	ASSERT_TRUE(fTools.Key(fWindow, "Tab"));
	ClickButtonAndWait();
	EXPECT_EQ(0, Lines("message 'text'")) << fDemo->Output();

	// An edit and Enter.
	Click(kTextField);
	ASSERT_TRUE(fTools.Key(fWindow, "End"));
	ASSERT_TRUE(fTools.Type(fWindow, "x"));
	ASSERT_TRUE(fTools.Key(fWindow, "Return"));
	ASSERT_TRUE(WaitForLines("message 'text'", 1)) << fDemo->Output();
	EXPECT_EQ(1, Lines("text now 'abcx'"));

	// Enter again sends again, even without a new edit.
	ASSERT_TRUE(fTools.Key(fWindow, "Return"));
	ASSERT_TRUE(WaitForLines("message 'text'", 2)) << fDemo->Output();

	// Leaving after Enter, with nothing edited since, sends nothing; nor
	// does leaving the other field untouched.
	Click(kOtherField);
	ClickButtonAndWait();
	EXPECT_EQ(2, Lines("message 'text'"));
	EXPECT_EQ(0, Lines("message 'othr'"));

	// An edit and a click elsewhere.
	Click(kTextField);
	ASSERT_TRUE(fTools.Key(fWindow, "End"));
	ASSERT_TRUE(fTools.Type(fWindow, "y"));
	ClickButtonAndWait();
	EXPECT_EQ(3, Lines("message 'text'")) << fDemo->Output();
	EXPECT_EQ(1, Lines("text now 'abcxy'"));
	// The field's message came before the button's.
	std::string output = fDemo->Output();
	EXPECT_LT(output.find("text now 'abcxy'"),
		output.rfind("message 'butn'"));
}


TEST_F(DemoTest, ViewColourFillsTheRadioButtonAndChangesFromAnotherThread)
{
	Start();
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	// The second radio button: (165, 12, 205, 32) in the box at (10, 5).
	int left = geometry.x + 175;
	int top = geometry.y + 17;
	const int width = 40;
	const int height = 20;
	const XTools::Color green = {105, 220, 105};
	const XTools::Color red = {220, 105, 105};
	std::string png = fHome.Sub("screen.png");

	Screenshot before(getenv("DISPLAY"), png);
	ASSERT_TRUE(before.IsValid());
	EXPECT_EQ(0, before.CountColor(left, top, width, height, green));

	// Made on the demo's command thread under the window's lock; nothing
	// else happens on the X server until the picture shows the colour.
	Command("color rad2 105 220 105");
	int greenPixels = 0;
	wait_for([&] {
		Screenshot shot(getenv("DISPLAY"), png);
		greenPixels = shot.CountColor(left, top, width, height, green);
		return greenPixels > width * height * 6 / 10;
	}, kWait);
	EXPECT_GT(greenPixels, width * height * 6 / 10);

	Command("color rad2 220 105 105");
	int redPixels = 0;
	wait_for([&] {
		Screenshot shot(getenv("DISPLAY"), png);
		redPixels = shot.CountColor(left, top, width, height, red);
		greenPixels = shot.CountColor(left, top, width, height, green);
		return redPixels > width * height * 6 / 10 && greenPixels == 0;
	}, kWait);
	EXPECT_GT(redPixels, width * height * 6 / 10);
	EXPECT_EQ(0, greenPixels);

	// The neighbours keep the background.
	Screenshot last(getenv("DISPLAY"), png);
	EXPECT_EQ(0, last.CountColor(geometry.x + 130, top, width, height, red));
	EXPECT_EQ(0, last.CountColor(geometry.x + 220, top, width, height, red));
}


TEST_F(DemoTest, SuperKeysReachTheWindowAsUnmappedKeys)
{
	Start();
	ASSERT_TRUE(fTools.Key(fWindow, "Super_L"));
	ASSERT_TRUE(WaitForLines("unmapped key=102 modifiers=0x4040", 1))
		<< fDemo->Output();

	ASSERT_TRUE(fTools.Key(fWindow, "Super_R"));
	ASSERT_TRUE(wait_for([&] {
		return fDemo->Output().find("unmapped key=103") != std::string::npos;
	}, kWait)) << fDemo->Output();
	std::string output = fDemo->Output();
	size_t at = output.find("unmapped key=103 modifiers=");
	unsigned modifiers = strtoul(output.c_str() + at + 27, nullptr, 16);
	// The right Option key and the Option key are held.
	EXPECT_EQ(0x8040u, modifiers & 0x8040u) << output;

	// Keys that give characters are not reported as unmapped.
	int unmapped = count_of(fDemo->Output(), "unmapped key=");
	ASSERT_TRUE(fTools.Key(fWindow, "a"));
	ASSERT_TRUE(fTools.Key(fWindow, "Shift_L"));
	ClickButtonAndWait();
	EXPECT_EQ(unmapped, count_of(fDemo->Output(), "unmapped key="))
		<< fDemo->Output();
}


TEST_F(DemoTest, MovingTheWindowCallsFrameMoved)
{
	Start();
	ASSERT_TRUE(fTools.Move(fWindow, 200, 150));
	ASSERT_TRUE(WaitForLines("moved 200 150", 1)) << fDemo->Output();
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	EXPECT_EQ(200, geometry.x);
	EXPECT_EQ(150, geometry.y);
	EXPECT_EQ(400, geometry.width);
}


TEST_F(DemoTest, CloseButtonAsksQuitRequestedAndTheProgramEnds)
{
	Start();
	ASSERT_TRUE(fTools.Close(fWindow));
	ASSERT_TRUE(fDemo->WaitForOutput("quit requested\n", kWait))
		<< fDemo->Output();
	int status = -1;
	ASSERT_TRUE(fDemo->Wait(kWait, &status));
	EXPECT_EQ(0, status) << fDemo->Errors();
	std::string output = fDemo->Output();
	EXPECT_NE(std::string::npos, output.find("window deleted\n"));
	EXPECT_LT(output.find("window deleted\n"), output.find("end\n"));
	EXPECT_FALSE(fTools.WindowExists(fWindow));
}


TEST_F(DemoTest, EscapeDoesNotCloseTheWindow)
{
	Start();
	ASSERT_TRUE(fTools.Key(fWindow, "Escape"));
	ClickButtonAndWait();
	EXPECT_EQ(0, Lines("quit requested"));
	EXPECT_TRUE(fDemo->Running());
}


TEST_F(DemoTest, WithoutDisplayOneClearLineAndFailure)
{
	ChildProcess::Options options = BaseOptions();
	options.unset.push_back("DISPLAY");
	ChildProcess demo({INTERFACE_DEMO}, options);
	int status = -1;
	ASSERT_TRUE(demo.Wait(kWait, &status));
	EXPECT_NE(0, status);
	EXPECT_LT(status, 128) << "ended by a signal";
	std::string errors = demo.Errors();
	EXPECT_EQ(1, count_of(errors, "\n")) << errors;
	EXPECT_NE(std::string::npos, errors.find("DISPLAY is not set")) << errors;
	EXPECT_NE(std::string::npos, errors.find("xvfb-run")) << errors;
}


TEST_F(DemoTest, WithAnAbsentDisplayOneClearLineAndFailure)
{
	ChildProcess::Options options = BaseOptions();
	options.environment["DISPLAY"] = ":4711";
	ChildProcess demo({INTERFACE_DEMO}, options);
	int status = -1;
	ASSERT_TRUE(demo.Wait(kWait, &status));
	EXPECT_NE(0, status);
	EXPECT_LT(status, 128) << "ended by a signal";
	std::string errors = demo.Errors();
	EXPECT_EQ(1, count_of(errors, "\n")) << errors;
	EXPECT_NE(std::string::npos,
		errors.find("cannot open the X display ':4711'")) << errors;
}


TEST_F(DemoTest, LanguageGermanGivesTheCatalogueTexts)
{
	ChildProcess::Options options = BaseOptions();
	options.environment["LANGUAGE"] = "de";
	Start({}, options);
	std::string output = fDemo->Output();
	EXPECT_NE(std::string::npos, output.find("label: [RDX benutzen]\n"));
	EXPECT_NE(std::string::npos, output.find("label: [Tags nutzen Relais:]\n"));
	EXPECT_NE(std::string::npos,
		output.find("label: [Relais schlie\xc3\x9f" "en nach: ]\n"));
	EXPECT_NE(std::string::npos,
		output.find("label: [alle Relais \xc3\xb6" "ffnen]\n"));
	Command("quit");
	int status = -1;
	EXPECT_TRUE(fDemo->Wait(kWait, &status));
	EXPECT_EQ(0, status);
}


TEST_F(DemoTest, WithoutALanguageTheKeysThemselves)
{
	Start();
	std::string output = fDemo->Output();
	EXPECT_NE(std::string::npos, output.find("label: [Use RDX]\n"));
	EXPECT_NE(std::string::npos, output.find("label: [Tags use Relay:]\n"));
	EXPECT_NE(std::string::npos, output.find("label: [Relay close after: ]\n"));
	EXPECT_NE(std::string::npos, output.find("label: [open all relay]\n"));
}

}	// namespace

namespace {

TEST_F(DemoTest, QuittingTheApplicationEndsTheWindowFirst)
{
	Start();
	// The application turns SIGTERM into a quit request; the window's
	// thread must end (and the window be deleted) before Run() returns.
	fDemo->Signal(SIGTERM);
	int status = -1;
	ASSERT_TRUE(fDemo->Wait(kWait, &status));
	EXPECT_EQ(0, status) << fDemo->Errors();
	std::string output = fDemo->Output();
	ASSERT_NE(std::string::npos, output.find("window deleted\n")) << output;
	EXPECT_LT(output.find("window deleted\n"), output.find("end\n"));
	EXPECT_EQ(0, count_of(output, "quit requested"));
}

}	// namespace

namespace {

// Copies a file, keeping its mode.
bool
copy_file(const std::string& from, const std::string& to, mode_t mode)
{
	std::string data = read_file(from);
	if (data.empty())
		return false;
	int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
	if (fd < 0)
		return false;
	bool written = write(fd, data.data(), data.size()) == (ssize_t)data.size();
	close(fd);
	return written;
}


TEST_F(DemoTest, InstalledProgramFindsTheCatalogueBesideItsPrefix)
{
	// A program installed in <prefix>/bin reads <prefix>/share/locale,
	// wherever the prefix was moved. The labels are looked up before the
	// window is made, so no display is needed.
	TempDir prefix;
	std::string messages = prefix.Sub("share/locale/de/LC_MESSAGES");
	ASSERT_EQ(0, system(("mkdir -p '" + prefix.Sub("bin") + "' '" + messages
		+ "'").c_str()));
	ASSERT_TRUE(copy_file(INTERFACE_DEMO, prefix.Sub("bin/demo"), 0755));

	ChildProcess::Options options = BaseOptions();
	options.environment["LANGUAGE"] = "de";
	options.unset.push_back("DISPLAY");
	{
		// No catalogue installed yet: the keys themselves.
		ChildProcess demo({prefix.Sub("bin/demo")}, options);
		int status = -1;
		ASSERT_TRUE(demo.Wait(kWait, &status));
		EXPECT_NE(std::string::npos, demo.Output().find("label: [Use RDX]\n"))
			<< demo.Output();
	}

	ASSERT_TRUE(copy_file(RDX_BINARY_DIR "/locale/de/LC_MESSAGES/rdx.mo",
		messages + "/rdx.mo", 0644));
	ChildProcess demo({prefix.Sub("bin/demo")}, options);
	int status = -1;
	ASSERT_TRUE(demo.Wait(kWait, &status));
	EXPECT_NE(std::string::npos,
		demo.Output().find("label: [RDX benutzen]\n")) << demo.Output();
	EXPECT_NE(std::string::npos,
		demo.Output().find("label: [alle Relais \xc3\xb6" "ffnen]\n"));
}

}	// namespace
