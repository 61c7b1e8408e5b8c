#ifndef TAG_DIALOG_H
#define TAG_DIALOG_H

#include "TagForm.h"

#include <Messenger.h>
#include <Window.h>

#include <string>

class BButton;
class BRadioButton;
class BStringView;
class BTextControl;
class TagFile;
class TagsWindow;

// The dialog that adds or changes a tag (name; always, off, hours in rows,
// a named set, or rules as written; valid from and until; a PIN, typed
// twice and shown as dots, and when it is asked), or a named set
// of hours (in rows, or as written). Rules its fields cannot hold are
// shown whole as written, never kept out of sight. Save
// (Enter) hands the form to the tags window, which writes it or says why
// not; the refusal is shown here and the dialog stays. Cancel (Escape)
// changes nothing. It is modal: the list does not change under it.
class TagDialog : public BWindow {
public:
							TagDialog(TagsWindow* owner, const TagForm& form,
								bool change);
	// For the named set (empty: a new one).
	static	TagDialog*		ForHours(TagsWindow* owner,
								const std::string& name,
								const TagFile& file);

	virtual	void			MessageReceived(BMessage* message);

private:
							TagDialog(TagsWindow* owner, const char* title);

			void			_Build(bool forHours);
			void			_Fill(const TagForm& form);
			TagForm			_Form() const;
			void			_Save();
			void			_ShowWhen();
			void			_SetProblem(const std::string& problem);
	// A new PIN from the two hidden fields, made into its hash (the
	// digits then wiped from both); true with nothing to do when both are
	// empty.
			bool			_TakeNewPin(std::string* problem);

			TagsWindow*		fOwner;
			BMessenger		fOwnerMessenger;
			bool			fForHours = false;
			std::string		fOldKey;
			TagForm::When	fWhen = TagForm::kAlways;

			BTextControl*	fTag = nullptr;
			BTextControl*	fName = nullptr;
			BRadioButton*	fWhenButtons[5] = {};
			BTextControl*	fDays[TagForm::kRows] = {};
			BTextControl*	fFrom[TagForm::kRows] = {};
			BTextControl*	fTo[TagForm::kRows] = {};
			BTextControl*	fSet = nullptr;
			BTextControl*	fWritten = nullptr;
			BTextControl*	fValidFrom = nullptr;
			BTextControl*	fValidUntil = nullptr;
			BStringView*	fProblem = nullptr;
			BTextControl*	fPin = nullptr;
			BTextControl*	fPinAgain = nullptr;
			BRadioButton*	fPinButtons[4] = {};
			BTextControl*	fPinSet = nullptr;
			TagForm::PinWhen fPinWhen = TagForm::kNoPin;
	// The hash of the line, or of a PIN typed here: never the digits.
			std::string		fPinHash;
};

#endif
