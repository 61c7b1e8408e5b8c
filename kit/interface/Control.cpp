#include <Control.h>

#include <Window.h>

#include "Toolkit.h"

using namespace BPrivate;


BControl::BControl(BRect frame, const char* name, const char* label,
	BMessage* message, uint32 resizingMode, uint32 flags)
	:
	BView(frame, name, resizingMode, flags),
	BInvoker(message, nullptr, nullptr),
	fLabel(label != nullptr ? label : "")
{
}


BControl::BControl(BRect frame, const char* name, const char* label,
	BMessage* message, uint32 resizingMode, uint32 flags, Fl_Widget* widget,
	Fl_Group* container)
	:
	BView(frame, name, resizingMode, flags, widget, container),
	BInvoker(message, nullptr, nullptr),
	fLabel(label != nullptr ? label : "")
{
	ToolkitLocker locker;
	Widget()->copy_label(fLabel.c_str());
}


BControl::~BControl()
{
}


void
BControl::SetLabel(const char* label)
{
	ToolkitLocker locker;
	fLabel = label != nullptr ? label : "";
	Widget()->copy_label(fLabel.c_str());
	Widget()->redraw();
}


void
BControl::SetValue(int32 value)
{
	fValue = value;
}


void
BControl::SetEnabled(bool enabled)
{
	ToolkitLocker locker;
	fEnabled = enabled;
	if (enabled)
		Widget()->activate();
	else
		Widget()->deactivate();
	Widget()->redraw();
}


status_t
BControl::Invoke(BMessage* message)
{
	if (!fEnabled)
		return B_NOT_ALLOWED;
	return BInvoker::Invoke(message);
}


BHandler*
BControl::DefaultTarget() const
{
	return Window();
}
