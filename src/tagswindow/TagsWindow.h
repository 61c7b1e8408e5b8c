#ifndef TAGS_WINDOW_H
#define TAGS_WINDOW_H

#include "ReadHistory.h"
#include "TagTable.h"

#include <Window.h>

#include <memory>
#include <string>
#include <vector>

class BButton;
class BColumnListView;
class BStringView;
class BTextControl;
class ColumnFit;
class LogFollower;
class TagForm;
class TagImport;
class TagListEditor;

// rdx-tags' one window: the tag list as a table with a search field and
// the buttons to add, change and remove tags and named sets of hours, and
// below it the reads of the access log as they come, unknown tags marked.
// It owns the list's editor; its dialogs change the list through it with
// the window locked, and every change is saved at once.
class TagsWindow : public BWindow {
public:
							TagsWindow(BRect frame,
								const std::string& listPath,
								const std::string& logPath);
	virtual					~TagsWindow();

	virtual	void			MessageReceived(BMessage* message);
	virtual	void			FrameResized(float width, float height);
	virtual	bool			QuitRequested();

	// Called by a dialog with the window locked: writes the form (a change
	// of oldTag's line, or a new line) or the named set and saves. B_OK,
	// or the refusal in *problem; the list is then as it was.
			status_t		ApplyForm(const TagForm& form,
								const std::string& oldTag,
								std::string* problem);
			status_t		ApplyHours(const std::string& oldName,
								const std::string& name,
								const std::string& hours,
								std::string* problem);
	// The named sets of the list, for the dialog: "@staff, @cleaning".
			std::string		NamedSets() const;

	// Called by the file dialog with the window locked. Writes the list
	// as CSV; B_OK, or the refusal in *problem.
			status_t		ExportCsv(const std::string& path,
								char separator, std::string* problem);
	// Reads a CSV file against the list and opens the window that shows
	// what importing it changes; B_OK, or why it cannot be imported.
			status_t		ReadImport(const std::string& path,
								std::string* problem);
	// Called by that window, locked: writes the new tags and the chosen
	// versions in one save; nothing when anything is refused.
			status_t		ApplyImport(const TagImport& import,
								std::string* problem);

private:
			void			_Load();
	// Fits the columns to the rows again unless only the search or the
	// order changed.
			void			_FillTable(bool refit = true);
			void			_FillReads();
			void			_SetStatus(const std::string& text, bool bad);
			void			_UpdateButtons();
			// The banner and the lockdown button as the desk state says.
			void			_ShowDesk();
			// Posts a keep-open or lockdown to rdx; the outcome comes back
			// through the access log.
			void			_SendToRdx(BMessage& message);
			void			_KeepOpen(bool end);
			void			_OpenDialog(const std::string& tag, bool change);
	// The dialog for a tag just read: its line's, when it is listed.
			void			_AddTag(const std::string& tag);
			void			_AskRemove();
			void			_Remove();
			status_t		_Save(std::string* problem);
			bool			_CheckDisk();
	// The chosen row of the table of tags, or null.
			const TagTable::Row* _SelectedRow() const;

			std::unique_ptr<TagListEditor> fEditor;
			std::string		fLoadProblem;
			// The access log, which an export must not take the place of.
			std::string		fLogPath;
			ReadHistory		fHistory;
			TagTable		fTable;
			std::unique_ptr<LogFollower> fFollower;
			std::unique_ptr<ColumnFit> fTagFit;

			BTextControl*	fSearch = nullptr;
			BButton*		fChangeButton = nullptr;
			BButton*		fRemoveButton = nullptr;
			BColumnListView* fTagList = nullptr;
			BStringView*	fStatus = nullptr;
			BStringView*	fDeskBanner = nullptr;
			BTextControl*	fKeepOpenTime = nullptr;
			BButton*		fLockdownButton = nullptr;
			BColumnListView* fReadList = nullptr;
			// The row the operator asked to remove, and its line's text as
			// it was then: a line that is no longer that text is not
			// removed.
			TagTable::Row	fRemoving;
			std::string		fRemovingText;
			// Whether the list was read and may be changed.
			bool			fWritable = false;
			// The file last exported or imported.
			std::string		fCsvPath;
};

#endif
