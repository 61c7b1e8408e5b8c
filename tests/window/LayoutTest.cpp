// The window as it is built: frames, measured widths, the view tree, the
// controls filled from the settings and the labels in another language.
// Board use is off in these cases: they make no requests.

#include "WindowTestSupport.h"

#include <Box.h>
#include <Button.h>
#include <CheckBox.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>

#include <ostream>

void
PrintTo(const BRect& rect, std::ostream* stream)
{
	*stream << "(" << rect.left << ", " << rect.top << ", " << rect.right
		<< ", " << rect.bottom << ")";
}


namespace {

const char* const kRadioNames[4] = {"rA", "rB", "rC", "rD"};

// Nobody listens at port 1 of loopback; with board use off nothing is sent.
const seed::Values kUseOff = {
	{"rdx_ip", seed::Text("127.0.0.1:1")},
	{"rdx_use", seed::Bool(false)},
};


seed::Values
With(seed::Values values, const std::string& name, const std::string& value)
{
	values.emplace_back(name, value);
	return values;
}


class LayoutTest : public WindowTest {
protected:
	// The frames that do not depend on the window's width.
	void ExpectLeftPlacedViews()
	{
		BCheckBox* use = Find<BCheckBox>("rx_u");
		BStringView* tags = Find<BStringView>("ivD");
		BTextControl* address = Find<BTextControl>("RDX_ip");
		BTextControl* hold = Find<BTextControl>("rxca");
		ASSERT_TRUE(use && tags && address && hold);

		float useWidth = use->StringWidth(use->Label());
		float tagsWidth = tags->StringWidth(tags->Text());
		EXPECT_GT(useWidth, 10);
		EXPECT_GT(tagsWidth, 10);
		EXPECT_EQ(BRect(10, 12, 35 + useWidth, 32), use->Frame());
		EXPECT_EQ(BRect(10, 31, 15 + tagsWidth, 51), tags->Frame());
		EXPECT_FLOAT_EQ(address->StringWidth(address->Label()) + 8,
			address->Divider());
		EXPECT_FLOAT_EQ(hold->StringWidth(hold->Label()) + 8, hold->Divider());

		EXPECT_EQ(BRect(20, 100, 90, 119), Find<BButton>("ldevA")->Frame());
		EXPECT_EQ(BRect(110, 100, 190, 119), Find<BButton>("ldevB")->Frame());
	}
};


TEST_F(LayoutTest, DefaultWindowFramesFollowTheLayout)
{
	Build(kUseOff);
	EXPECT_STREQ("RDX-BeOSApp", fWindow->Title());
	EXPECT_EQ(0x42u, fWindow->Flags());
	EXPECT_EQ(BRect(0, 0, 400, 125), fWindow->Bounds());

	BView* back = Find<BView>("bview");
	ASSERT_NE(nullptr, back);
	EXPECT_EQ(BRect(0, 0, 400, 125), back->Frame());
	EXPECT_FLOAT_EQ(11, back->FontSize());
	EXPECT_EQ((rgb_color{237, 242, 235, 0}), back->ViewColor());

	BBox* box = Find<BBox>("rdx");
	ASSERT_NE(nullptr, box);
	EXPECT_STREQ("Tessaron", box->Label());
	EXPECT_EQ(BRect(10, 5, 390, 95), box->Frame());
	EXPECT_EQ(back, box->Parent());

	EXPECT_EQ(BRect(234, 55, 373, 77), Find<BButton>("rx_o")->Frame());
	EXPECT_EQ(BRect(10, 57, 215, 77), Find<BTextControl>("RDX_ip")->Frame());
	EXPECT_EQ(BRect(150, 12, 370, 37), Find<BTextControl>("rxca")->Frame());
	const BRect radios[4] = {
		BRect(234, 33, 265, 53), BRect(269, 33, 300, 53),
		BRect(304, 33, 335, 53), BRect(339, 33, 371, 53),
	};
	for (int i = 0; i < 4; i++) {
		BRadioButton* radio = Find<BRadioButton>(kRadioNames[i]);
		ASSERT_NE(nullptr, radio);
		EXPECT_EQ(radios[i], radio->Frame()) << kRadioNames[i];
		EXPECT_EQ(box, radio->Parent());
		EXPECT_EQ(std::string(1, '1' + i) + " ", radio->Label());
	}
	ExpectLeftPlacedViews();

	// The English labels, the one of the hold time with its blank.
	EXPECT_STREQ("Use RDX", Find<BCheckBox>("rx_u")->Label());
	EXPECT_STREQ("Tags use Relay:", Find<BStringView>("ivD")->Text());
	EXPECT_STREQ("Relay close after: ", Find<BTextControl>("rxca")->Label());
	EXPECT_STREQ("open all relay", Find<BButton>("rx_o")->Label());
	EXPECT_STREQ("IP:", Find<BTextControl>("RDX_ip")->Label());
	EXPECT_STREQ("Browser", Find<BButton>("ldevA")->Label());
	EXPECT_STREQ("Owner", Find<BButton>("ldevB")->Label());
}


TEST_F(LayoutTest, ChildrenAreInTheOrderOfTheLayout)
{
	Build(kUseOff);
	ASSERT_EQ(1, fWindow->CountChildren());
	BView* back = fWindow->ChildAt(0);
	EXPECT_EQ(Find<BView>("bview"), back);

	const char* const backOrder[] = {"rdx", "ldevA", "ldevB"};
	ASSERT_EQ(3, back->CountChildren());
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(Find<BView>(backOrder[i]), back->ChildAt(i)) << i;

	// Also the order in which the keyboard focus moves.
	const char* const boxOrder[] = {"ivD", "rA", "rB", "rC", "rD", "rxca",
		"RDX_ip", "rx_u", "rx_o"};
	BView* box = Find<BView>("rdx");
	ASSERT_EQ(9, box->CountChildren());
	for (int i = 0; i < 9; i++)
		EXPECT_EQ(Find<BView>(boxOrder[i]), box->ChildAt(i)) << boxOrder[i];
}


TEST_F(LayoutTest, WiderWindowMovesOnlyWhatIsPlacedFromTheRight)
{
	Build(kUseOff, BRect(30, 50, 530, 175));
	EXPECT_EQ(BRect(0, 0, 500, 125), fWindow->Bounds());
	EXPECT_EQ(BRect(10, 5, 490, 95), Find<BBox>("rdx")->Frame());

	// 100 further right: the button, the radio row, the right edges of the
	// two text controls.
	EXPECT_EQ(BRect(334, 55, 473, 77), Find<BButton>("rx_o")->Frame());
	for (int i = 0; i < 4; i++) {
		float left = 334 + 35 * i;
		EXPECT_EQ(BRect(left, 33, left + (i == 3 ? 32 : 31), 53),
			Find<BRadioButton>(kRadioNames[i])->Frame()) << kRadioNames[i];
	}
	EXPECT_EQ(BRect(10, 57, 315, 77), Find<BTextControl>("RDX_ip")->Frame());
	EXPECT_EQ(BRect(150, 12, 470, 37), Find<BTextControl>("rxca")->Frame());
	// The rest stays where it was.
	ExpectLeftPlacedViews();
}


TEST_F(LayoutTest, WindowSitsAtTheStoredCornerWithItsOwnSize)
{
	// A stored frame of another size: only its corner counts.
	Build(With(kUseOff, "prefs_window_rect", seed::Rect(210, 160, 300, 200)));
	EXPECT_EQ(BRect(210, 160, 610, 285), fWindow->Frame());
}


TEST_F(LayoutTest, ControlsAreFilledFromTheSettings)
{
	struct Case {
		int32_t	tagsUseDoor;
		int		selected;
	};
	// Anything but 2, 3 and 4 selects the first button.
	const Case cases[] = {{3, 2}, {2, 1}, {4, 3}, {1, 0}, {0, 0}, {5, 0},
		{-1, 0}};
	for (const Case& test : cases) {
		SCOPED_TRACE("TagsUseDoor " + std::to_string(test.tagsUseDoor));
		Build(With(kUseOff, "TagsUseDoor", seed::Int32(test.tagsUseDoor)));
		for (int i = 0; i < 4; i++) {
			EXPECT_EQ(i == test.selected ? 1 : 0,
				Find<BRadioButton>(kRadioNames[i])->Value()) << i;
		}
		EndWindow();
	}

	// The hold time in its format, whatever the stored number; the
	// address as stored.
	const std::pair<int32_t, const char*> holds[] = {{2, "2 Sec"},
		{0, "0 Sec"}, {11, "11 Sec"}, {-7, "-7 Sec"}};
	for (const auto& [seconds, text] : holds) {
		Build(With(With(kUseOff, "OpenInSecs", seed::Int32(seconds)),
			"rdx_ip", seed::Text("127.0.0.1:65000")));
		EXPECT_STREQ(text, Find<BTextControl>("rxca")->Text());
		EXPECT_STREQ("127.0.0.1:65000", Find<BTextControl>("RDX_ip")->Text());
		EndWindow();
	}
}


TEST_F(LayoutTest, BoardUseOffDisablesOnlyOpenAllAndAddress)
{
	Build(kUseOff);
	EXPECT_EQ(0, Find<BCheckBox>("rx_u")->Value());
	EXPECT_FALSE(Find<BButton>("rx_o")->IsEnabled());
	EXPECT_FALSE(Find<BTextControl>("RDX_ip")->IsEnabled());
	EXPECT_TRUE(Find<BCheckBox>("rx_u")->IsEnabled());
	EXPECT_TRUE(Find<BTextControl>("rxca")->IsEnabled());
	for (const char* name : kRadioNames)
		EXPECT_TRUE(Find<BRadioButton>(name)->IsEnabled()) << name;
	EXPECT_TRUE(Find<BButton>("ldevA")->IsEnabled());
	EXPECT_TRUE(Find<BButton>("ldevB")->IsEnabled());
	EXPECT_EQ(1, fOutput->Count("-- StartUp --\n"));
}


TEST_F(LayoutTest, ChildGermanLabelsAndTheirWidths)
{
	if (!IsChildRun())
		GTEST_SKIP() << "runs in a child process of its own";
	Build(kUseOff);
	BCheckBox* use = Find<BCheckBox>("rx_u");
	BStringView* tags = Find<BStringView>("ivD");
	BTextControl* hold = Find<BTextControl>("rxca");
	BButton* openAll = Find<BButton>("rx_o");
	ASSERT_TRUE(use && tags && hold && openAll);
	EXPECT_STREQ("RDX benutzen", use->Label());
	EXPECT_STREQ("Tags nutzen Relais:", tags->Text());
	EXPECT_STREQ("Relais schlie\xc3\x9f" "en nach: ", hold->Label());
	EXPECT_STREQ("alle Relais \xc3\xb6" "ffnen", openAll->Label());

	// Measured from the German texts, which are longer.
	float useWidth = use->StringWidth("RDX benutzen");
	EXPECT_GT(useWidth, use->StringWidth("Use RDX"));
	EXPECT_EQ(BRect(10, 12, 35 + useWidth, 32), use->Frame());
	float tagsWidth = tags->StringWidth("Tags nutzen Relais:");
	EXPECT_GT(tagsWidth, tags->StringWidth("Tags use Relay:"));
	EXPECT_EQ(BRect(10, 31, 15 + tagsWidth, 51), tags->Frame());
	float holdWidth = hold->StringWidth("Relais schlie\xc3\x9f" "en nach: ");
	EXPECT_GT(holdWidth, hold->StringWidth("Relay close after: "));
	EXPECT_FLOAT_EQ(holdWidth + 8, hold->Divider());
	// The button keeps its size whatever its label.
	EXPECT_EQ(BRect(234, 55, 373, 77), openAll->Frame());
}


// The language is chosen once per process, so the German window is built
// in a child process with LANGUAGE=de (the catalogue comes from the build
// tree, as for any program started there).
TEST(LanguageTest, GermanLabelsAreShownAndMeasured)
{
	EXPECT_TRUE(ChildRun("LayoutTest.ChildGermanLabelsAndTheirWidths",
		{{"LANGUAGE", "de"}, {"LANG", "C.UTF-8"}, {"LC_ALL", ""},
			{"LC_MESSAGES", ""}}));
}

}	// namespace
