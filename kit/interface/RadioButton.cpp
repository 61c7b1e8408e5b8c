#include <RadioButton.h>

#include "Toolkit.h"

#include <FL/Fl_Round_Button.H>

using namespace BPrivate;


BRadioButton::BRadioButton(BRect frame, const char* name, const char* label,
	BMessage* message, uint32 resizingMode, uint32 flags)
	:
	BControl(frame, name, label, message, resizingMode, flags,
		NewWidget<Fl_Round_Button>(0, 0, 1, 1), nullptr)
{
	ToolkitLocker locker;
	Fl_Round_Button* button = static_cast<Fl_Round_Button*>(Widget());
	// A flat box, so that the view colour fills the whole button.
	button->box(FL_FLAT_BOX);
	// The toolkit's radio behaviour acts on its own group; the siblings are
	// cleared here instead, so that the controls' values stay right.
	button->type(FL_TOGGLE_BUTTON);
	button->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
	button->callback(_Clicked, this);
	ApplyViewColor(EffectiveViewColor());
}


BRadioButton::~BRadioButton()
{
}


void
BRadioButton::SetValue(int32 value)
{
	ToolkitLocker locker;
	value = value != 0 ? 1 : 0;
	BControl::SetValue(value);
	static_cast<Fl_Round_Button*>(Widget())->value(value);
	if (value != 0)
		_ClearSiblings();
}


void
BRadioButton::_ClearSiblings()
{
	BView* parent = Parent();
	if (parent == nullptr)
		return;
	for (int32 i = 0; BView* sibling = parent->ChildAt(i); i++) {
		BRadioButton* radio = dynamic_cast<BRadioButton*>(sibling);
		if (radio == nullptr || radio == this || radio->Value() == 0)
			continue;
		radio->BControl::SetValue(0);
		static_cast<Fl_Round_Button*>(radio->Widget())->value(0);
	}
}


void
BRadioButton::_Clicked(Fl_Widget* widget, void* data)
{
	// A release outside the button chooses nothing.
	if (Fl::event() == FL_RELEASE && !Fl::event_inside(widget)) {
		static_cast<Fl_Round_Button*>(widget)->value(
			static_cast<BRadioButton*>(data)->Value());
		return;
	}
	BRadioButton* self = static_cast<BRadioButton*>(data);
	// A click on the chosen button leaves it chosen, and is sent again.
	static_cast<Fl_Round_Button*>(widget)->value(1);
	self->SetValueNoUpdate(1);
	self->_ClearSiblings();
	self->Invoke();
}
