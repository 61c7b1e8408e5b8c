#include <StringView.h>

#include "Toolkit.h"

#include <FL/Fl_Box.H>

using namespace BPrivate;

namespace {

// The text as it is: the toolkit would take "@" for the start of a symbol.
std::string
literal(const std::string& text)
{
	std::string shown;
	for (char c : text) {
		shown += c;
		if (c == '@')
			shown += '@';
	}
	return shown;
}

}	// namespace


BStringView::BStringView(BRect frame, const char* name, const char* text,
	uint32 resizingMode, uint32 flags)
	:
	BView(frame, name, resizingMode, flags, NewWidget<Fl_Box>(0, 0, 1, 1),
		nullptr),
	fText(text != nullptr ? text : "")
{
	ToolkitLocker locker;
	Widget()->box(FL_FLAT_BOX);
	Widget()->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
	Widget()->copy_label(literal(fText).c_str());
}


BStringView::~BStringView()
{
}


void
BStringView::SetText(const char* text)
{
	ToolkitLocker locker;
	fText = text != nullptr ? text : "";
	Widget()->copy_label(literal(fText).c_str());
	Widget()->redraw();
}
