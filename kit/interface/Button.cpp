#include <Button.h>

#include "Toolkit.h"

#include <FL/Fl_Button.H>

using namespace BPrivate;


BButton::BButton(BRect frame, const char* name, const char* label,
	BMessage* message, uint32 resizingMode, uint32 flags)
	:
	BControl(frame, name, label, message, resizingMode, flags,
		NewWidget<Fl_Button>(0, 0, 1, 1), nullptr)
{
	ToolkitLocker locker;
	Fl_Button* button = static_cast<Fl_Button*>(Widget());
	// A push button keeps the face of a button, whatever the view colour.
	button->color(FL_BACKGROUND_COLOR);
	button->when(FL_WHEN_RELEASE);
	button->callback(_Clicked, this);
}


BButton::~BButton()
{
}


void
BButton::MakeDefault(bool flag)
{
	ToolkitLocker locker;
	fDefault = flag;
	Fl_Button* button = static_cast<Fl_Button*>(Widget());
	button->shortcut(flag ? FL_Enter : 0);
	// A bold label marks the button that Enter presses.
	button->labelfont(flag ? FL_HELVETICA_BOLD : kDefaultFont);
	button->redraw();
}


void
BButton::SetShortcutKey(uint32 key)
{
	ToolkitLocker locker;
	int shortcut = 0;
	switch (key) {
		case B_ESCAPE: shortcut = FL_Escape; break;
		case B_ENTER: shortcut = FL_Enter; break;
		case B_DELETE: shortcut = FL_Delete; break;
		default: shortcut = (int)key; break;
	}
	static_cast<Fl_Button*>(Widget())->shortcut(shortcut);
}


void
BButton::ApplyViewColor(rgb_color color)
{
}


void
BButton::_Clicked(Fl_Widget* widget, void* data)
{
	static_cast<BButton*>(data)->Invoke();
}
