// The program as a whole: its begin and end, where its window appears, what
// it looks like, the start-up request, messages it does not know, keys.

#include "E2ETest.h"

#include <RDXDefs.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool
write_file(const std::string& path, const std::string& text)
{
	FILE* file = fopen(path.c_str(), "w");
	if (file == nullptr)
		return false;
	bool written = fputs(text.c_str(), file) >= 0;
	return fclose(file) == 0 && written;
}


// Moves the window as a window manager does and waits until it is there.
bool
MoveWindow(XTools& tools, unsigned long window, int x, int y)
{
	return tools.Move(window, x, y) && wait_for([&] {
		XTools::Geometry geometry;
		return tools.GetGeometry(window, &geometry) && geometry.x == x
			&& geometry.y == y;
	}, 10);
}


// The answer directories (rdx-XXXXXX) below a runtime directory; the port's
// own directory, rdx-kit, is not one.
std::vector<std::string>
AnswerDirectories(const std::string& runtime)
{
	std::vector<std::string> found;
	DIR* directory = opendir(runtime.c_str());
	if (directory == nullptr)
		return found;
	while (struct dirent* entry = readdir(directory)) {
		std::string name = entry->d_name;
		if (name.rfind("rdx-", 0) == 0 && name != "rdx-kit")
			found.push_back(runtime + "/" + name);
	}
	closedir(directory);
	return found;
}


// What is at a name in the shared /tmp, as another user may have put it
// there: a link to a file of ours, or a file of someone else. Planted when
// the name is free (and removed again), otherwise taken as it is; either
// way it must be the same after rdx ran.
class SharedName {
public:
	SharedName(const std::string& path, const std::string& linkTarget)
		:
		fPath(path)
	{
		struct stat info;
		if (lstat(fPath.c_str(), &info) != 0) {
			if (!linkTarget.empty())
				fPlanted = symlink(linkTarget.c_str(), fPath.c_str()) == 0;
			else {
				int fd = open(fPath.c_str(), O_WRONLY | O_CREAT | O_EXCL
					| O_NOFOLLOW | O_CLOEXEC, 0644);
				fPlanted = fd >= 0;
				if (fd >= 0) {
					ssize_t written = write(fd, "another user's\n", 15);
					(void)written;
					// Another user's, where there is one to give it to.
					int changed = fchown(fd, 65534, 65534);
					(void)changed;
					close(fd);
				}
			}
		}
		fBefore = State();
	}

	~SharedName()
	{
		if (fPlanted)
			unlink(fPath.c_str());
	}

	// Its kind, owner, link target or content.
	std::string State() const
	{
		struct stat info;
		if (lstat(fPath.c_str(), &info) != 0)
			return "missing";
		std::string state = std::to_string(info.st_mode) + " "
			+ std::to_string(info.st_uid) + " ";
		if (S_ISLNK(info.st_mode)) {
			char target[512];
			ssize_t length = readlink(fPath.c_str(), target, sizeof(target));
			return state + std::string(target, length > 0 ? length : 0);
		}
		return state + read_file(fPath);
	}

	const std::string& Before() const { return fBefore; }
	// Only what this test put there is known to be left alone by every
	// other program; an older rdx of another user may write to a name that
	// was there before.
	bool Planted() const { return fPlanted; }

private:
	std::string	fPath;
	bool		fPlanted = false;
	std::string	fBefore;
};

TEST_F(E2ETest, BeginAndEndLinesAndStatusZeroWhenTheWindowCloses)
{
	StartBoard();
	Start(Settings(false));
	EXPECT_EQ(0, CloseAndWait());
	std::string output = Output();
	EXPECT_EQ(0u, output.find("-RDX begin-\n")) << output;
	ASSERT_GE(output.size(), 11u);
	EXPECT_EQ("\n-RDX end-\n", output.substr(output.size() - 11)) << output;
	EXPECT_EQ(1, count_of(output, "-- StartUp --\n"));
	EXPECT_TRUE(fBoard->Requests().empty());
}


TEST_F(E2ETest, ASecondRdxOfTheSameUserDoesNotStartAndLeavesTheFirstAlone)
{
	StartBoard();
	Start(Settings(true));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 10));
	ASSERT_TRUE(WaitForCount("CLOSE 1|", 1));
	std::string settings = fProgram->SettingsDirectory() + "/RDX_settings";
	struct stat before;
	ASSERT_EQ(0, stat(settings.c_str(), &before));
	std::string output;
	std::string errors;
	EXPECT_EQ(3, fProgram->RunSecond(20, &output, &errors));
	EXPECT_EQ("", output);
	EXPECT_EQ("rdx: another rdx already runs for this user; this one does "
		"not start\n", errors);

	// The first one's board, settings (not even written back), log and
	// port are as they were, and it goes on serving.
	struct stat after;
	ASSERT_EQ(0, stat(settings.c_str(), &after));
	EXPECT_EQ(before.st_ctim.tv_sec, after.st_ctim.tv_sec);
	EXPECT_EQ(before.st_ctim.tv_nsec, after.st_ctim.tv_nsec);
	EXPECT_EQ(1, count_of(read_file(fProgram->AccessLogFile()),
		"\"event\":\"start\""));
	EXPECT_EQ(2u, fBoard->Requests().size());
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	EXPECT_TRUE(fBoard->WaitForRequest("GET /?3=0", 10, 2));
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(E2ETest, WindowIs400By125AtTheStoredCorner)
{
	StartBoard();
	seed::Values values = Settings(false);
	// A stored frame of another size: only its left-top corner counts.
	values.emplace_back("prefs_window_rect", seed::Rect(150, 120, 200, 300));
	Start(values);
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	EXPECT_EQ(150, geometry.x);
	EXPECT_EQ(120, geometry.y);
	EXPECT_EQ(400, geometry.width);
	EXPECT_EQ(125, geometry.height);
}


TEST_F(E2ETest, BoardUseOnOpensRelayOneForASecondAtStart)
{
	StartBoard();
	Start(Settings(true));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=0", 10));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 10));
	std::vector<std::string> lines = fBoard->LogLines();
	ASSERT_EQ(2u, lines.size());
	EXPECT_GE(atof(lines[1].c_str()) - atof(lines[0].c_str()), 0.9);
	EXPECT_LE(atof(lines[1].c_str()) - atof(lines[0].c_str()), 1.6)
		<< "held too long";
	ASSERT_TRUE(WaitForCount("CLOSE 1|", 1));
	std::string output = Output();
	EXPECT_LT(output.find("-- StartUp --\n"), output.find(" OPEN 1|"));
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(E2ETest, ScreenshotShowsTheBackgroundBesideTheBox)
{
	StartBoard();
	Start(Settings(false));
	std::unique_ptr<Screenshot> shot = Shoot("window");
	ASSERT_TRUE(shot->IsValid());
	int x = fGeometry.x;
	int y = fGeometry.y;
	// Left of the box (it starts 10 in), below it, right of it.
	EXPECT_EQ(8 * 80, shot->CountColor(x + 1, y + 10, 8, 80, kBackground));
	EXPECT_EQ(380 * 3, shot->CountColor(x + 10, y + 120, 380, 3, kBackground));
	EXPECT_EQ(8 * 80, shot->CountColor(x + 391, y + 10, 8, 80, kBackground));
	// Outside the window, the bare screen.
	EXPECT_EQ(0, shot->CountColor(x + 400, y, 20, 125, kBackground));
	// No relay is coloured.
	for (int k = 0; k < 4; k++) {
		EXPECT_EQ(0, RadioPixels(*shot, k, kGreen)) << k;
		EXPECT_EQ(0, RadioPixels(*shot, k, kRed)) << k;
	}
}


TEST_F(E2ETest, UnknownMessageIsDumpedByTheApplication)
{
	StartBoard();
	Start(Settings(false));
	ASSERT_EQ(0, Send({"abcd", "note=hello", "count:int32=7"}));
	ASSERT_TRUE(WaitForCount("RDXApp BMessage: what = abcd", 1))
		<< Output();
	std::string output = Output();
	size_t at = output.find("RDXApp BMessage: what = abcd");
	EXPECT_NE(std::string::npos, output.find("note", at));
	EXPECT_NE(std::string::npos, output.find("\"hello\"", at));
	EXPECT_NE(std::string::npos, output.find("count", at));
	// The program goes on.
	EXPECT_EQ(0, CloseAndWait());
}


TEST_F(E2ETest, SuperKeysArePrinted)
{
	StartBoard();
	Start(Settings(false));
	ASSERT_TRUE(fTools.Key(fWindow, "Super_L"));
	ASSERT_TRUE(WaitForCount("kkey==102 Win-LEFT\n", 1)) << Output();
	// A key that gives a character is not reported.
	ASSERT_TRUE(fTools.Key(fWindow, "a"));
	// (xdotool presses Super_L along with Super_R, as the modifier that it
	// thinks the key needs.)
	ASSERT_TRUE(fTools.Key(fWindow, "Super_R"));
	ASSERT_TRUE(WaitForCount("kkey==103 Win-RIGHT\n", 1)) << Output();
	EXPECT_EQ(1, Count("kkey==103 Win-RIGHT\n"));
	EXPECT_EQ(0, Count("use Left-Win-Key"));
	EXPECT_EQ(0, Count("RDXWindow::MessageReceived"));
}


TEST_F(E2ETest, MovedWindowIsStoredWhenItCloses)
{
	StartBoard();
	Start(Settings(false));
	ASSERT_TRUE(MoveWindow(fTools, fWindow, 300, 210));
	EXPECT_EQ(0, CloseAndWait());
	float frame[4];
	ASSERT_TRUE(seed::ReadRect(ConfigHome(), "prefs_window_rect", frame));
	EXPECT_FLOAT_EQ(300, frame[0]);
	EXPECT_FLOAT_EQ(210, frame[1]);
	EXPECT_FLOAT_EQ(700, frame[2]);
	EXPECT_FLOAT_EQ(335, frame[3]);
	std::string output = Output();
	ASSERT_GE(output.size(), 11u);
	EXPECT_EQ("\n-RDX end-\n", output.substr(output.size() - 11));

	// The next start puts it there.
	Start({{"rdx_ip", seed::Text(fBoard->Address())}});
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	EXPECT_EQ(300, geometry.x);
	EXPECT_EQ(210, geometry.y);
}

TEST_F(E2ETest, MovedWindowIsStoredAfterATagOpenedAndClosedTheDoor)
{
	StartBoard();
	Start(Settings(true, 1, 2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
	ASSERT_TRUE(WaitForCount("CLOSE 1|", 1));
	ASSERT_TRUE(MoveWindow(fTools, fWindow, 280, 200));
	// A key pressed after the move reaches the window after the move's
	// event: once its line is out, the window knows its new place.
	ASSERT_TRUE(fTools.Key(fWindow, "Super_L"));
	ASSERT_TRUE(WaitForCount("kkey==102 Win-LEFT", 1));

	// Each report of the open and the close reloads the settings.
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 15));
	ASSERT_TRUE(WaitForCount("CLOSE 2|", 1));
	ASSERT_TRUE(fProgram->Sync());
	EXPECT_EQ(0, CloseAndWait());

	float frame[4];
	ASSERT_TRUE(seed::ReadRect(ConfigHome(), "prefs_window_rect", frame));
	EXPECT_FLOAT_EQ(280, frame[0]);
	EXPECT_FLOAT_EQ(200, frame[1]);
}


TEST_F(E2ETest, BoardAnswersGoToAPrivateDirectoryNeverToTheSharedNames)
{
	// The names the answers of relays 1 and 2 once had in /tmp: a link to
	// a file of this test's, and a file of another user.
	std::string victim = TestPath("victim");
	ASSERT_TRUE(write_file(victim, "must stay as it is\n"));
	SharedName link("/tmp/rdx3.tmp", victim);
	SharedName foreign("/tmp/rdx4.tmp", "");

	StartBoard();
	Start(Settings(true, 1, 2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 15));
	EXPECT_EQ(fBoard->Requests(), (std::vector<std::string>{"GET /?3=0",
		"GET /?3=1", "GET /?4=0", "GET /?4=1"}));
	EXPECT_EQ(0, Count("ausschalten")) << Output();

	// One directory of its own, below its runtime directory, for nobody
	// else.
	std::vector<std::string> directories
		= AnswerDirectories(TestPath("run"));
	ASSERT_EQ(1u, directories.size());
	struct stat info;
	ASSERT_EQ(0, lstat(directories[0].c_str(), &info));
	EXPECT_TRUE(S_ISDIR(info.st_mode));
	EXPECT_EQ(0700u, info.st_mode & 0777);

	EXPECT_EQ(0, CloseAndWait());
	EXPECT_TRUE(AnswerDirectories(TestPath("run")).empty())
		<< "the answers were left behind";
	for (const SharedName* name : {&link, &foreign}) {
		if (name->Planted())
			EXPECT_EQ(name->Before(), name->State());
		else
			printf("a name was there before the test: not compared\n");
	}
	EXPECT_EQ("must stay as it is\n", read_file(victim));
}


TEST_F(E2ETest, FirstStartWithoutAnySettingsWritesTheDefaults)
{
	// The default board is on a private network: it may only be reached
	// for where there is nothing but loopback.
	if (!RdxProgram::OnlyLoopback())
		GTEST_SKIP() << "runs only in a loopback-only network namespace";
	ASSERT_TRUE(fProgram->StartWithoutSettings());
	fWindow = fProgram->Window();
	XTools::Geometry geometry;
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &geometry));
	EXPECT_EQ(100, geometry.x);
	EXPECT_EQ(100, geometry.y);
	EXPECT_EQ(400, geometry.width);
	EXPECT_EQ(125, geometry.height);

	EXPECT_EQ(seed::Text(RDX_DEFAULT_IP), Stored("rdx_ip"));
	EXPECT_EQ(seed::Int32(1), Stored("TagsUseDoor"));
	EXPECT_EQ(seed::Int32(1), Stored("OpenInSecs"));
	EXPECT_EQ(seed::Bool(false), Stored("window_by_begin"));
	EXPECT_EQ(seed::Rect(100, 100, 415, 329), Stored("prefs_window_rect"));
	// Board use is on by default; the default board cannot be reached from
	// here, so the start-up request turns it off.
	ASSERT_TRUE(WaitForStored("rdx_use", seed::Bool(false)));
	EXPECT_EQ(1, Count("ausschalten, da es nicht antwortet"));
	EXPECT_EQ(0, CloseAndWait());
}

TEST_F(E2ETest, ArgumentsAreLeftUnusedWithOneLineAndTheWindowStarts)
{
	// What a launcher passes (%U, a file) must not keep the door's window
	// from starting.
	StartBoard();
	ASSERT_TRUE(fProgram->Seed(Settings(false)));
	ChildProcess::Options options;
	options.environment = {{"HOME", TestPath("home")},
		{"XDG_CONFIG_HOME", ConfigHome()}, {"XDG_RUNTIME_DIR", TestPath("run")},
		{"XDG_STATE_HOME", TestPath("state")},
		{"XDG_DATA_HOME", TestPath("data")},
		{"XDG_DATA_DIRS", TestPath("data-dirs")},
		{"DISPLAY", getenv("DISPLAY") != nullptr ? getenv("DISPLAY") : ""}};
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	ChildProcess rdx({RDX_BINARY_DIR "/src/app/rdx", "--keyboard",
		"file:///tmp/a b\nc"}, options);
	ASSERT_TRUE(rdx.WaitForOutput("-- StartUp --\n", 20)) << rdx.Errors();
	EXPECT_NE(0u, fTools.FindWindow("RDX-BeOSApp", 20));
	EXPECT_EQ("rdx: takes no arguments, ignored: \"--keyboard\" "
		"\"file:///tmp/a b?c\" (see rdx --help)\n", rdx.Errors());
	rdx.Signal(SIGTERM);
	int status = -1;
	EXPECT_TRUE(rdx.Wait(20, &status));
	EXPECT_EQ(0, status);
	EXPECT_TRUE(fBoard->Requests().empty());
}


}	// namespace
