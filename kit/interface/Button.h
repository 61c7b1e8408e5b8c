#ifndef _BUTTON_H
#define _BUTTON_H

#include <Control.h>

// A push button: sends its message when the operator clicks it.
class BButton : public BControl {
public:
							BButton(BRect frame, const char* name,
								const char* label, BMessage* message,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
	virtual					~BButton();

	// The default button of its window answers Enter (pressed in a field
	// that has no message of its own, or anywhere else).
			void			MakeDefault(bool flag);
			bool			IsDefault() const { return fDefault; }
	// A key that presses the button as a click does (B_ESCAPE for a
	// dialog's Cancel); 0 for none.
			void			SetShortcutKey(uint32 key);

protected:
	virtual	void			ApplyViewColor(rgb_color color);

private:
	static	void			_Clicked(Fl_Widget* widget, void* data);

			bool			fDefault = false;
};

#endif
