#include <CheckBox.h>

#include "Toolkit.h"

#include <FL/Fl_Check_Button.H>

using namespace BPrivate;


BCheckBox::BCheckBox(BRect frame, const char* name, const char* label,
	BMessage* message, uint32 resizingMode, uint32 flags)
	:
	BControl(frame, name, label, message, resizingMode, flags,
		NewWidget<Fl_Check_Button>(0, 0, 1, 1), nullptr)
{
	ToolkitLocker locker;
	Fl_Check_Button* box = static_cast<Fl_Check_Button*>(Widget());
	box->box(FL_FLAT_BOX);
	box->when(FL_WHEN_CHANGED);
	box->callback(_Clicked, this);
}


BCheckBox::~BCheckBox()
{
}


void
BCheckBox::SetValue(int32 value)
{
	ToolkitLocker locker;
	value = value != 0 ? 1 : 0;
	BControl::SetValue(value);
	static_cast<Fl_Check_Button*>(Widget())->value(value);
}


void
BCheckBox::_Clicked(Fl_Widget* widget, void* data)
{
	BCheckBox* self = static_cast<BCheckBox*>(data);
	self->SetValueNoUpdate(static_cast<Fl_Check_Button*>(widget)->value());
	self->Invoke();
}
