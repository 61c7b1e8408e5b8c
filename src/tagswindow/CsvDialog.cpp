#include "CsvDialog.h"

#include "ColumnFit.h"
#include "TagExport.h"
#include "TagsWindow.h"

#include <Button.h>
#include <Locale.h>
#include <Message.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>

#include <cstdlib>

namespace {

enum {
	kGo = 'go  ',
	kCancel = 'cncl',
	kSeparator = 'sepr',
};

const float kWidth = 520;


const char*
T(const char* text)
{
	return be_locale->GetString(text);
}

}	// namespace


CsvDialog::CsvDialog(TagsWindow* owner, bool import, const std::string& path)
	:
	BWindow(BRect(0, 0, kWidth, 100), import ? T("Import a list")
			: T("Export the list"), B_MODAL_WINDOW,
		B_NOT_RESIZABLE | B_NOT_ZOOMABLE),
	fOwner(owner),
	fOwnerMessenger(owner),
	fImport(import),
	fSeparator(TagExport::DefaultSeparator())
{
	BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL, B_WILL_DRAW);
	back->SetViewColor(237, 242, 235);
	AddChild(back);

	float top = 12;
	fPath = new BTextControl(BRect(12, top, kWidth - 12, top + 24), "file",
		T("CSV file:"), path.c_str(), nullptr);
	fPath->SetDivider(100);
	back->AddChild(fPath);
	top += 30;
	back->AddChild(new BStringView(BRect(112, top, kWidth - 12, top + 18),
		"fileHint", import
			? T("columns tag, name, rules; separated by ',' or ';'")
			: T("an existing file of that name is replaced")));
	top += 26;
	if (!import) {
		back->AddChild(new BStringView(BRect(12, top, 110, top + 22),
			"separatorLabel", T("Separator:")));
		float left = 112;
		const char* labels[2] = {", (comma)", "; (semicolon)"};
		for (int i = 0; i < 2; i++) {
			BMessage* message = new BMessage(kSeparator);
			message->AddInt32("separator", i == 0 ? ',' : ';');
			float width = back->StringWidth(T(labels[i])) + 30;
			BRadioButton* button = new BRadioButton(BRect(left, top,
				left + width, top + 22), i == 0 ? "comma" : "semicolon",
				T(labels[i]), message);
			button->SetValue((i == 0) == (fSeparator == ','));
			back->AddChild(button);
			left += width + 8;
		}
		top += 30;
	}

	fProblem = new BStringView(BRect(12, top, kWidth - 12, top + 50),
		"problem", "");
	back->AddChild(fProblem);
	top += 58;

	BButton* cancel = new BButton(BRect(kWidth - 232, top, kWidth - 132,
		top + 26), "cancel", T("Cancel"), new BMessage(kCancel));
	cancel->SetShortcutKey(B_ESCAPE);
	back->AddChild(cancel);
	BButton* go = new BButton(BRect(kWidth - 126, top, kWidth - 12,
		top + 26), "go", import ? T("Import…") : T("Export"),
		new BMessage(kGo));
	go->MakeDefault(true);
	back->AddChild(go);
	top += 38;

	ResizeTo(kWidth, top);
	back->ResizeTo(kWidth, top);
	BRect frame = owner->Frame();
	MoveTo(frame.left + (frame.Width() - kWidth) / 2, frame.top + 60);
	fPath->MakeFocus(true);
}


void
CsvDialog::_SetProblem(const std::string& problem)
{
	std::string text;
	for (const std::string& line : ColumnFit::Lines(problem,
			fProblem->Bounds().Width() - 8, [this](const std::string& part) {
				return fProblem->StringWidth(part.c_str());
			}))
		text += (text.empty() ? "" : "\n") + line;
	fProblem->SetText(text.c_str());
	fProblem->SetViewColor(make_color(250, 220, 210, 255));
	fProblem->Invalidate();
}


void
CsvDialog::_Go()
{
	std::string path = fPath->Text();
	const char* home = getenv("HOME");
	if (path.rfind("~/", 0) == 0)
		path.erase(0, 2);
	if (path.empty()) {
		_SetProblem(T("Name a file."));
		return;
	}
	// The program's working directory means nothing at a desk.
	if (path[0] != '/' && home != nullptr)
		path = std::string(home) + "/" + path;
	if (!fOwnerMessenger.LockTarget()) {
		Quit();
		return;
	}
	std::string problem;
	status_t status = fImport ? fOwner->ReadImport(path, &problem)
		: fOwner->ExportCsv(path, fSeparator, &problem);
	fOwner->Unlock();
	if (status != B_OK) {
		_SetProblem(problem);
		return;
	}
	Quit();
}


void
CsvDialog::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kGo:
			_Go();
			break;
		case kCancel:
			Quit();
			break;
		case kSeparator:
		{
			int32 separator = ',';
			if (message->FindInt32("separator", &separator) == B_OK)
				fSeparator = (char)separator;
			break;
		}
		default:
			BWindow::MessageReceived(message);
	}
}
