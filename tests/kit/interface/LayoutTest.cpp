// The interface kit in-process: frames, the view tree, resizing modes, text
// measuring, control messages and the locale lookup. Windows are built on the
// test's X server but not shown.

#include <gtest/gtest.h>

#include <Box.h>
#include <Button.h>
#include <CheckBox.h>
#include <Locale.h>
#include <Message.h>
#include <MessageQueue.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>
#include <Window.h>

#include <FL/Fl_Input.H>
#include <FL/Fl_Widget.H>

#include <cstring>

namespace {

// A window whose queue the test can look into, since it never runs.
class ProbeWindow : public BWindow {
public:
	ProbeWindow(BRect frame = BRect(30, 50, 430, 175))
		:
		BWindow(frame, "Probe", B_TITLED_WINDOW, B_NOT_RESIZABLE,
			B_CURRENT_WORKSPACE)
	{
	}

	size_t Pending() const { return Queue()->Count(); }

	// The code of the oldest queued message; 0 for none.
	uint32 NextCode()
	{
		auto entries = Queue()->TakeAll();
		if (entries.empty())
			return 0;
		return entries.front().message->what;
	}
};

// A view whose widget the test can measure.
class ProbeView : public BView {
public:
	ProbeView(BRect frame, const char* name, uint32 mode)
		:
		BView(frame, name, mode, B_WILL_DRAW)
	{
	}

	BRect WidgetRect() const
	{
		Fl_Widget* widget = Widget();
		return BRect(widget->x(), widget->y(), widget->x() + widget->w(),
			widget->y() + widget->h());
	}
};


class LayoutTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fWindow = new ProbeWindow();
	}

	void TearDown() override
	{
		// A window that never ran is deleted at once.
		fWindow->Quit();
	}

	ProbeWindow* fWindow = nullptr;
};


TEST(RectTest, WidthIsTheDistanceOfTheEdges)
{
	BRect rect(30, 50, 430, 175);
	EXPECT_FLOAT_EQ(400, rect.Width());
	EXPECT_FLOAT_EQ(125, rect.Height());
	EXPECT_TRUE(rect.IsValid());
	EXPECT_FALSE(BRect().IsValid());

	rect.OffsetTo(0, 0);
	EXPECT_EQ(BRect(0, 0, 400, 125), rect);
	rect.OffsetBy(5, -5);
	EXPECT_EQ(BRect(5, -5, 405, 120), rect);
	rect.InsetBy(5, 5);
	EXPECT_EQ(BRect(10, 0, 400, 115), rect);

	// Pixels from left up to, not including, right.
	EXPECT_TRUE(rect.Contains(BPoint(10, 0)));
	EXPECT_FALSE(rect.Contains(BPoint(400, 50)));
	EXPECT_TRUE(rect.Intersects(BRect(399, 114, 500, 500)));
	EXPECT_FALSE(rect.Intersects(BRect(400, 0, 500, 500)));
}


TEST(RectTest, LayoutIsFourFloatsLeftTopRightBottom)
{
	BRect rect(1, 2, 3, 4);
	float values[4];
	static_assert(sizeof(BRect) == sizeof(values));
	memcpy(values, &rect, sizeof(values));
	EXPECT_FLOAT_EQ(1, values[0]);
	EXPECT_FLOAT_EQ(2, values[1]);
	EXPECT_FLOAT_EQ(3, values[2]);
	EXPECT_FLOAT_EQ(4, values[3]);
}


TEST_F(LayoutTest, WindowFrameAndBounds)
{
	EXPECT_EQ(BRect(30, 50, 430, 175), fWindow->Frame());
	EXPECT_EQ(BRect(0, 0, 400, 125), fWindow->Bounds());
	EXPECT_STREQ("Probe", fWindow->Title());
	EXPECT_EQ(nullptr, fWindow->Parent());

	fWindow->MoveTo(100, 80);
	EXPECT_EQ(BRect(100, 80, 500, 205), fWindow->Frame());
	EXPECT_EQ(BRect(0, 0, 400, 125), fWindow->Bounds());

	EXPECT_EQ(B_OK, fWindow->SetFlags(B_NOT_RESIZABLE | B_NOT_ZOOMABLE));
	EXPECT_EQ(0x42u, fWindow->Flags());
}


TEST_F(LayoutTest, ViewTreeKeepsOrderAndOwners)
{
	BView* back = new BView(fWindow->Bounds(), "bview", B_FOLLOW_ALL,
		B_WILL_DRAW);
	fWindow->AddChild(back);
	BBox* box = new BBox(BRect(10, 5, 390, 95), "rdx",
		B_FOLLOW_LEFT | B_FOLLOW_TOP,
		B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS, B_PLAIN_BORDER);
	box->SetLabel("Tessaron");
	BStringView* label = new BStringView(BRect(10, 31, 100, 51), "ivD",
		"Tags", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
	BButton* button = new BButton(BRect(234, 55, 373, 77), "rx_o", "open",
		new BMessage('rx_o'), B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	// Children of a box that is not in a window yet.
	box->AddChild(label);
	box->AddChild(button);
	EXPECT_EQ(nullptr, label->Window());
	back->AddChild(box);

	EXPECT_EQ(1, fWindow->CountChildren());
	EXPECT_EQ(back, fWindow->ChildAt(0));
	EXPECT_EQ(2, box->CountChildren());
	EXPECT_EQ(label, box->ChildAt(0));
	EXPECT_EQ(button, box->ChildAt(1));
	EXPECT_EQ(nullptr, box->ChildAt(2));
	EXPECT_EQ(box, button->Parent());
	EXPECT_EQ(fWindow, button->Window());
	EXPECT_EQ(fWindow, button->Looper());
	EXPECT_EQ(button, fWindow->FindView("rx_o"));
	EXPECT_EQ(nullptr, fWindow->FindView("nothing"));
	EXPECT_STREQ("Tessaron", box->Label());
	EXPECT_STREQ("Tags", label->Text());

	EXPECT_TRUE(box->RemoveChild(label));
	EXPECT_EQ(nullptr, label->Window());
	EXPECT_EQ(nullptr, label->Parent());
	EXPECT_EQ(nullptr, label->Looper());
	EXPECT_EQ(1, box->CountChildren());
	delete label;
}


TEST_F(LayoutTest, ResizeToAndMoveToKeepTheOtherCorner)
{
	BView* back = new BView(fWindow->Bounds(), "back", B_FOLLOW_ALL, 0);
	fWindow->AddChild(back);
	ProbeView* view = new ProbeView(BRect(10, 12, 110, 32), "view",
		B_FOLLOW_LEFT | B_FOLLOW_TOP);
	BView* box = new BView(BRect(10, 5, 390, 95), "box", B_FOLLOW_NONE, 0);
	box->AddChild(view);
	back->AddChild(box);

	view->ResizeTo(31, 20);
	EXPECT_EQ(BRect(10, 12, 41, 32), view->Frame());
	EXPECT_EQ(BRect(0, 0, 31, 20), view->Bounds());
	view->MoveTo(234, 33);
	EXPECT_EQ(BRect(234, 33, 265, 53), view->Frame());
	// The widget sits in window coordinates: the box adds 10, 5.
	EXPECT_EQ(BRect(244, 38, 275, 58), view->WidgetRect());

	// Moving the parent carries the child's widget along.
	box->MoveTo(20, 10);
	EXPECT_EQ(BRect(234, 33, 265, 53), view->Frame());
	EXPECT_EQ(BRect(254, 43, 285, 63), view->WidgetRect());
}


TEST_F(LayoutTest, ChildrenFollowTheirParentsSizeByResizingMode)
{
	ProbeView* back = new ProbeView(BRect(0, 0, 400, 125), "back",
		B_FOLLOW_ALL);
	fWindow->AddChild(back);
	BView* fixed = new BView(BRect(10, 12, 60, 32), "fixed",
		B_FOLLOW_LEFT | B_FOLLOW_TOP, 0);
	BView* top = new BView(BRect(10, 12, 60, 32), "top", B_FOLLOW_TOP, 0);
	BView* stretch = new BView(BRect(10, 57, 215, 77), "stretch",
		B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM, 0);
	BView* right = new BView(BRect(300, 10, 380, 30), "right",
		B_FOLLOW_RIGHT | B_FOLLOW_TOP, 0);
	BView* centre = new BView(BRect(100, 10, 200, 30), "centre",
		B_FOLLOW_H_CENTER | B_FOLLOW_V_CENTER, 0);
	BView* all = new BView(BRect(10, 10, 390, 115), "all", B_FOLLOW_ALL, 0);
	BView* inner = new BView(BRect(200, 10, 370, 30), "inner",
		B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP, 0);
	all->AddChild(inner);
	for (BView* view : {fixed, top, stretch, right, centre, all})
		back->AddChild(view);

	fWindow->ResizeTo(500, 165);
	EXPECT_EQ(BRect(0, 0, 500, 165), fWindow->Bounds());
	EXPECT_EQ(BRect(0, 0, 500, 165), back->Frame());
	EXPECT_EQ(BRect(0, 0, 500, 165), back->WidgetRect());
	EXPECT_EQ(BRect(10, 12, 60, 32), fixed->Frame());
	EXPECT_EQ(BRect(10, 12, 60, 32), top->Frame());
	EXPECT_EQ(BRect(10, 97, 315, 117), stretch->Frame());
	EXPECT_EQ(BRect(400, 10, 480, 30), right->Frame());
	EXPECT_EQ(BRect(150, 30, 250, 50), centre->Frame());
	EXPECT_EQ(BRect(10, 10, 490, 155), all->Frame());
	// A grandchild follows its own parent's growth.
	EXPECT_EQ(BRect(200, 10, 470, 30), inner->Frame());

	// And back again.
	fWindow->ResizeTo(400, 125);
	EXPECT_EQ(BRect(10, 57, 215, 77), stretch->Frame());
	EXPECT_EQ(BRect(200, 10, 370, 30), inner->Frame());
}


TEST_F(LayoutTest, ResizingAViewMovesItsChildren)
{
	BView* box = new BView(BRect(10, 5, 390, 95), "box", B_FOLLOW_NONE, 0);
	BView* follower = new BView(BRect(234, 55, 373, 77), "follower",
		B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM, 0);
	BView* stayer = new BView(BRect(10, 12, 40, 32), "stayer",
		B_FOLLOW_LEFT | B_FOLLOW_TOP, 0);
	box->AddChild(follower);
	box->AddChild(stayer);
	fWindow->AddChild(box);

	box->ResizeTo(480, 100);
	EXPECT_EQ(BRect(10, 5, 490, 105), box->Frame());
	EXPECT_EQ(BRect(334, 65, 473, 87), follower->Frame());
	EXPECT_EQ(BRect(10, 12, 40, 32), stayer->Frame());
}


TEST_F(LayoutTest, StringWidthGrowsWithTextAndFontSize)
{
	BView* view = new BView(BRect(0, 0, 100, 20), "view", B_FOLLOW_NONE, 0);
	fWindow->AddChild(view);
	float empty = view->StringWidth("");
	float short_ = view->StringWidth("IP:");
	float label = view->StringWidth("Relay close after:");
	float withBlank = view->StringWidth("Relay close after: ");
	EXPECT_FLOAT_EQ(0, empty);
	EXPECT_GT(short_, 0);
	EXPECT_GT(label, short_);
	// The trailing blank counts.
	EXPECT_GT(withBlank, label);

	view->SetFontSize(24);
	EXPECT_FLOAT_EQ(24, view->FontSize());
	EXPECT_GT(view->StringWidth("Relay close after: "), withBlank * 1.5);
	EXPECT_FLOAT_EQ(0, view->StringWidth(nullptr));
}


TEST_F(LayoutTest, ViewColourIsOwnOrTheParents)
{
	BView* back = new BView(fWindow->Bounds(), "back", B_FOLLOW_ALL, 0);
	BView* child = new BView(BRect(0, 0, 10, 10), "child", B_FOLLOW_NONE, 0);
	back->AddChild(child);
	fWindow->AddChild(back);

	rgb_color background = {237, 242, 235, 0};
	back->SetViewColor(background);
	EXPECT_EQ(background, back->ViewColor());
	EXPECT_EQ(background, child->ViewColor());

	rgb_color green = {105, 220, 105, 0};
	child->SetViewColor(green);
	EXPECT_EQ(green, child->ViewColor());
	EXPECT_EQ(background, back->ViewColor());
}


TEST_F(LayoutTest, ControlsSendOnlyWhenInvoked)
{
	BView* back = new BView(fWindow->Bounds(), "back", B_FOLLOW_ALL, 0);
	fWindow->AddChild(back);
	BCheckBox* check = new BCheckBox(BRect(10, 12, 100, 32), "rx_u",
		"Use RDX", new BMessage('rx_u'));
	BRadioButton* radio = new BRadioButton(BRect(10, 40, 40, 60), "rA", "1 ",
		new BMessage('rx_1'));
	BTextControl* text = new BTextControl(BRect(10, 60, 200, 80), "rxca",
		"Relay close after: ", "2", new BMessage('rxca'));
	back->AddChild(check);
	back->AddChild(radio);
	back->AddChild(text);

	check->SetValue(1);
	radio->SetValue(1);
	text->SetText("2 Sec");
	check->SetEnabled(false);
	check->SetEnabled(true);
	text->MakeFocus(false);
	EXPECT_EQ(0u, fWindow->Pending());
	EXPECT_EQ(1, check->Value());
	EXPECT_STREQ("2 Sec", text->Text());

	// The default target is the window; so is a target of no handler and
	// no looper (a top-level window's parent).
	EXPECT_EQ(B_OK, check->Invoke());
	EXPECT_EQ('rx_u', fWindow->NextCode());
	text->SetTarget(fWindow->Parent(), nullptr);
	EXPECT_EQ(B_OK, text->Invoke());
	EXPECT_EQ('rxca', fWindow->NextCode());
	radio->SetTarget(fWindow, nullptr);
	EXPECT_EQ(B_OK, radio->Invoke());
	EXPECT_EQ('rx_1', fWindow->NextCode());

	// A disabled control sends nothing.
	check->SetEnabled(false);
	EXPECT_FALSE(check->IsEnabled());
	EXPECT_NE(B_OK, check->Invoke());
	EXPECT_EQ(0u, fWindow->Pending());
	// The control keeps its own message.
	ASSERT_NE(nullptr, check->Message());
	EXPECT_EQ('rx_u', check->Message()->what);
}


TEST_F(LayoutTest, RadioButtonsAreExclusivePerParent)
{
	BView* row = new BView(BRect(0, 0, 200, 30), "row", B_FOLLOW_NONE, 0);
	BView* other = new BView(BRect(0, 40, 200, 70), "other", B_FOLLOW_NONE,
		0);
	fWindow->AddChild(row);
	fWindow->AddChild(other);
	BRadioButton* buttons[3];
	for (int i = 0; i < 3; i++) {
		buttons[i] = new BRadioButton(BRect(35 * i, 0, 35 * i + 31, 20),
			"r", "x", new BMessage('rx_1' + i));
		row->AddChild(buttons[i]);
	}
	BRadioButton* elsewhere = new BRadioButton(BRect(0, 0, 31, 20), "e", "e",
		new BMessage('else'));
	other->AddChild(elsewhere);

	elsewhere->SetValue(1);
	buttons[2]->SetValue(1);
	buttons[0]->SetValue(1);
	EXPECT_EQ(1, buttons[0]->Value());
	EXPECT_EQ(0, buttons[1]->Value());
	EXPECT_EQ(0, buttons[2]->Value());
	// Another parent is another group.
	EXPECT_EQ(1, elsewhere->Value());
	buttons[0]->SetValue(0);
	EXPECT_EQ(0, buttons[0]->Value());
	EXPECT_EQ(0u, fWindow->Pending());
}


TEST_F(LayoutTest, TextControlDividerPlacesTheField)
{
	BTextControl* text = new BTextControl(BRect(10, 57, 215, 77), "RDX_ip",
		"IP:", "127.0.0.1", new BMessage('rx_i'),
		B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	fWindow->AddChild(text);
	float divider = text->StringWidth(text->Label()) + 8;
	text->SetDivider(divider);
	EXPECT_FLOAT_EQ(divider, text->Divider());
	Fl_Input* field = text->TextView();
	EXPECT_EQ(10 + (int)(divider + 0.5f), field->x());
	EXPECT_EQ(215, field->x() + field->w());
	EXPECT_STREQ("127.0.0.1", text->Text());
	EXPECT_STREQ("IP:", text->Label());
}


TEST(LocaleTest, UntranslatedKeysComeBackThemselves)
{
	ASSERT_NE(nullptr, be_locale);
	const char* key = "no translation for this one";
	EXPECT_EQ(key, be_locale->GetString(key));
	EXPECT_STREQ("", be_locale->GetString(nullptr));
	EXPECT_STREQ("", be_locale->GetString(""));
	Z::Locale::BLocale* locale = Z::Locale::be_locale;
	EXPECT_EQ(be_locale, locale);
	// A test program in the build tree reads the catalogues built there.
	EXPECT_STREQ(RDX_BINARY_DIR "/locale", be_locale->CatalogueDirectory());
}

}	// namespace
