#ifndef _ALERT_H
#define _ALERT_H

#include <Window.h>

#include <memory>
#include <string>
#include <vector>

class BButton;
class BInvoker;

enum alert_type {
	B_EMPTY_ALERT = 0,
	B_INFO_ALERT,
	B_IDEA_ALERT,
	B_WARNING_ALERT,
	B_STOP_ALERT
};

// A small modal window with a text and up to three buttons, the last of
// which is the default (Enter). Go() shows it and returns at once; the
// button the operator chose is reported by a copy of the invoker's message
// with the field "which" (int32, 0 for the first button). Escape, or
// closing the alert from its frame, chooses the button given the shortcut
// B_ESCAPE, else the first. The alert deletes itself when it is done.
class BAlert : public BWindow {
public:
							BAlert(const char* title, const char* text,
								const char* button0Label,
								const char* button1Label = nullptr,
								const char* button2Label = nullptr,
								alert_type type = B_INFO_ALERT);
	virtual					~BAlert();

			void			SetShortcut(int32 index, char key);
	// Takes the invoker; null: the choice is reported to nobody.
			status_t		Go(BInvoker* invoker);

			int32			CountButtons() const
								{ return (int32)fButtons.size(); }
			BButton*		ButtonAt(int32 index) const;

	virtual	void			MessageReceived(BMessage* message);
	virtual	bool			QuitRequested();

private:
			void			_Choose(int32 index);

			std::vector<BButton*> fButtons;
			std::unique_ptr<BInvoker> fInvoker;
			int32			fEscapeButton = 0;
			bool			fChosen = false;
};

#endif
