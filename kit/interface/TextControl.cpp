#include <TextControl.h>

#include "Toolkit.h"

#include <FL/Fl_Input.H>

#include <Message.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace BPrivate;

namespace BPrivate {

// The text field. It sends the control's message itself: on Enter, and
// when the focus leaves it after an edit by the operator.
class TextInput : public Fl_Input {
public:
	TextInput(int x, int y, int width, int height)
		:
		Fl_Input(x, y, width, height)
	{
		when(FL_WHEN_NEVER);
	}

	void SetOwner(BTextControl* owner) { fOwner = owner; }

	int handle(int event) override
	{
		if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter
				|| Fl::event_key() == FL_KP_Enter)) {
			// A field without a message of its own leaves Enter to the
			// window's default button.
			if (fOwner == nullptr || fOwner->Message() == nullptr)
				return 0;
			clear_changed();
			fOwner->_Edited();
			return 1;
		}
		// Any change of the text by the operator: typed, deleted, pasted.
		std::string before = value();
		int result = Fl_Input::handle(event);
		if (fOwner != nullptr && before != value())
			fOwner->_Modified();
		if (event == FL_UNFOCUS && changed()) {
			clear_changed();
			if (fOwner != nullptr)
				fOwner->_Edited();
		}
		return result;
	}

private:
	BTextControl* fOwner = nullptr;
};

}	// namespace BPrivate


BTextControl::BTextControl(BRect frame, const char* name, const char* label,
	const char* text, BMessage* message, uint32 resizingMode, uint32 flags)
	:
	BControl(frame, name, label, message, resizingMode, flags,
		NewWidget<Fl_Group>(0, 0, 1, 1), nullptr),
	fInput(nullptr),
	fDivider(0)
{
	ToolkitLocker locker;
	Fl_Group* group = static_cast<Fl_Group*>(Widget());
	group->box(FL_FLAT_BOX);
	group->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
	group->resizable(nullptr);

	fInput = NewWidget<TextInput>(0, 0, 1, 1);
	fInput->SetOwner(this);
	fInput->textfont(kDefaultFont);
	fInput->textsize(Pixel(FontSize()));
	fInput->value(text != nullptr ? text : "");
	fInput->clear_changed();
	group->add(fInput);

	// Without a label the field takes the whole control.
	if (label != nullptr && label[0] != '\0')
		fDivider = StringWidth(label) + 8;
	LayoutWidget();
}


BTextControl::~BTextControl()
{
}


void
BTextControl::SetText(const char* text)
{
	ToolkitLocker locker;
	fInput->value(text != nullptr ? text : "");
	// Text from the program is no edit of the operator's.
	fInput->clear_changed();
	fInput->redraw();
}


const char*
BTextControl::Text() const
{
	ToolkitLocker locker;
	// Valid until the text changes, as the platform's is.
	return fInput->value();
}


void
BTextControl::HideTyping(bool enabled)
{
	ToolkitLocker locker;
	fInput->input_type(enabled ? FL_SECRET_INPUT : FL_NORMAL_INPUT);
	fInput->redraw();
}


bool
BTextControl::IsTypingHidden() const
{
	ToolkitLocker locker;
	return fInput->input_type() == FL_SECRET_INPUT;
}


void
BTextControl::WipeText()
{
	ToolkitLocker locker;
	// The field keeps its text in a buffer of its own (SetText copies too):
	// written over in place before it is emptied. Deleting the text through
	// the field would copy it into its undo buffer first.
	int length = fInput->size();
	if (length > 0)
		explicit_bzero(const_cast<char*>(fInput->value()), (size_t)length);
	fInput->value("");
	fInput->clear_changed();
	fInput->redraw();
}


void
BTextControl::SetDivider(float position)
{
	ToolkitLocker locker;
	fDivider = position < 0 ? 0 : position;
	LayoutWidget();
	Widget()->redraw();
}


Fl_Input*
BTextControl::TextView() const
{
	return fInput;
}


void
BTextControl::LayoutWidget()
{
	if (fInput == nullptr)
		return;
	Fl_Widget* group = Widget();
	int divider = std::min(Pixel(fDivider), group->w());
	fInput->resize(group->x() + divider, group->y(), group->w() - divider,
		group->h());
	fInput->textsize(Pixel(FontSize()));
}


Fl_Widget*
BTextControl::FocusWidget() const
{
	return fInput;
}


void
BTextControl::SetModificationMessage(BMessage* message)
{
	fModificationMessage.reset(message);
}


void
BTextControl::_Edited()
{
	if (Message() != nullptr)
		Invoke();
}


void
BTextControl::_Modified()
{
	if (fModificationMessage != nullptr)
		Invoke(fModificationMessage.get());
}
