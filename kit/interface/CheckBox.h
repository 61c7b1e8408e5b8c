#ifndef _CHECK_BOX_H
#define _CHECK_BOX_H

#include <Control.h>

// A box with a check mark and a label: a click toggles the value (0 or 1)
// and sends the message.
class BCheckBox : public BControl {
public:
							BCheckBox(BRect frame, const char* name,
								const char* label, BMessage* message,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
	virtual					~BCheckBox();

	virtual	void			SetValue(int32 value);

private:
	static	void			_Clicked(Fl_Widget* widget, void* data);
};

#endif
