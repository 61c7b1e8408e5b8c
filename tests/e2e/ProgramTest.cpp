// The program as a whole: its begin and end, where its window appears, what
// it looks like, the start-up request, messages it does not know, keys.

#include "E2ETest.h"

#include <csignal>

namespace {

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
	ASSERT_TRUE(fTools.Move(fWindow, 300, 210));
	ASSERT_TRUE(wait_for([&] {
		XTools::Geometry geometry;
		return fTools.GetGeometry(fWindow, &geometry) && geometry.x == 300
			&& geometry.y == 210;
	}, 10));
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

}	// namespace
