#ifndef CSV_DIALOG_H
#define CSV_DIALOG_H

#include <Messenger.h>
#include <Window.h>

#include <string>

class BRadioButton;
class BStringView;
class BTextControl;
class TagsWindow;

// The dialog that names the CSV file the list is exported to (and the
// separator a spreadsheet there expects) or imported from. Export writes
// at once; Import reads the file and shows what it would change, in a
// window of its own. A refusal is shown here and the dialog stays; Cancel
// (Escape) does nothing. A path without '/' at its start is taken in the
// home directory ("~/" too).
class CsvDialog : public BWindow {
public:
							CsvDialog(TagsWindow* owner, bool import,
								const std::string& path);

	virtual	void			MessageReceived(BMessage* message);

private:
			void			_Go();
			void			_SetProblem(const std::string& problem);

			TagsWindow*		fOwner;
			BMessenger		fOwnerMessenger;
			bool			fImport;
			char			fSeparator;
			BTextControl*	fPath = nullptr;
			BStringView*	fProblem = nullptr;
};

#endif
