#ifndef IMPORT_WINDOW_H
#define IMPORT_WINDOW_H

#include <Messenger.h>
#include <Window.h>

#include <memory>
#include <string>
#include <vector>

class BColumnListView;
class BStringView;
class TagImport;
class TagsWindow;

// What an import changes, before anything is written: a row for each new
// tag, and for each tag the list has with another name or other rules,
// both versions and which one it keeps: the list's, until the person
// chooses the file's (the buttons, or a double click on the row, which
// turns the choice round). Import writes it all in one save through the
// tags window; Cancel writes nothing.
class ImportWindow : public BWindow {
public:
							ImportWindow(TagsWindow* owner,
								std::unique_ptr<TagImport> import,
								const std::string& path);
	virtual					~ImportWindow();

	virtual	void			MessageReceived(BMessage* message);

private:
			void			_Fill();
			void			_Choose(int32 row, int choice);
			void			_Import();

			TagsWindow*		fOwner;
			BMessenger		fOwnerMessenger;
			std::unique_ptr<TagImport> fImport;
			// The entry of each row shown.
			std::vector<size_t> fRows;
			BColumnListView* fList = nullptr;
			BStringView*	fProblem = nullptr;
};

#endif
