#include "ImportWindow.h"

#include "ColumnFit.h"
#include "TagImport.h"
#include "TagsWindow.h"

#include <Button.h>
#include <ColumnListView.h>
#include <Locale.h>
#include <Message.h>
#include <StringView.h>
#include <View.h>

#include <TagList.h>

namespace {

enum {
	kImport = 'impt',
	kCancel = 'cncl',
	kKeepList = 'kpLs',
	kTakeFile = 'tkFl',
	kToggle = 'tggl',
};

const float kWidth = 760;
const float kHeight = 420;


const char*
T(const char* text)
{
	return be_locale->GetString(text);
}


std::string
version(const std::string& name, const std::string& rules)
{
	std::string text = name;
	if (!rules.empty())
		text += " | " + rules;
	return TagList::Printable(text);
}

}	// namespace


ImportWindow::ImportWindow(TagsWindow* owner,
	std::unique_ptr<TagImport> import, const std::string& path)
	:
	BWindow(BRect(0, 0, kWidth, kHeight), T("Import a list"), B_MODAL_WINDOW,
		B_NOT_ZOOMABLE),
	fOwner(owner),
	fOwnerMessenger(owner),
	fImport(std::move(import))
{
	BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL, B_WILL_DRAW);
	back->SetViewColor(237, 242, 235);
	AddChild(back);

	std::string summary = path + ": " + translate_format("%d new tags are"
		" added, %d are listed as in the file. %d are listed with another"
		" name or other rules: each keeps the list's version unless you"
		" choose the file's.", fImport->Count(TagImport::kNew),
		fImport->Count(TagImport::kSame),
		fImport->Count(TagImport::kDiffers));
	BStringView* intro = new BStringView(BRect(10, 6, kWidth - 10, 58),
		"summary", "", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP);
	back->AddChild(intro);
	std::string text;
	for (const std::string& line : ColumnFit::Lines(summary, kWidth - 28,
			[intro](const std::string& part) {
				return intro->StringWidth(part.c_str());
			}))
		text += (text.empty() ? "" : "\n") + line;
	intro->SetText(text.c_str());

	fList = new BColumnListView(BRect(10, 62, kWidth - 10, kHeight - 100),
		"entries", B_FOLLOW_ALL);
	fList->AddColumn(T("Tag"), 110);
	fList->AddColumn(T("Row"), 44);
	fList->AddColumn(T("In the list"), 230);
	fList->AddColumn(T("In the file"), 230);
	fList->AddColumn(T("Keeps"), 100);
	fList->SetInvocationMessage(new BMessage(kToggle));
	back->AddChild(fList);

	fProblem = new BStringView(BRect(10, kHeight - 94, kWidth - 10,
		kHeight - 46), "problem", "", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
	back->AddChild(fProblem);

	struct ButtonSpec {
		const char*	name;
		const char*	label;
		uint32		what;
	};
	const ButtonSpec left[] = {
		{"keepList", "Keep the list's", kKeepList},
		{"takeFile", "Take the file's", kTakeFile},
	};
	float x = 10;
	for (const ButtonSpec& spec : left) {
		float buttonWidth = back->StringWidth(T(spec.label)) + 30;
		back->AddChild(new BButton(BRect(x, kHeight - 36, x + buttonWidth,
				kHeight - 10), spec.name, T(spec.label),
			new BMessage(spec.what), B_FOLLOW_LEFT | B_FOLLOW_BOTTOM));
		x += buttonWidth + 6;
	}
	BButton* cancel = new BButton(BRect(kWidth - 220, kHeight - 36,
		kWidth - 116, kHeight - 10), "cancel", T("Cancel"),
		new BMessage(kCancel), B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM);
	cancel->SetShortcutKey(B_ESCAPE);
	back->AddChild(cancel);
	BButton* importButton = new BButton(BRect(kWidth - 110, kHeight - 36,
		kWidth - 10, kHeight - 10), "import", T("Import"),
		new BMessage(kImport), B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM);
	importButton->MakeDefault(true);
	back->AddChild(importButton);

	_Fill();
	BRect frame = owner->Frame();
	MoveTo(frame.left + (frame.Width() - kWidth) / 2, frame.top + 40);
}


ImportWindow::~ImportWindow()
{
}


void
ImportWindow::_Fill()
{
	int32 selected = fList->CurrentSelection();
	fList->Clear();
	fRows.clear();
	const std::vector<TagImport::Entry>& entries = fImport->Entries();
	// The tags that differ first: they are what asks for a choice.
	for (int pass = 0; pass < 2; pass++) {
		for (size_t i = 0; i < entries.size(); i++) {
			const TagImport::Entry& entry = entries[i];
			if (entry.kind != (pass == 0 ? TagImport::kDiffers
					: TagImport::kNew))
				continue;
			std::string listed = entry.kind == TagImport::kNew ? "—"
				: version(entry.listName, entry.listRules);
			if (!entry.listProblem.empty())
				listed += " (" + std::string(T("cannot be used")) + ")";
			const char* keeps = entry.kind == TagImport::kNew ? T("new")
				: entry.takeFile ? T("the file's") : T("the list's");
			fList->AddRow({entry.tag, std::to_string(entry.row), listed,
				version(entry.name, entry.rules), keeps});
			fRows.push_back(i);
		}
	}
	if (selected >= 0 && selected < fList->CountRows())
		fList->Select(selected);
}


void
ImportWindow::_Choose(int32 row, int choice)
{
	if (row < 0 || row >= (int32)fRows.size())
		return;
	TagImport::Entry& entry = fImport->Entries()[fRows[(size_t)row]];
	if (entry.kind != TagImport::kDiffers)
		return;
	entry.takeFile = choice < 0 ? !entry.takeFile : choice > 0;
	_Fill();
}


void
ImportWindow::_Import()
{
	if (!fOwnerMessenger.LockTarget()) {
		Quit();
		return;
	}
	std::string problem;
	status_t status = fOwner->ApplyImport(*fImport, &problem);
	fOwner->Unlock();
	if (status != B_OK) {
		fProblem->SetText((TagList::Printable(problem) + "; "
			+ T("nothing was imported")).c_str());
		fProblem->SetViewColor(make_color(250, 220, 210, 255));
		fProblem->Invalidate();
		return;
	}
	Quit();
}


void
ImportWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kImport:
			_Import();
			break;
		case kCancel:
			Quit();
			break;
		case kKeepList:
			_Choose(fList->CurrentSelection(), 0);
			break;
		case kTakeFile:
			_Choose(fList->CurrentSelection(), 1);
			break;
		case kToggle:
			_Choose(fList->CurrentSelection(), -1);
			break;
		default:
			BWindow::MessageReceived(message);
	}
}
