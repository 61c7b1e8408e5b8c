#include "TagsWindow.h"

#include "ColumnFit.h"
#include "CsvCommand.h"
#include "CsvDialog.h"
#include "ImportWindow.h"
#include "LogFollower.h"
#include "TagDialog.h"
#include "TagExport.h"
#include "TagForm.h"
#include "TagImport.h"
#include "TagsApplication.h"

#include <Alert.h>
#include <Application.h>
#include <Button.h>
#include <ColumnListView.h>
#include <Locale.h>
#include <Message.h>
#include <OS.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>

#include <DeskDefs.h>
#include <KeepOpenTime.h>
#include <LockdownFile.h>
#include <LogFilter.h>
#include <LogRecord.h>
#include <RDXDefs.h>
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
	kExportCsv = 'exCs',
	kImportCsv = 'imCs',
	kKeepOpen = 'kpOp',
	kEndKeepOpen = 'kpEn',
	kLockdownToggle = 'lkTg',
	kLockdownAnswer = 'lkAn',
};

const rgb_color kBackground = {237, 242, 235, 255};
const rgb_color kUnknownColor = {190, 30, 30, 255};
const rgb_color kNeverColor = {150, 150, 150, 255};
const rgb_color kLockdownColor = {245, 150, 140, 255};
const rgb_color kKeptOpenColor = {205, 235, 205, 255};
// A cell's text stands 4 pixels from each side of its column; a little
// more, so that a measure a pixel short never cuts a letter.
const float kCellPadding = 12;

struct ColumnSpec {
	const char*	title;
	// Names and rules break into lines; tags, times and outcomes are one
	// word each.
	bool		wraps;
};
const std::vector<ColumnSpec> kTagColumns = {{"Tag", false},
	{"Name", true}, {"When", true}, {"Last seen", false},
	{"Outcome", false}};
const std::vector<ColumnSpec> kReadColumns = {{"Time", false},
	{"Tag", false}, {"Name", true}, {"Outcome", false}, {"Reader", true}};


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


// Sets the list's column widths for all of the texts; the fit then breaks
// the texts of the rows shown into lines where their column wraps.
ColumnFit
fit_columns(BColumnListView* list, const std::vector<ColumnSpec>& columns,
	const std::vector<std::vector<std::string>>& all)
{
	ColumnFit fit([list](const std::string& text) {
		return list->StringWidth(text.c_str());
	}, kCellPadding);
	for (const ColumnSpec& column : columns)
		fit.AddColumn(T(column.title), column.wraps);
	// Inside its frame, beside the vertical scroll bar.
	fit.Fit(all, list->Bounds().Width() - 4 - 18);
	for (size_t i = 0; i < columns.size(); i++)
		list->SetColumnWidth((int32)i, fit.Width(i));
	return fit;
}

}	// namespace


TagsWindow::TagsWindow(BRect frame, const std::string& listPath,
	const std::string& logPath)
	:
	BWindow(frame, "RDX Tags", B_TITLED_WINDOW, 0),
	fEditor(std::make_unique<TagListEditor>(listPath)),
	fLogPath(logPath),
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
	// The widths are taken from the texts whenever the rows are filled.
	for (const ColumnSpec& column : kTagColumns)
		fTagList->AddColumn(T(column.title), 100);
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
	// Lockdown, or a door kept open, where the reads are looked at.
	fDeskBanner = new BStringView(BRect(310, split, right - 10, split + 20),
		"desk", "", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	back->AddChild(fDeskBanner);
	fReadList = new BColumnListView(BRect(10, split + 22, right - 10,
		bottom - 42), "reads", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	for (const ColumnSpec& column : kReadColumns)
		fReadList->AddColumn(T(column.title), 100);
	fReadList->SetInvocationMessage(new BMessage(kAddRead));
	back->AddChild(fReadList);
	back->AddChild(new BButton(BRect(10, bottom - 36, std::max(100.0f,
			back->StringWidth(T("Add…")) + 34), bottom - 10),
		"addRead", T("Add…"), new BMessage(kAddRead),
		B_FOLLOW_LEFT | B_FOLLOW_BOTTOM));
	// The list in and out of a spreadsheet, at the other end.
	float exportWidth = std::max(90.0f, back->StringWidth(T("Export…")) + 24);
	float importWidth = std::max(90.0f, back->StringWidth(T("Import…")) + 24);
	back->AddChild(new BButton(BRect(right - 10 - exportWidth, bottom - 36,
			right - 10, bottom - 10), "export", T("Export…"),
		new BMessage(kExportCsv), B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM));
	back->AddChild(new BButton(BRect(right - 16 - exportWidth - importWidth,
			bottom - 36, right - 16 - exportWidth, bottom - 10), "import",
		T("Import…"), new BMessage(kImportCsv),
		B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM));
	// The door from the desk, between the two: a time and keep open, end
	// it, lockdown.
	float at = std::max(100.0f, back->StringWidth(T("Add…")) + 34) + 12;
	fKeepOpenTime = new BTextControl(BRect(at, bottom - 34, at + 56,
			bottom - 12), "keepOpenTime", nullptr, "30m", nullptr,
		B_FOLLOW_LEFT | B_FOLLOW_BOTTOM);
	back->AddChild(fKeepOpenTime);
	at += 62;
	struct DeskButton {
		const char*	name;
		const char*	label;
		uint32		what;
	};
	const DeskButton deskButtons[] = {
		{"keepOpen", "Keep open", kKeepOpen},
		{"endKeepOpen", "End keep-open", kEndKeepOpen},
		{"lockdown", "Lockdown…", kLockdownToggle},
	};
	for (const DeskButton& spec : deskButtons) {
		// The lockdown button fits its other label as well.
		float width = std::max(back->StringWidth(T(spec.label)),
			spec.what == kLockdownToggle
				? back->StringWidth(T("Lift lockdown…")) : 0.0f) + 24;
		BButton* button = new BButton(BRect(at, bottom - 36, at + width,
				bottom - 10), spec.name, T(spec.label), new BMessage(spec.what),
			B_FOLLOW_LEFT | B_FOLLOW_BOTTOM);
		back->AddChild(button);
		if (spec.what == kLockdownToggle)
			fLockdownButton = button;
		at += width + 6;
	}

	const char* home = getenv("HOME");
	fCsvPath = std::string(home != nullptr ? home : "") + "/rdx-tags.csv";

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
	// Lockdown as it stands, whatever older records said.
	LockdownFile::State lockdown = LockdownFile().Read();
	if (!lockdown.problem.empty())
		fprintf(stderr, "rdx-tags: %s\n", lockdown.problem.c_str());
	fHistory.SetLockdown(lockdown.on, lockdown.by);
	_FillTable();
	_FillReads();
	_ShowDesk();
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
	// A list that a program has open for writing is not taken; an editor
	// that is saving it is done in a moment.
	for (int tries = 0; status == B_WOULD_BLOCK && tries < 20; tries++) {
		snooze(50000);
		fLoadProblem.clear();
		status = fEditor->Load(&fLoadProblem);
	}
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
	for (const char* name : {"add", "hours", "addRead", "import", "export"}) {
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
TagsWindow::_FillTable(bool refit)
{
	const TagTable::Row* chosen = _SelectedRow();
	std::string selectedTag = chosen != nullptr ? chosen->tag : "";
	int selectedLine = chosen != nullptr ? chosen->line : 0;
	fTable.Fill(fEditor->File(), fHistory);
	auto fields = [](const TagTable::Row& row) {
		return std::vector<std::string>{row.tag, row.name, row.when,
			row.lastSeen, row.outcome};
	};
	// The widths are for every row, so that a search does not move them.
	if (refit || fTagFit == nullptr) {
		std::vector<std::vector<std::string>> all;
		for (const TagTable::Row& row : fTable.AllRows())
			all.push_back(fields(row));
		fTagFit = std::make_unique<ColumnFit>(fit_columns(fTagList,
			kTagColumns, all));
	}

	fTagList->Clear();
	int32 select = -1;
	for (size_t i = 0; i < fTable.Rows().size(); i++) {
		const TagTable::Row& row = fTable.Rows()[i];
		fTagList->AddRow(fTagFit->Wrapped(fields(row)));
		if (!row.usable)
			fTagList->SetRowColor((int32)i, kNeverColor);
		// The same line again; else the line that counts for the tag now.
		if (row.tag == selectedTag && (row.line == selectedLine
				|| (select < 0 && row.counts)))
			select = (int32)i;
	}
	if (select >= 0)
		fTagList->Select(select);
	_UpdateButtons();
}


void
TagsWindow::FrameResized(float width, float height)
{
	BWindow::FrameResized(width, height);
	_FillTable();
	_FillReads();
}


// Change acts on the chosen row of a list that can be written, when its
// line is the one that counts; Remove on any chosen row.
void
TagsWindow::_UpdateButtons()
{
	const TagTable::Row* row = fWritable ? _SelectedRow() : nullptr;
	fChangeButton->SetEnabled(row != nullptr && row->counts);
	fRemoveButton->SetEnabled(row != nullptr);
}


void
TagsWindow::_FillReads()
{
	int32 selected = fReadList->CurrentSelection();
	std::vector<std::vector<std::string>> rows;
	std::vector<bool> unknown;
	for (const TagRead& read : fHistory.Recent()) {
		const TagLine* line = fEditor->File().Find(read.tag);
		std::string name = line != nullptr ? line->Name()
			: std::string("● ") + T("unknown");
		// The door's own events stand among the reads under its name.
		if (!read.door.empty())
			name = read.door;
		rows.push_back({format_local_time(read.time).substr(0, 19), read.tag,
			name, read.outcome, read.source});
		unknown.push_back(line == nullptr && read.door.empty());
	}
	ColumnFit fit = fit_columns(fReadList, kReadColumns, rows);
	fReadList->Clear();
	for (size_t i = 0; i < rows.size(); i++) {
		fReadList->AddRow(fit.Wrapped(rows[i]));
		if (unknown[i])
			fReadList->SetRowColor((int32)i, kUnknownColor);
	}
	if (selected >= 0)
		fReadList->Select(selected);
}


void
TagsWindow::_ShowDesk()
{
	const DeskState& desk = fHistory.Desk();
	bool locked = desk.lockdown == 1;
	fLockdownButton->SetLabel(locked ? T("Lift lockdown…")
		: T("Lockdown…"));
	std::string text;
	rgb_color color = kBackground;
	if (locked) {
		text = T("LOCKDOWN: every tag, the exit button and remote opens are"
			" refused");
		color = kLockdownColor;
	} else if (desk.keptRelay != 0) {
		text = translate_format("Kept open: relay %d until %s",
			(int)desk.keptRelay,
			format_local_time(desk.keptUntil).substr(11, 8).c_str());
		color = kKeptOpenColor;
	} else if (!desk.refused.empty() && desk.refusedBy == "rdx-tags") {
		text = translate_format("Not kept open: %s",
			desk.refused == RDX_REFUSED_LOCKDOWN ? T("lockdown")
			: desk.refused == RDX_REFUSED_BOARD_USE_OFF ? T("board use is off")
			: desk.refused.c_str());
	}
	fDeskBanner->SetText(text.c_str());
	fDeskBanner->SetViewColor(color);
	fDeskBanner->Invalidate();
}


void
TagsWindow::_KeepOpen(bool end)
{
	int32 seconds = 0;
	std::string problem;
	if (!end && !KeepOpenTime::Parse(fKeepOpenTime->Text(), &seconds,
			&problem)) {
		_SetStatus(problem, true);
		return;
	}
	BMessage keep(RDX_MSG_KEEP_OPEN);
	keep.AddInt32(RDX_FIELD_SECONDS, seconds);
	_SendToRdx(keep);
}


void
TagsWindow::_SendToRdx(BMessage& message)
{
	message.AddString(RDX_FIELD_SENDER, "rdx-tags");
	// A command that rdx takes late is refused there, never carried out.
	const bigtime_t timeout = 2000000;
	message.AddString(RDX_FIELD_DEADLINE,
		FormatDeadline(system_time() + timeout).c_str());
	status_t status;
	BMessenger rdx(RDX_SIGNATURE, -1, &status);
	if (status == B_OK)
		status = rdx.SendMessage(&message, nullptr, timeout);
	if (status == B_BAD_PORT_ID)
		_SetStatus(T("rdx does not run: nothing was sent"), true);
	else if (status != B_OK) {
		_SetStatus(translate_format("rdx did not take it: %s",
			status_text(status)), true);
	}
}


const TagTable::Row*
TagsWindow::_SelectedRow() const
{
	int32 index = fTagList->CurrentSelection();
	if (index < 0 || index >= (int32)fTable.Rows().size())
		return nullptr;
	return &fTable.Rows()[index];
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
TagsWindow::_AddTag(const std::string& tag)
{
	_OpenDialog(tag, !tag.empty() && fEditor->File().Find(tag) != nullptr);
}


status_t
TagsWindow::ExportCsv(const std::string& path, char separator,
	std::string* problem)
{
	std::vector<std::string> left;
	int count = 0;
	std::string text = TagExport::Text(fEditor->File(), fHistory, separator,
		&left, &count);
	status_t status = TagExport::Write(path, text, {fEditor->Path(),
		fLogPath}, problem);
	if (status != B_OK)
		return status;
	fCsvPath = path;
	std::string said = shown_path(path) + " · " + translate_format("%d tags"
		" exported", count);
	if (!left.empty()) {
		said += " · " + translate_format("not exported: %s",
			left.front().c_str());
	}
	_SetStatus(said, !left.empty());
	return B_OK;
}


status_t
TagsWindow::ReadImport(const std::string& path, std::string* problem)
{
	std::string data;
	status_t status = CsvCommand::ReadFile(path, &data, problem);
	if (status != B_OK)
		return status;
	auto import = std::make_unique<TagImport>();
	status = import->Read(data, *fEditor, problem);
	if (status != B_OK) {
		*problem = TagList::Printable(*problem) + "; "
			+ T("nothing was imported");
		return status;
	}
	fCsvPath = path;
	if (import->Count(TagImport::kNew) + import->Count(TagImport::kDiffers)
			== 0) {
		_SetStatus(shown_path(path) + " · " + translate_format("nothing new:"
			" all %d tags are listed as in the file",
			import->Count(TagImport::kSame)), false);
		return B_OK;
	}
	(new ImportWindow(this, std::move(import), path))->Show();
	return B_OK;
}


status_t
TagsWindow::ApplyImport(const TagImport& import, std::string* problem)
{
	TagListEditor before = *fEditor;
	status_t status = import.Apply(*fEditor, problem);
	if (status == B_OK)
		status = _Save(problem);
	if (status != B_OK) {
		*fEditor = before;
		return status;
	}
	int changed = 0;
	for (const TagImport::Entry& entry : import.Entries())
		changed += entry.kind == TagImport::kDiffers && entry.takeFile;
	_SetStatus(shown_path(fCsvPath) + " · " + translate_format("imported:"
		" %d added, %d changed", import.Count(TagImport::kNew), changed),
		false);
	_FillTable();
	_FillReads();
	return B_OK;
}


void
TagsWindow::_AskRemove()
{
	const TagTable::Row* row = _SelectedRow();
	if (row == nullptr || row->line < 1
		|| row->line > (int)fEditor->File().Lines().size())
		return;
	fRemoving = *row;
	fRemovingText = fEditor->File().Lines()[row->line - 1].Text();
	std::string text = std::string(T("Remove this line from the list?"))
		+ "\n" + row->tag;
	if (!row->name.empty())
		text += " (" + row->name + ")";
	if (!row->counts) {
		text += "\n" + translate_format("line %d, which does not count",
			row->line);
	} else if (!row->isSet) {
		// Its later lines go with it: none of them comes into force.
		int lines = 0;
		for (const TagTable::Row& other : fTable.AllRows())
			lines += !other.isSet && other.tag == row->tag;
		if (lines > 1) {
			text += "\n" + translate_format("It is listed on %d lines: all"
				" of them are removed.", lines);
		}
	}
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
	const std::vector<TagLine>& lines = fEditor->File().Lines();
	if (fRemoving.line < 1 || fRemoving.line > (int)lines.size()
		|| lines[fRemoving.line - 1].Text() != fRemovingText) {
		_SetStatus(T("The list has changed meanwhile: choose the line"
			" again."), true);
		return;
	}
	TagListEditor before = *fEditor;
	std::string problem;
	status_t status;
	if (!fRemoving.counts)
		status = fEditor->RemoveLine(fRemoving.line, &problem);
	else if (fRemoving.isSet)
		status = fEditor->RemoveHours(fRemoving.tag.substr(1), &problem);
	else
		status = fEditor->RemoveTag(fRemoving.tag, &problem);
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
			_FillTable(false);
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
			_FillTable(false);
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
		{
			const TagTable::Row* row = fWritable ? _SelectedRow() : nullptr;
			if (row == nullptr)
				break;
			if (!row->counts) {
				// Its tag's first line says who may pass: that is the one
				// to change; this one can only go.
				_SetStatus(translate_format("Line %d does not count: change"
					" the line that counts, or remove this one.", row->line),
					true);
				break;
			}
			_OpenDialog(row->tag, true);
			break;
		}
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
			_AddTag(tag);
			break;
		}
		case RDX_TAGS_SHOW:
			// Shown again, a window comes to the front.
			Show();
			break;
		case RDX_TAGS_ADD:
		{
			Show();
			const char* tag = nullptr;
			if (message->FindString(RDX_TAGS_TAG, &tag) != B_OK)
				break;
			if (!fWritable) {
				_SetStatus(translate_format("%s cannot be added: the list"
					" cannot be changed now", TagList::Printable(tag).c_str()),
					true);
				break;
			}
			// Any program of the user may post to the port: what it sends
			// is checked like a tag typed in.
			if (!TagLine::IsWritableTag(tag)) {
				_SetStatus(translate_format("\"%s\" cannot stand in the list"
					" as a tag", TagList::Printable(tag).c_str()), true);
				break;
			}
			_AddTag(tag);
			break;
		}
		case kExportCsv:
			if (fWritable)
				(new CsvDialog(this, false, fCsvPath))->Show();
			break;
		case kImportCsv:
			if (fWritable && _CheckDisk())
				(new CsvDialog(this, true, fCsvPath))->Show();
			break;
		case kKeepOpen:
		case kEndKeepOpen:
			_KeepOpen(message->what == kEndKeepOpen);
			break;
		case kLockdownToggle:
		{
			bool on = fHistory.Desk().lockdown == 1;
			BAlert* alert = new BAlert(T("RDX Tags"), on
				? T("Lift the lockdown? Tags, the exit button and remote"
					" opens open the door again.")
				: T("Lock the door down? Every tag, the exit button, keep-open"
					" and remote opens are refused until it is lifted; a door"
					" kept open closes now."),
				T("Cancel"), on ? T("Lift lockdown") : T("Lockdown"), nullptr,
				B_WARNING_ALERT);
			alert->SetShortcut(0, B_ESCAPE);
			BMessage* answer = new BMessage(kLockdownAnswer);
			answer->AddBool(RDX_FIELD_ON, !on);
			alert->Go(new BInvoker(answer, this));
			break;
		}
		case kLockdownAnswer:
		{
			int32 which = 0;
			bool on = false;
			if (message->FindInt32("which", &which) != B_OK || which != 1
				|| message->FindBool(RDX_FIELD_ON, &on) != B_OK)
				break;
			BMessage lockdown(RDX_MSG_LOCKDOWN);
			lockdown.AddBool(RDX_FIELD_ON, on);
			_SendToRdx(lockdown);
			break;
		}
		case kLogRecord:
		{
			const char* line = nullptr;
			if (message->FindString("line", &line) != B_OK)
				break;
			std::optional<LogRecord> record = LogRecord::Parse(line);
			if (!record)
				break;
			DeskState before = fHistory.Desk();
			bool read = fHistory.Add(*record);
			if (!(fHistory.Desk() == before))
				_ShowDesk();
			if (!read)
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
