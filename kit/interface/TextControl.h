#ifndef _TEXT_CONTROL_H
#define _TEXT_CONTROL_H

#include <Control.h>

#include <memory>
#include <string>

class Fl_Input;

namespace BPrivate {
class TextInput;
}

// A label and a one-line text field to its right, starting at the divider.
// The message goes out when the operator presses Enter in the field, or
// leaves the field (by a click elsewhere or the Tab key) after editing it;
// never for text set from code. The modification message, if one is set,
// goes out after every change the operator makes to the text (a search
// field filters as it is typed into). A field with no message leaves Enter
// to the window's default button.
class BTextControl : public BControl {
public:
							BTextControl(BRect frame, const char* name,
								const char* label, const char* text,
								BMessage* message,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
	virtual					~BTextControl();

			void			SetText(const char* text);
			const char*		Text() const;

	// Shows every character as a dot, for a PIN or a password, as the
	// platform's BTextView::HideTyping() does; the text is kept as typed.
			void			HideTyping(bool enabled);
			bool			IsTypingHidden() const;
	// Empties the field and overwrites the memory its text was in: a
	// secret typed into it stays nowhere once it has been used.
			void			WipeText();

	// The distance of the field from the control's left edge.
			void			SetDivider(float position);
			float			Divider() const { return fDivider; }


			void			SetModificationMessage(BMessage* message);
			BMessage*		ModificationMessage() const
								{ return fModificationMessage.get(); }

	// The text field itself, for tests and special needs.
			Fl_Input*		TextView() const;

protected:
	virtual	void			LayoutWidget();
	virtual	Fl_Widget*		FocusWidget() const;

private:
	friend class BPrivate::TextInput;

			void			_Edited();
			void			_Modified();

			BPrivate::TextInput* fInput;
			float			fDivider;
			std::unique_ptr<BMessage> fModificationMessage;
};

#endif
