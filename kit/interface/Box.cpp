#include <Box.h>

#include "Toolkit.h"

#include <FL/fl_draw.H>

using namespace BPrivate;

namespace BPrivate {

// A group that paints a border with the box's label set into its top edge.
class BoxWidget : public Fl_Group {
public:
	BoxWidget(int x, int y, int width, int height)
		:
		Fl_Group(x, y, width, height)
	{
	}

	void SetBoxLabel(const std::string& label) { fLabel = label; }
	void SetBorder(border_style border) { fBorder = border; }

protected:
	void draw() override
	{
		if ((damage() & ~FL_DAMAGE_CHILD) != 0) {
			fl_rectf(x(), y(), w(), h(), color());
			fl_font(labelfont(), labelsize());
			int top = y();
			if (!fLabel.empty())
				top += fl_height() / 2;
			if (fBorder == B_PLAIN_BORDER) {
				fl_color(fl_darker(color()));
				fl_rect(x(), top, w(), y() + h() - top);
			} else if (fBorder == B_FANCY_BORDER)
				fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), y() + h() - top,
					color());
			if (!fLabel.empty()) {
				int width = (int)fl_width(fLabel.c_str());
				fl_rectf(x() + 6, y(), width + 6, fl_height(), color());
				fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
				fl_draw(fLabel.c_str(), x() + 9, y() + fl_height()
					- fl_descent());
			}
		}
		draw_children();
	}

private:
	std::string		fLabel;
	border_style	fBorder = B_FANCY_BORDER;
};

}	// namespace BPrivate


BBox::BBox(BRect frame, const char* name, uint32 resizingMode, uint32 flags,
	border_style border)
	:
	BView(frame, name, resizingMode, flags, NewWidget<BoxWidget>(0, 0, 1, 1),
		nullptr),
	fBorder(border)
{
	ToolkitLocker locker;
	// The widget is the group the children go into.
	SetContainer(static_cast<Fl_Group*>(Widget()));
	static_cast<BoxWidget*>(Widget())->SetBorder(border);
}


BBox::~BBox()
{
}


void
BBox::SetLabel(const char* label)
{
	ToolkitLocker locker;
	fLabel = label != nullptr ? label : "";
	static_cast<BoxWidget*>(Widget())->SetBoxLabel(fLabel);
	Widget()->redraw();
}


const char*
BBox::Label() const
{
	return fLabel.empty() ? nullptr : fLabel.c_str();
}


void
BBox::SetBorder(border_style border)
{
	ToolkitLocker locker;
	fBorder = border;
	static_cast<BoxWidget*>(Widget())->SetBorder(border);
	Widget()->redraw();
}
