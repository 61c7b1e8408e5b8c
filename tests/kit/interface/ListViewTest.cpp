// The column list view, the modification message of a text field and the
// alert, used with real clicks and keys on the test's X server.

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "XTools.h"

#include <cstdlib>

namespace {

const double kWait = 10;


class ListViewTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fDemo = std::make_unique<ChildProcess>(
			std::vector<std::string>{LIST_DEMO});
		fWindow = fTools.FindWindow("ListDemo", kWait);
		ASSERT_NE(0UL, fWindow) << fDemo->Errors();
	}

	// The alert once it is drawn (its toolkit has taken it up); 0 when it
	// did not appear.
	unsigned long ShownAlert(XTools::Geometry* geometry)
	{
		unsigned long alert = fTools.FindWindow("Question", kWait);
		if (alert == 0 || !fTools.WaitUntilViewable(alert, kWait)
			|| !fTools.GetGeometry(alert, geometry))
			return 0;
		std::string png = fHome.Sub("alert.png");
		bool drawn = wait_for([&] {
			Screenshot shot(getenv("DISPLAY"), png);
			return shot.CountColor(geometry->x, geometry->y, geometry->width,
				geometry->height, {216, 216, 216})
				> geometry->width * geometry->height / 2;
		}, kWait);
		return drawn ? alert : 0;
	}

	bool Saw(const std::string& line, int times = 1)
	{
		return wait_for([&] {
			return count_of(fDemo->Output(), line + "\n") >= times;
		}, kWait);
	}

	// The middle of a row (0 the first) in the list at (10, 40).
	void ClickRow(int row, bool twice = false)
	{
		int y = 40 + 22 + row * 20 + 10;
		ASSERT_TRUE(fTools.Click(fWindow, 100, y));
		if (twice) {
			ASSERT_TRUE(fTools.Run({"xdotool", "click", "1"}));
		}
	}

	TempDir			fHome{"rdx-list-demo"};
	XTools			fTools{getenv("DISPLAY") != nullptr ? getenv("DISPLAY")
						: ""};
	std::unique_ptr<ChildProcess> fDemo;
	unsigned long	fWindow = 0;
};


TEST_F(ListViewTest, RowsAreChosenInvokedAndRemovedByMouseAndKeys)
{
	ClickRow(1);
	ASSERT_TRUE(Saw("selected 1")) << fDemo->Output();
	// Arrow keys move the selection; the ends stay the ends.
	for (const char* key : {"Down", "Down", "Down", "Up"})
		ASSERT_TRUE(fTools.Key(fWindow, key));
	ASSERT_TRUE(Saw("selected 2"));
	ASSERT_TRUE(Saw("selected 1", 2)) << fDemo->Output();
	ASSERT_TRUE(fTools.Key(fWindow, "Return"));
	ASSERT_TRUE(Saw("invoked 1"));
	ASSERT_TRUE(fTools.Key(fWindow, "Delete"));
	ASSERT_TRUE(Saw("remove 1"));

	// A second click on the chosen row selects nothing new: it invokes.
	ClickRow(0, true);
	ASSERT_TRUE(Saw("invoked 0")) << fDemo->Output();
	EXPECT_EQ(1, count_of(fDemo->Output(), "selected 0\n"));

	// A column's title asks for sorting by it; the rows are the caller's.
	ASSERT_TRUE(fTools.Click(fWindow, 200, 51));
	ASSERT_TRUE(Saw("sort 1")) << fDemo->Output();
	ASSERT_TRUE(fTools.Click(fWindow, 50, 51));
	ASSERT_TRUE(Saw("sort 0"));
}


TEST_F(ListViewTest, FieldReportsEveryChangeAndAlertAnswersEnterAndEscape)
{
	ASSERT_TRUE(fTools.Click(fWindow, 150, 22));
	ASSERT_TRUE(fTools.Type(fWindow, "ab"));
	ASSERT_TRUE(Saw("modified 'a'"));
	ASSERT_TRUE(Saw("modified 'ab'"));
	ASSERT_TRUE(fTools.Key(fWindow, "BackSpace"));
	ASSERT_TRUE(Saw("modified 'a'", 2)) << fDemo->Output();
	// Keys that change nothing send nothing; a field without a message
	// of its own leaves Enter alone.
	ASSERT_TRUE(fTools.Key(fWindow, "Left"));
	ASSERT_TRUE(fTools.Key(fWindow, "Return"));

	// Enter chooses the default (the last) button, Escape the one given
	// the Escape shortcut.
	ASSERT_TRUE(fTools.Click(fWindow, 340, 22));
	XTools::Geometry geometry;
	unsigned long alert = ShownAlert(&geometry);
	ASSERT_NE(0UL, alert);
	ASSERT_TRUE(fTools.Key(alert, "Return"));
	ASSERT_TRUE(Saw("answer 1")) << fDemo->Output();
	// Gone before the next is asked for, which has the same name.
	ASSERT_TRUE(wait_for([&] { return !fTools.WindowExists(alert); }, kWait));
	ASSERT_TRUE(fTools.Click(fWindow, 340, 22));
	alert = ShownAlert(&geometry);
	ASSERT_NE(0UL, alert);
	ASSERT_TRUE(fTools.Key(alert, "Escape"));
	ASSERT_TRUE(Saw("answer 0")) << fDemo->Output();
	// Closing it from its frame chooses that one too.
	ASSERT_TRUE(wait_for([&] { return !fTools.WindowExists(alert); }, kWait));
	ASSERT_TRUE(fTools.Click(fWindow, 340, 22));
	alert = ShownAlert(&geometry);
	ASSERT_NE(0UL, alert);
	ASSERT_TRUE(fTools.Close(alert));
	ASSERT_TRUE(Saw("answer 0", 2)) << fDemo->Output();
	EXPECT_EQ(2, count_of(fDemo->Output(), "modified 'a'\n"));
	EXPECT_EQ(3, count_of(fDemo->Output(), "answer "));
}

}	// namespace
