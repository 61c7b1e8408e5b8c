// rdx-tags with the real rdx-reader, rdx and rdx-board-sim on loopback,
// under the test's Xvfb, used with real clicks and keys: a card the list
// does not know is read, shows up marked in the recent reads, is added
// with a name, and its next read opens the door. And a tag listed twice:
// its later line is removed on its own with a click and a key.

#include "BoardSim.h"
#include "RdxProgram.h"
#include "ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

// Tags use relay 2, output 4.
const char* kOpen = "GET /?4=0";
const char* kCard = "0055AA7711";
// Where rdx-tags' controls are, in its window (see TagsWindow.cpp: a
// window of 820 by 580).
const WindowPoint kFirstRead = {100, 424};
const WindowPoint kAddReadButton = {55, 557};
// The name field of the dialog (TagDialog.cpp).
const WindowPoint kNameField = {300, 54};
// Import… at the window's bottom right; in the review (ImportWindow.cpp,
// 760 by 420) the second row of the list, "Take the file's" and Import.
const WindowPoint kImportButton = {670, 557};
const WindowPoint kSecondEntry = {100, 62 + 22 + 20 + 10};
const WindowPoint kTakeFileButton = {190, 397};
const WindowPoint kImportReviewButton = {700, 397};
// The middle of the table's third row: rows of 20 pixels under a title
// row of 22, in a table at 42.
const WindowPoint kThirdTag = {100, 42 + 22 + 2 * 20 + 10};


// A shown window of that name other than the one given (an alert over it,
// which has the window's title); 0 when none came.
unsigned long
other_window(const XTools& tools, const std::string& name,
	unsigned long besides)
{
	unsigned long found = 0;
	wait_for([&] {
		std::string output;
		tools.Run({"xdotool", "search", "--onlyvisible", "--name",
			"^" + name + "$"}, &output);
		std::istringstream ids(output);
		for (unsigned long id; ids >> id;) {
			if (id != besides)
				found = id;
		}
		return found != 0;
	}, 20);
	return found;
}


TEST(TagsWindowEndToEndTest, AnUnknownCardIsAddedFromItsReadAndThenOpens)
{
	const char* display = getenv("DISPLAY");
	ASSERT_NE(nullptr, display);
	RdxProgram rdx(display, "rdx-tags-e2e");
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	// rdx's window sits away from rdx-tags', which the clicks are for.
	ASSERT_TRUE(rdx.Seed({
		{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)},
		{"OpenInSecs", seed::Int32(1)},
		{"TagsUseDoor", seed::Int32(2)},
		{"prefs_window_rect", seed::Rect(620, 620, 1020, 745)},
	}));
	std::string list = rdx.SettingsDirectory() + "/tags";
	FILE* file = fopen(list.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs("# the front door\n0014594826 fob\n", file);
	fclose(file);
	ASSERT_EQ(0, chmod(list.c_str(), 0600));
	ASSERT_TRUE(rdx.Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 20));

	std::map<std::string, std::string> environment = {
		{"XDG_RUNTIME_DIR", rdx.Directory().Sub("run")},
		{"HOME", rdx.Directory().Sub("home")},
		{"XDG_CONFIG_HOME", rdx.ConfigHome()},
		{"XDG_STATE_HOME", rdx.StateHome()}};
	EventFifo keyboard;
	// A short repeat time: the card is presented again soon after.
	ReaderProcess reader({"--keyboard", keyboard.Path(), "--repeat-ms", "50"},
		environment);
	ASSERT_TRUE(reader.WaitFor(": reading\n"));

	ChildProcess::Options options;
	options.environment = environment;
	options.environment["DISPLAY"] = display;
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	ChildProcess tags({std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags"}, options);
	XTools tools(display);
	unsigned long window = tools.FindWindow("RDX Tags", 20);
	ASSERT_TRUE(window != 0 && tools.WaitUntilViewable(window, 20))
		<< tags.Errors();
	XTools::Geometry geometry;
	ASSERT_TRUE(tools.GetGeometry(window, &geometry));

	// The card is read; rdx-reader does not know it.
	ASSERT_TRUE(keyboard.Write(KeyScript().Type(std::string(kCard) + "\n")));
	ASSERT_TRUE(reader.WaitFor(std::string(": ") + kCard + ": unknown\n"))
		<< reader.Output();
	// The window shows the read as it comes, marked as unknown (red).
	std::string png = rdx.Directory().Sub("tags-window.png");
	ASSERT_TRUE(wait_for([&] {
		Screenshot shot(display, png);
		return shot.CountColor(geometry.x + 10, geometry.y + kFirstRead.y - 8,
			700, 16, {190, 30, 30}) > 20;
	}, 20)) << "no unknown read in the pane; see " << png;

	// Select it, "Add…", a name, Enter.
	ASSERT_TRUE(tools.Click(window, kFirstRead.x, kFirstRead.y));
	ASSERT_TRUE(tools.Click(window, kAddReadButton.x, kAddReadButton.y));
	unsigned long dialog = tools.FindWindow("Add tag", 20);
	ASSERT_TRUE(dialog != 0 && tools.WaitUntilViewable(dialog, 20))
		<< tags.Errors();
	// Into the name field (the keyboard follows the pointer here).
	ASSERT_TRUE(tools.Click(dialog, kNameField.x, kNameField.y));
	ASSERT_TRUE(tools.Type(dialog, "Carla Berg"));
	ASSERT_TRUE(tools.Key(dialog, "Return"));
	ASSERT_TRUE(wait_for([&] {
		return read_file(list) == "# the front door\n0014594826 fob\n"
			+ std::string(kCard) + " Carla Berg\n";
	}, 20)) << read_file(list) << tags.Errors();
	struct stat status;
	ASSERT_EQ(0, stat(list.c_str(), &status));
	EXPECT_EQ(0600u, status.st_mode & 07777);
	EXPECT_TRUE(wait_for([&] { return !tools.WindowExists(dialog); }, 10));

	// rdx-reader takes the saved list; the card's next read opens the
	// door through rdx.
	ASSERT_TRUE(reader.WaitFor("read again the tag list " + list
		+ ": 2 tags\n")) << reader.Output();
	ASSERT_TRUE(keyboard.Write(KeyScript(2000000000LL * 1000)
		.Type(std::string(kCard) + "\n")));
	ASSERT_TRUE(reader.WaitFor(std::string(": ") + kCard
		+ " (Carla Berg): passed on\n")) << reader.Output();
	EXPECT_TRUE(board.WaitForRequest(kOpen, 20)) << read_file(board.LogFile());

	ASSERT_TRUE(tools.Close(window));
	int exitStatus = -1;
	EXPECT_TRUE(tags.Wait(20, &exitStatus));
	EXPECT_EQ(0, exitStatus) << tags.Errors();
	rdx.Stop();
}



TEST(TagsWindowEndToEndTest, TheLaterLineOfATagListedTwiceIsRemovedAlone)
{
	const char* display = getenv("DISPLAY");
	ASSERT_NE(nullptr, display);
	TempDir directory("rdx-tags-twice");
	std::string list = directory.Sub("tags");
	// The line that counts keeps the fob out; the later one would let it
	// in at any time, were it the one that counted.
	const std::string kept = "# the front door\n0014594826 fob | off\n"
		"0055AA7711 Carla Berg\n";
	FILE* file = fopen(list.c_str(), "w");
	ASSERT_NE(nullptr, file);
	fputs((kept + "0014594826 old fob\n").c_str(), file);
	fclose(file);
	ASSERT_EQ(0, chmod(list.c_str(), 0600));

	ChildProcess::Options options;
	options.environment = {{"DISPLAY", display},
		{"HOME", directory.Path()},
		{"XDG_CONFIG_HOME", directory.Sub("config")},
		{"XDG_STATE_HOME", directory.Sub("state")},
		{"XDG_RUNTIME_DIR", directory.Path()}};
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	ChildProcess tags({std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags", "--tags", list, "--log",
		directory.Sub("access.log")}, options);
	XTools tools(display);
	unsigned long window = tools.FindWindow("RDX Tags", 20);
	ASSERT_TRUE(window != 0 && tools.WaitUntilViewable(window, 20))
		<< tags.Errors();

	// By name: Carla Berg, fob, then its later line, "old fob". Enter on
	// that row changes nothing: it does not count, it can only go.
	ASSERT_TRUE(tools.Click(window, kThirdTag.x, kThirdTag.y));
	ASSERT_TRUE(tools.Key(window, "Return"));
	EXPECT_EQ(0UL, tools.FindWindow("Change tag", 1));
	ASSERT_TRUE(tools.Key(window, "Delete"));
	unsigned long alert = other_window(tools, "RDX Tags", window);
	ASSERT_TRUE(alert != 0 && tools.WaitUntilViewable(alert, 20))
		<< tags.Errors();
	ASSERT_TRUE(tools.Key(alert, "Return"));
	EXPECT_TRUE(wait_for([&] { return read_file(list) == kept; }, 20))
		<< read_file(list) << tags.Errors();

	ASSERT_TRUE(tools.Close(window));
	int exitStatus = -1;
	EXPECT_TRUE(tags.Wait(20, &exitStatus));
	EXPECT_EQ(0, exitStatus) << tags.Errors();
}

// Import… in the window: the file's new tag is added, and of two tags that
// differ only the one whose file's version was chosen changes.
TEST(TagsWindowEndToEndTest, AnImportChangesOnlyTheTagsChosen)
{
	const char* display = getenv("DISPLAY");
	ASSERT_NE(nullptr, display);
	TempDir directory("rdx-tags-import");
	std::string list = directory.Sub("tags");
	const std::string before = "# front door\n0014594826 fob | off\n"
		"0055AA7711 Carla Berg | Mo-Fr 08:00-17:00\n";
	std::ofstream(list) << before;
	ASSERT_EQ(0, chmod(list.c_str(), 0600));
	std::string file = directory.Sub("people.csv");
	std::ofstream(file) << "tag;name;rules\r\n0014594826;fob;\r\n"
		"0055AA7711;Carla Berg;Mo-Su 00:00-24:00\r\n0099;Dora;off\r\n";

	ChildProcess::Options options;
	options.environment = {{"DISPLAY", display}, {"HOME", directory.Path()},
		{"XDG_RUNTIME_DIR", directory.Path()}};
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	ChildProcess tags({std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags", "--tags", list, "--log",
		directory.Sub("access.log")}, options);
	XTools tools(display);
	unsigned long window = tools.FindWindow("RDX Tags", 20);
	ASSERT_TRUE(window != 0 && tools.WaitUntilViewable(window, 20))
		<< tags.Errors();
	ASSERT_TRUE(tools.Click(window, kImportButton.x, kImportButton.y));
	unsigned long dialog = tools.FindWindow("Import a list", 20);
	ASSERT_TRUE(dialog != 0 && tools.WaitUntilViewable(dialog, 20));
	ASSERT_TRUE(tools.Key(dialog, "ctrl+a"));
	ASSERT_TRUE(tools.Type(dialog, file));
	ASSERT_TRUE(tools.Key(dialog, "Return"));
	// The review: the two that differ first, in the file's order.
	unsigned long review = 0;
	ASSERT_TRUE(wait_for([&] {
		review = tools.FindWindow("Import a list", 1);
		return review != 0 && review != dialog;
	}, 20)) << tags.Errors();
	ASSERT_TRUE(tools.WaitUntilViewable(review, 20));
	ASSERT_TRUE(tools.Click(review, kSecondEntry.x, kSecondEntry.y));
	ASSERT_TRUE(tools.Click(review, kTakeFileButton.x, kTakeFileButton.y));
	ASSERT_TRUE(tools.Click(review, kImportReviewButton.x,
		kImportReviewButton.y));
	EXPECT_TRUE(wait_for([&] {
		return read_file(list) == "# front door\n0014594826 fob | off\n"
			"0055AA7711 Carla Berg | Mo-Su 00:00-24:00\n0099 Dora | off\n";
	}, 20)) << read_file(list) << tags.Errors();

	ASSERT_TRUE(tools.Close(window));
	int exitStatus = -1;
	EXPECT_TRUE(tags.Wait(20, &exitStatus));
	EXPECT_EQ(0, exitStatus) << tags.Errors();
}

}	// namespace
