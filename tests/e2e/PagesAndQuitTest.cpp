// The page buttons with a test browser chosen the freedesktop way, quitting
// while a relay is held open, and addresses that hold shell characters.

#include "E2ETest.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

bool
WriteFile(const std::string& path, const std::string& text, mode_t mode)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
	if (fd < 0)
		return false;
	bool written = write(fd, text.data(), text.size()) == (ssize_t)text.size();
	close(fd);
	return written;
}


bool
Exists(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0;
}


class PagesTest : public E2ETest {
protected:
	// A browser whose program writes each argument on a line of its own
	// into ArgumentsFile(). As the default for text/html it needs the
	// mimeapps.list; without it, nothing names it.
	void InstallBrowser(bool makeDefault)
	{
		std::string program = TestPath("record-browser");
		ASSERT_TRUE(WriteFile(program, "#!/bin/sh\nfor a in \"$@\"; do "
			"printf '%s\\n' \"$a\"; done >> '" + ArgumentsFile() + "'\n",
			0755));
		std::string applications = TestPath("data/applications");
		mkdir(applications.c_str(), 0700);
		ASSERT_TRUE(WriteFile(applications + "/rdx-test-browser.desktop",
			"[Desktop Entry]\nType=Application\nName=Test Browser\n"
			"Exec=" + program + " %u\n"
			+ (makeDefault ? "MimeType=text/html;\n" : ""), 0644));
		if (makeDefault) {
			ASSERT_TRUE(WriteFile(ConfigHome() + "/mimeapps.list",
				"[Default Applications]\n"
				"text/html=rdx-test-browser.desktop\n", 0644));
		}
	}

	std::string ArgumentsFile() const { return TestPath("arguments"); }

	// Waits until the browser was started the given number of times; its
	// arguments.
	std::string WaitForArguments(int lines)
	{
		wait_for([&] {
			return count_of(read_file(ArgumentsFile()), "\n") >= lines;
		}, 15);
		return read_file(ArgumentsFile());
	}
};


TEST_F(PagesTest, BrowserAndOwnerOpenTheBoardPagesInTheDefaultBrowser)
{
	StartBoard();
	mkdir(ConfigHome().c_str(), 0700);
	InstallBrowser(true);
	Start(Settings(false));
	std::string page = "http://" + fBoard->Address();

	Click(kBrowserButton);
	EXPECT_EQ(page + "\n", WaitForArguments(1));
	ASSERT_TRUE(WaitForCount("[open]", 1));
	std::string output = Output();
	size_t at = output.find("[open]");
	std::string line = output.substr(at, output.find('\n', at) - at);
	EXPECT_NE(std::string::npos, line.find(TestPath("record-browser")))
		<< line;
	EXPECT_NE(std::string::npos, line.find(page)) << line;
	ASSERT_GE(line.size(), 2u);
	EXPECT_EQ("& ", line.substr(line.size() - 2))
		<< "the ampersand, then one blank: " << line;

	Click(kOwnerButton);
	EXPECT_EQ(page + "\n" + page + "/owner.htm\n", WaitForArguments(2));
	EXPECT_TRUE(WaitForCount("[open]", 2));
	// The pages go to the browser, not to the board.
	EXPECT_TRUE(fBoard->Requests().empty());
}


TEST_F(PagesTest, WithoutADefaultBrowserOneLineAndNothingRuns)
{
	StartBoard();
	mkdir(ConfigHome().c_str(), 0700);
	InstallBrowser(false);
	Start(Settings(false));
	Click(kBrowserButton);
	ASSERT_TRUE(WaitForCount("[open]", 1));
	std::string output = Output();
	size_t at = output.find("[open]");
	std::string line = output.substr(at, output.find('\n', at) - at);
	EXPECT_NE(std::string::npos, line.find("no web browser")) << line;
	Click(kOwnerButton);
	ASSERT_TRUE(WaitForCount("[open]", 2));
	EXPECT_FALSE(Exists(ArgumentsFile()));
	EXPECT_EQ(0, CloseAndWait());
	EXPECT_FALSE(Exists(ArgumentsFile()));
}


// Quitting while a relay is held open: by closing the window, or by SIGTERM.
class QuitWhileHeldTest : public E2ETest,
	public ::testing::WithParamInterface<bool> {
};


TEST_P(QuitWhileHeldTest, RelayIsClosedBeforeTheProcessEnds)
{
	bool bySignal = GetParam();
	StartBoard();
	// Relay 2 is held for 10 seconds.
	Start(Settings(true, 10, 2));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=0", 10));
	ASSERT_TRUE(WaitForCount(" OPEN 2|", 1));
	// Moved after the settings reload that follows the open report, so
	// that the frame a close stores is the one of this move and not one
	// taken before it (the reload keeps the live frame, it does not bring
	// back the stored one).
	ASSERT_EQ(0, Send({"mark"}));
	ASSERT_TRUE(WaitForCount("RDXApp BMessage: what = mark", 1));
	ASSERT_TRUE(fTools.Move(fWindow, 260, 190));
	ASSERT_TRUE(wait_for([&] {
		XTools::Geometry geometry;
		return fTools.GetGeometry(fWindow, &geometry) && geometry.x == 260;
	}, 10));
	// The server has moved the window; a key pressed after the move reaches
	// the window after the move's event, so once its line is printed the
	// window has taken note of its new place, also for a quit by signal.
	ASSERT_TRUE(fTools.Key(fWindow, "Super_L"));
	ASSERT_TRUE(WaitForCount("kkey==102 Win-LEFT", 1));

	int status;
	if (bySignal) {
		fProgram->Signal(SIGTERM);
		status = WaitForExit();
	} else
		status = CloseAndWait();
	// Read at once: the close must be there when the process has ended,
	// long before the hold time would have run out.
	std::vector<std::string> requests = fBoard->Requests();
	EXPECT_EQ(0, status);
	EXPECT_EQ(1, std::count(requests.begin(), requests.end(), "GET /?4=1"))
		<< "relay 2 was left open";
	// Only the open relay is closed.
	EXPECT_EQ(4u, requests.size());
	std::string output = Output();
	ASSERT_GE(output.size(), 11u);
	EXPECT_EQ("\n-RDX end-\n", output.substr(output.size() - 11));

	float frame[4];
	ASSERT_TRUE(seed::ReadRect(ConfigHome(), "prefs_window_rect", frame));
	EXPECT_FLOAT_EQ(260, frame[0]);
	EXPECT_FLOAT_EQ(190, frame[1]);

	// Nothing of the board's answers is left, however it ended: only the
	// port's directory stays in the runtime directory.
	std::vector<std::string> left;
	for (const auto& entry : std::filesystem::directory_iterator(
			TestPath("run")))
		left.push_back(entry.path().filename().string());
	EXPECT_EQ(std::vector<std::string>{"rdx-kit"}, left);
}


INSTANTIATE_TEST_SUITE_P(, QuitWhileHeldTest, ::testing::Values(false, true),
	[](const ::testing::TestParamInfo<bool>& info) {
		return std::string(info.param ? "BySigterm" : "ByClosingTheWindow");
	});


const char* const kShellCaseNames[] = {"Semicolon", "DollarParenthesis",
	"Backquotes", "Quote"};


TEST_F(E2ETest, QuitWhileTheBoardDoesNotAnswerEndsAfterTheRequestTimeOut)
{
	// A board that takes connections and never answers: a socket that
	// listens and never accepts.
	int board = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	ASSERT_GE(board, 0);
	struct sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	ASSERT_EQ(0, bind(board, (struct sockaddr*)&address, sizeof(address)));
	ASSERT_EQ(0, listen(board, 16));
	ASSERT_EQ(0, getsockname(board, (struct sockaddr*)&address, &length));
	std::string silent = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

	Start({{"rdx_ip", seed::Text(silent)}, {"rdx_use", seed::Bool(false)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}});
	// A test pulse on relay 2: its request waits for the board.
	Click(RadioPoint(1));
	ASSERT_TRUE(WaitForStored("TagsUseDoor", seed::Int32(2)));
	// Quitting closes relay 2; the close waits at most for the request's
	// own time-out, and the program still ends cleanly.
	EXPECT_EQ(0, CloseAndWait());
	std::string output = Output();
	EXPECT_NE(std::string::npos, output.find("CLOSE 2 on quit")) << output;
	EXPECT_NE(std::string::npos, output.find("board did not answer"))
		<< output;
	ASSERT_GE(output.size(), 11u);
	EXPECT_EQ("\n-RDX end-\n", output.substr(output.size() - 11));
	close(board);
}


// Addresses typed into the field that a shell would take as commands. The
// %s is the marker file that a run command would make.
class ShellAddressTest : public PagesTest,
	public ::testing::WithParamInterface<const char*> {
};


TEST_P(ShellAddressTest, NothingRunsForATagATestPulseOrThePages)
{
	// Short, so that the address fits the 63 characters of the setting.
	TempDir markers("rsh");
	std::string marker = markers.Sub("m");
	char address[128];
	StartBoard();
	snprintf(address, sizeof(address), GetParam(), fBoard->Port(),
		marker.c_str());
	ASSERT_LT(strlen(address), 64u);

	mkdir(ConfigHome().c_str(), 0700);
	InstallBrowser(true);
	Start(Settings(true, 1, 1));
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
	Enter(kAddressField, address);
	ASSERT_TRUE(WaitForStored("rdx_ip", seed::Text(address)));

	// A tag (the saved address), a test pulse (the field's text), the two
	// pages (the saved address again).
	ASSERT_EQ(0, Send({"RFID", "_tagstr=04A1B2C3"}));
	Click(RadioPoint(1));
	ASSERT_TRUE(WaitForStored("TagsUseDoor", seed::Int32(2)));
	Click(kBrowserButton);
	Click(kOwnerButton);
	// The browser gets the address as one argument, unchanged.
	std::string page = std::string("http://") + address;
	EXPECT_EQ(page + "\n" + page + "/owner.htm\n", WaitForArguments(2));
	// The requests themselves were made (and failed) by then or soon after.
	EXPECT_TRUE(WaitForCount("ausschalten, da es nicht antwortet", 2, 20))
		<< "both requests ran wget";
	EXPECT_FALSE(Exists(marker)) << "the shell ran a command from the address";
	EXPECT_EQ(0, CloseAndWait());
	EXPECT_FALSE(Exists(marker));
	EXPECT_EQ(2u, fBoard->Requests().size()) << "only the start-up pulse";
}


INSTANTIATE_TEST_SUITE_P(, ShellAddressTest, ::testing::Values(
		"127.0.0.1:%d;touch %s",
		"127.0.0.1:%d$(touch %s)",
		"127.0.0.1:%d`touch %s`",
		"127.0.0.1:%d';touch %s;'"),
	[](const ::testing::TestParamInfo<const char*>& info) {
		return std::string(kShellCaseNames[info.index]);
	});

}	// namespace
