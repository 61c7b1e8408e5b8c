#include "TagsWindow.h"

#include "LogFollower.h"
#include "TagDialog.h"
#include "TagForm.h"

#include <Alert.h>
#include <Application.h>
#include <Button.h>
#include <ColumnListView.h>
#include <Locale.h>
#include <Message.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>

#include <LogFilter.h>
#include <LogRecord.h>
#include <TagListEditor.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

enum {
	kSearchChanged = 'srch',
	kAddTag = 'add ',
	kChangeTag = 'chng',
	kRemoveTag = 'rmov',
	kAddHours = 'hrs ',
	kTagSelected = 'tsel',
	kSortTags = 'sort',
	kRemoveAnswer = 'rmAn',
	kReloadAnswer = 'rlAn',
	kAddRead = 'radd',
	kLogRecord = 'lgrc',
};

const rgb_color kBackground = {237, 242, 235, 255};
const rgb_color kUnknownColor = {190, 30, 30, 255};
const rgb_color kNeverColor = {150, 150, 150, 255};


const char*
T(const char* text)
{
	return be_locale->GetString(text);
}


// A directory and those above it that are missing, private as the user's
// state directory is, so that the log can be watched before it is written.
// The path as a person writes it: the home directory as "~".
std::string
shown_path(const std::string& path)
{
	const char* home = getenv("HOME");
	size_t length = home != nullptr ? strlen(home) : 0;
	if (length > 1 && path.compare(0, length, home) == 0
		&& path[length] == '/')
		return "~" + path.substr(length);
	return path;
}


void
make_directories(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos;
			slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0700);
}

}	// namespace


TagsWindow::TagsWindow(BRect frame, const std::string& listPath,
	const std::string& logPath)
	:
	BWindow(frame, "RDX Tags", B_TITLED_WINDOW, 0),
	fEditor(std::make_unique<TagListEditor>(listPath)),
	fHistory(200)
{
	SetTitle(T("RDX Tags"));
	BRect bounds = Bounds();
	float right = bounds.right;
	float bottom = bounds.bottom;

	BView* back = new BView(bounds, "back", B_FOLLOW_ALL, B_WILL_DRAW);
	back->SetViewColor(kBackground);
	AddChild(back);


	struct ButtonSpec {
		const char*	name;
		const char*	label;
		uint32		what;
		float		width;
	};
	const ButtonSpec buttons[] = {
		{"add", "Add…", kAddTag, 90},
		{"change", "Change…", kChangeTag, 90},
		{"remove", "Remove", kRemoveTag, 90},
		{"hours", "Hours…", kAddHours, 90},
	};
	// Right-aligned, each as wide as its label needs (German ones are
	// longer).
	float widths[4];
	float left = right - 10;
	for (int i = 3; i >= 0; i--) {
		widths[i] = std::max(buttons[i].width,
			back->StringWidth(T(buttons[i].label)) + 24);
		left -= widths[i] + 6;
	}
	fSearch = new BTextControl(BRect(10, 10, std::min(290.0f, left - 4), 34),
		"search", T("Search:"), "", nullptr);
	fSearch->SetModificationMessage(new BMessage(kSearchChanged));
	back->AddChild(fSearch);
	for (int i = 0; i < 4; i++) {
		const ButtonSpec& spec = buttons[i];
		BButton* button = new BButton(BRect(left, 10, left + widths[i], 34),
			spec.name, T(spec.label), new BMessage(spec.what),
			B_FOLLOW_RIGHT | B_FOLLOW_TOP);
		back->AddChild(button);
		left += widths[i] + 6;
		if (spec.what == kChangeTag)
			fChangeButton = button;
		if (spec.what == kRemoveTag)
			fRemoveButton = button;
	}

	float split = bottom - 210;
	fTagList = new BColumnListView(BRect(10, 42, right - 10, split - 30),
		"tags", B_FOLLOW_ALL);
	// Within the 780 pixels a table of the first size shows beside its
	// scroll bar: "Mo-Fr 07:00-19:00; Sa 08:00-12:00, until 18.12.2026" and
	// "outside-hours" whole.
	fTagList->AddColumn(T("Tag"), 100);
	fTagList->AddColumn(T("Name"), 120);
	fTagList->AddColumn(T("When"), 336);
	fTagList->AddColumn(T("Last seen"), 120);
	fTagList->AddColumn(T("Outcome"), 100);
	fTagList->SetSelectionMessage(new BMessage(kTagSelected));
	fTagList->SetInvocationMessage(new BMessage(kChangeTag));
	fTagList->SetRemovalMessage(new BMessage(kRemoveTag));
	fTagList->SetSortMessage(new BMessage(kSortTags));
	back->AddChild(fTagList);

	fStatus = new BStringView(BRect(10, split - 26, right - 10, split - 6),
		"status", "", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	back->AddChild(fStatus);

	back->AddChild(new BStringView(BRect(10, split, 300, split + 20),
		"readsLabel", T("Recent reads"), B_FOLLOW_LEFT | B_FOLLOW_BOTTOM));
	fReadList = new BColumnListView(BRect(10, split + 22, right - 10,
		bottom - 42), "reads", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	fReadList->AddColumn(T("Time"), 150);
	fReadList->AddColumn(T("Tag"), 110);
	// Room for the longest outcome, "listed (learning: not passed on)".
	fReadList->AddColumn(T("Name"), 150);
	fReadList->AddColumn(T("Outcome"), 200);
	fReadList->AddColumn(T("Reader"), 150);
	fReadList->SetInvocationMessage(new BMessage(kAddRead));
	back->AddChild(fReadList);
	back->AddChild(new BButton(BRect(10, bottom - 36, std::max(100.0f,
			back->StringWidth(T("Add…")) + 34), bottom - 10),
		"addRead", T("Add…"), new BMessage(kAddRead),
		B_FOLLOW_LEFT | B_FOLLOW_BOTTOM));

	_Load();
	fTable.SortBy(TagTable::kNameColumn, true);
	fTagList->SetSortColumn(TagTable::kNameColumn, true);

	fFollower = std::make_unique<LogFollower>(logPath, BMessenger(this),
		kLogRecord);
	size_t slash = logPath.rfind('/');
	if (slash != std::string::npos && slash > 0)
		make_directories(logPath.substr(0, slash) + "/");
	if (fFollower->Start(&fHistory) != B_OK)
		fprintf(stderr, "rdx-tags: %s\n", fFollower->Error().c_str());
	_FillTable();
	_FillReads();
	fSearch->MakeFocus(true);
}


TagsWindow::~TagsWindow()
{
	// The follow ends and its thread is joined before the window's views
	// go; a record it posted meanwhile finds no window and is dropped.
	RunWithoutToolkitLock([this] { fFollower.reset(); });
}


bool
TagsWindow::QuitRequested()
{
	be_app->PostMessage(B_QUIT_REQUESTED);
	return true;
}


void
TagsWindow::_Load()
{
	fLoadProblem.clear();
	status_t status = fEditor->Load(&fLoadProblem);
	if (status == B_NOT_ALLOWED) {
		// rdx-reader refuses this list as a whole: say why, change nothing.
		fprintf(stderr, "rdx-tags: %s\n", fLoadProblem.c_str());
		_SetStatus(std::string(T("rdx-reader refuses this list")) + ": "
			+ fLoadProblem, true);
		// The whole reason, with how to mend it, one part a line.
		std::string text = std::string(T("rdx-reader refuses this list"))
			+ ":\n" + fLoadProblem;
		for (size_t at = 0; (at = text.find(": ", at)) != std::string::npos;)
			text.replace(at, 2, ":\n");
		(new BAlert(T("RDX Tags"), text.c_str(), T("OK"), nullptr, nullptr,
			B_STOP_ALERT))->Go(nullptr);
	} else if (status != B_OK) {
		_SetStatus(shown_path(fEditor->Path()) + ": " + fLoadProblem, true);
	} else if (!fEditor->File().Problems().empty()) {
		const TagFile::Problem& first = fEditor->File().Problems().front();
		char text[64];
		snprintf(text, sizeof(text), T("line %d"), first.line);
		_SetStatus(shown_path(fEditor->Path()) + ", " + text + ": "
			+ first.what, true);
	} else {
		char text[64];
		snprintf(text, sizeof(text), T("%zu tags"),
			fEditor->File().CountTags());
		_SetStatus(shown_path(fEditor->Path()) + " · " + text, false);
	}
	fWritable = !fEditor->IsRefused() && status == B_OK;
	for (const char* name : {"add", "hours", "addRead"}) {
		if (BButton* button = dynamic_cast<BButton*>(FindView(name)))
			button->SetEnabled(fWritable);
	}
	_UpdateButtons();
}


void
TagsWindow::_SetStatus(const std::string& text, bool bad)
{
	fStatus->SetText(text.c_str());
	fStatus->SetViewColor(bad ? make_color(250, 220, 210, 255) : kBackground);
	fStatus->Invalidate();
}


void
TagsWindow::_FillTable()
{
	std::string selected = _SelectedTag();
	fTable.Fill(fEditor->File(), fHistory);
	fTagList->Clear();
	int32 index = 0;
	for (const TagTable::Row& row : fTable.Rows()) {
		fTagList->AddRow({row.tag, row.name, row.when, row.lastSeen,
			row.outcome});
		if (!row.usable)
			fTagList->SetRowColor(index, kNeverColor);
		if (row.tag == selected)
			fTagList->Select(index);
		index++;
	}
	_UpdateButtons();
}


// Change and Remove act on the chosen row of a list that can be written.
void
TagsWindow::_UpdateButtons()
{
	bool chosen = fWritable && !_SelectedTag().empty();
	fChangeButton->SetEnabled(chosen);
	fRemoveButton->SetEnabled(chosen);
}


void
TagsWindow::_FillReads()
{
	int32 selected = fReadList->CurrentSelection();
	fReadList->Clear();
	int32 index = 0;
	for (const TagRead& read : fHistory.Recent()) {
		const TagLine* line = fEditor->File().Find(read.tag);
		std::string name = line != nullptr ? line->Name()
			: std::string("● ") + T("unknown");
		// The door's own events stand among the reads under its name.
		if (!read.door.empty())
			name = read.door;
		fReadList->AddRow({format_local_time(read.time).substr(0, 19),
			read.tag, name, read.outcome, read.source});
		if (line == nullptr && read.door.empty())
			fReadList->SetRowColor(index, kUnknownColor);
		index++;
	}
	if (selected >= 0)
		fReadList->Select(selected);
}


std::string
TagsWindow::_SelectedTag() const
{
	int32 index = fTagList->CurrentSelection();
	if (index < 0 || index >= (int32)fTable.Rows().size())
		return std::string();
	return fTable.Rows()[index].tag;
}


std::string
TagsWindow::NamedSets() const
{
	std::string sets;
	for (const TagLine& line : fEditor->File().Lines()) {
		if (line.What() == TagLine::kHours && line.Problem().empty())
			sets += (sets.empty() ? "@" : ", @") + line.HoursName();
	}
	return sets;
}


// Before a dialog opens: a list changed on disk is offered for loading
// first, so that nobody edits what is no longer there.
bool
TagsWindow::_CheckDisk()
{
	if (!fEditor->ChangedOnDisk())
		return true;
	BAlert* alert = new BAlert(T("RDX Tags"),
		(fEditor->Path() + "\n" + T("was changed on disk since it was read."))
			.c_str(),
		T("Cancel"), T("Load the new one"), nullptr, B_WARNING_ALERT);
	alert->SetShortcut(0, B_ESCAPE);
	alert->Go(new BInvoker(new BMessage(kReloadAnswer), this));
	return false;
}


void
TagsWindow::_OpenDialog(const std::string& tag, bool change)
{
	if (!_CheckDisk())
		return;
	TagDialog* dialog;
	if (change && !tag.empty() && tag[0] == '@') {
		dialog = TagDialog::ForHours(this, tag.substr(1),
			fEditor->File());
	} else if (change) {
		const TagLine* line = fEditor->File().Find(tag);
		if (line == nullptr)
			return;
		dialog = new TagDialog(this, TagForm::FromLine(*line), true);
	} else {
		TagForm form;
		form.tag = tag;
		dialog = new TagDialog(this, form, false);
	}
	dialog->Show();
}


void
TagsWindow::_AskRemove()
{
	std::string tag = _SelectedTag();
	if (tag.empty())
		return;
	fRemoving = tag;
	std::string text = std::string(T("Remove this line from the list?"))
		+ "\n" + tag;
	const TagLine* line = fEditor->File().Find(tag);
	if (line != nullptr && !line->Name().empty())
		text += " (" + line->Name() + ")";
	BAlert* alert = new BAlert(T("RDX Tags"), text.c_str(), T("Cancel"),
		T("Remove"), nullptr, B_WARNING_ALERT);
	alert->SetShortcut(0, B_ESCAPE);
	alert->Go(new BInvoker(new BMessage(kRemoveAnswer), this));
}


void
TagsWindow::_Remove()
{
	if (!_CheckDisk())
		return;
	TagListEditor before = *fEditor;
	std::string problem;
	status_t status = fRemoving[0] == '@'
		? fEditor->RemoveHours(fRemoving.substr(1), &problem)
		: fEditor->RemoveTag(fRemoving, &problem);
	if (status == B_OK)
		status = _Save(&problem);
	if (status != B_OK) {
		*fEditor = before;
		_SetStatus(problem, true);
		return;
	}
	_FillTable();
	_FillReads();
}


status_t
TagsWindow::_Save(std::string* problem)
{
	status_t status = fEditor->Save(problem);
	if (status == B_MISMATCHED_VALUES)
		_CheckDisk();
	if (status != B_OK)
		return status;
	char text[64];
	snprintf(text, sizeof(text), T("%zu tags"), fEditor->File().CountTags());
	_SetStatus(shown_path(fEditor->Path()) + " · " + T("saved") + " · "
		+ text, false);
	return B_OK;
}


status_t
TagsWindow::ApplyForm(const TagForm& form, const std::string& oldTag,
	std::string* problem)
{
	TagListEditor before = *fEditor;
	status_t status = form.Apply(*fEditor, oldTag, problem);
	if (status == B_OK)
		status = _Save(problem);
	if (status != B_OK) {
		*fEditor = before;
		return status;
	}
	_FillTable();
	_FillReads();
	return B_OK;
}


status_t
TagsWindow::ApplyHours(const std::string& oldName, const std::string& name,
	const std::string& hours, std::string* problem)
{
	TagListEditor before = *fEditor;
	status_t status = fEditor->SetHours(oldName, name, hours, problem);
	if (status == B_OK)
		status = _Save(problem);
	if (status != B_OK) {
		*fEditor = before;
		return status;
	}
	_FillTable();
	return B_OK;
}


void
TagsWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kSearchChanged:
			fTable.SetSearch(fSearch->Text());
			_FillTable();
			break;
		case kSortTags:
		{
			int32 column = 0;
			message->FindInt32("column", &column);
			TagTable::Column sort = (TagTable::Column)column;
			// Again on the same column turns the order round; the latest
			// read first is what one looks for.
			bool ascending = sort == fTable.SortColumn()
				? !fTable.SortAscending() : sort != TagTable::kLastSeenColumn;
			fTable.SortBy(sort, ascending);
			fTagList->SetSortColumn(column, ascending);
			_FillTable();
			break;
		}
		case kTagSelected:
			_UpdateButtons();
			break;
		case kAddTag:
			_OpenDialog("", false);
			break;
		case kAddHours:
			if (_CheckDisk())
				TagDialog::ForHours(this, "", fEditor->File())->Show();
			break;
		case kChangeTag:
			if (fWritable && !_SelectedTag().empty())
				_OpenDialog(_SelectedTag(), true);
			break;
		case kRemoveTag:
			if (fWritable)
				_AskRemove();
			break;
		case kRemoveAnswer:
		{
			int32 which = 0;
			if (message->FindInt32("which", &which) == B_OK && which == 1)
				_Remove();
			break;
		}
		case kReloadAnswer:
		{
			int32 which = 0;
			if (message->FindInt32("which", &which) == B_OK && which == 1) {
				_Load();
				_FillTable();
				_FillReads();
			}
			break;
		}
		case kAddRead:
		{
			if (!fWritable)
				break;
			int32 index = fReadList->CurrentSelection();
			std::string tag = index >= 0
				&& index < (int32)fHistory.Recent().size()
				? fHistory.Recent()[index].tag : std::string();
			// A door's event has no card to add.
			if (index >= 0 && tag.empty())
				break;
			if (!tag.empty() && fEditor->File().Find(tag) != nullptr)
				_OpenDialog(tag, true);
			else
				_OpenDialog(tag, false);
			break;
		}
		case kLogRecord:
		{
			const char* line = nullptr;
			if (message->FindString("line", &line) != B_OK)
				break;
			std::optional<LogRecord> record = LogRecord::Parse(line);
			if (!record || !fHistory.Add(*record))
				break;
			// The new read is the first row; a chosen row stays chosen.
			int32 selected = fReadList->CurrentSelection();
			_FillReads();
			if (selected >= 0)
				fReadList->Select(selected + 1);
			_FillTable();
			break;
		}
		default:
			BWindow::MessageReceived(message);
	}
}
