#ifndef _RADIO_BUTTON_H
#define _RADIO_BUTTON_H

#include <Control.h>

// One choice of a group: the radio buttons with the same parent view form
// one group, of which at most one is on. Choosing one (by a click or by
// SetValue(1)) turns its siblings off. A click sends the message of the
// button chosen. The view colour fills the whole button, opaque.
class BRadioButton : public BControl {
public:
							BRadioButton(BRect frame, const char* name,
								const char* label, BMessage* message,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
	virtual					~BRadioButton();

	virtual	void			SetValue(int32 value);

private:
			void			_ClearSiblings();
	static	void			_Clicked(Fl_Widget* widget, void* data);
};

#endif
