#include "TagDialog.h"

#include "ColumnFit.h"
#include "TagsWindow.h"

#include <Button.h>
#include <Locale.h>
#include <Message.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>

#include <PinHash.h>
#include <TagFile.h>
#include <TagList.h>

#include <cstring>

namespace {

enum {
	kSave = 'save',
	kCancel = 'cncl',
	kWhenChosen = 'when',
	kPinChosen = 'pinw',
};

const float kWidth = 480;
const float kLabelWidth = 130;


const char*
T(const char* text)
{
	return be_locale->GetString(text);
}

}	// namespace


TagDialog::TagDialog(TagsWindow* owner, const char* title)
	:
	BWindow(BRect(0, 0, kWidth, 100), title, B_MODAL_WINDOW,
		B_NOT_RESIZABLE | B_NOT_ZOOMABLE),
	fOwner(owner),
	fOwnerMessenger(owner)
{
}


TagDialog::TagDialog(TagsWindow* owner, const TagForm& form, bool change)
	:
	TagDialog(owner, change ? T("Change tag") : T("Add tag"))
{
	fOldKey = change ? form.tag : std::string();
	_Build(false);
	fName->SetText(form.name.c_str());
	fSet->SetText(form.namedSet.c_str());
	fValidFrom->SetText(form.validFrom.c_str());
	fValidUntil->SetText(form.validUntil.c_str());
	fPinHash = form.pinHash;
	fPinWhen = form.pinWhen;
	fPinSet->SetText(form.pinSet.c_str());
	if (fPinWhen != TagForm::kPinWritten)
		fPinButtons[fPinWhen]->SetValue(1);
	_Fill(form);
	if (!form.unreadable.empty()) {
		_SetProblem(std::string(T("This line cannot be read, so it lets its"
			" tag in never")) + ": " + form.unreadable);
	}
	// A tag that was just read is there already: the name is next.
	(form.tag.empty() ? fTag : fName)->MakeFocus(true);
}


TagDialog*
TagDialog::ForHours(TagsWindow* owner, const std::string& name,
	const TagFile& file)
{
	TagDialog* dialog = new TagDialog(owner, T("Named hours"));
	dialog->fForHours = true;
	dialog->fOldKey = name;
	dialog->_Build(true);
	TagForm form = TagForm::FromHours("");
	form.when = TagForm::kHours;
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kHours || line.HoursName() != name
			|| name.empty())
			continue;
		form = TagForm::FromHours(hours_of(line));
		break;
	}
	form.tag = name;
	dialog->_Fill(form);
	dialog->fTag->MakeFocus(true);
	return dialog;
}


// What both dialogs show of a form: its key, when, rows and rules.
void
TagDialog::_Fill(const TagForm& form)
{
	fTag->SetText(form.tag.c_str());
	for (int i = 0; i < TagForm::kRows && i < (int)form.rows.size(); i++) {
		fDays[i]->SetText(form.rows[i].days.c_str());
		fFrom[i]->SetText(form.rows[i].from.c_str());
		fTo[i]->SetText(form.rows[i].to.c_str());
	}
	fWritten->SetText(form.written.c_str());
	fWhen = form.when;
	if (fWhenButtons[fWhen] != nullptr)
		fWhenButtons[fWhen]->SetValue(1);
	_ShowWhen();
}


void
TagDialog::_Build(bool forHours)
{
	BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL, B_WILL_DRAW);
	back->SetViewColor(237, 242, 235);
	AddChild(back);

	float top = 12;
	auto field = [&](const char* name, const char* label, float left,
			float right, float divider) {
		BTextControl* control = new BTextControl(BRect(left, top, right,
			top + 24), name, label, "", nullptr);
		control->SetDivider(divider);
		back->AddChild(control);
		return control;
	};
	auto radio = [&](int when, const char* name, const char* label,
			float left) {
		BMessage* message = new BMessage(kWhenChosen);
		message->AddInt32("when", when);
		float width = back->StringWidth(T(label)) + 30;
		fWhenButtons[when] = new BRadioButton(BRect(left, top, left + width,
			top + 22), name, T(label), message);
		back->AddChild(fWhenButtons[when]);
		return width;
	};

	fTag = field("tag", forHours ? T("Name of the set:") : T("Tag:"), 12,
		kWidth - 12, kLabelWidth);
	top += 30;
	if (!forHours) {
		fName = field("name", T("Name:"), 12, kWidth - 12, kLabelWidth);
		top += 34;
		back->AddChild(new BStringView(BRect(12, top, kLabelWidth + 12,
			top + 22), "whenLabel", T("May open:")));
		const char* labels[4] = {"always", "off", "hours", "named set"};
		float left = kLabelWidth + 12;
		for (int i = 0; i < 4; i++)
			left += radio(i, labels[i], labels[i], left) + 4;
		top += 30;
	}

	// A set is its hours: in rows, or as written.
	if (forHours)
		radio(TagForm::kHours, "hours", "Days, from, to:", 8);
	else {
		back->AddChild(new BStringView(BRect(12, top, kLabelWidth + 12,
			top + 22), "hoursLabel", T("Days, from, to:")));
	}
	for (int i = 0; i < TagForm::kRows; i++) {
		std::string number = std::to_string(i);
		float left = kLabelWidth + 12;
		fDays[i] = field(("days" + number).c_str(), nullptr, left, left + 110,
			0);
		fFrom[i] = field(("from" + number).c_str(), nullptr, left + 118,
			left + 178, 0);
		fTo[i] = field(("to" + number).c_str(), "-", left + 182, left + 252,
			10);
		top += 28;
	}
	back->AddChild(new BStringView(BRect(kLabelWidth + 12, top,
		kWidth - 12, top + 18), "hoursHint",
		T("e.g. Mo-Fr 07:00 19:00, or Su 22:00 06:00")));
	top += 24;

	if (!forHours) {
		fSet = field("set", T("Named set:"), 12, kLabelWidth + 160,
			kLabelWidth);
		std::string sets = fOwner->NamedSets();
		back->AddChild(new BStringView(BRect(kLabelWidth + 168, top,
			kWidth - 12, top + 24), "sets", sets.c_str()));
		top += 30;
	}

	// Rules the fields above cannot hold are shown and changed here, whole,
	// as the list writes them.
	radio(TagForm::kWritten, "written", "as written:", 8);
	fWritten = field("writtenRules", nullptr, kLabelWidth + 12, kWidth - 12,
		0);
	top += 28;
	back->AddChild(new BStringView(BRect(kLabelWidth + 12, top,
		kWidth - 12, top + 18), "writtenHint",
		forHours ? T("e.g. Mo 08:00-12:00 14:00-18:00, Tu 09:00-12:00")
			: T("rules as the list writes them (see rdx-reader(1))")));
	top += 28;

	if (!forHours) {
		fValidFrom = field("validFrom", T("Valid from:"), 12,
			kLabelWidth + 130, kLabelWidth);
		fValidUntil = field("validUntil", T("until:"), kLabelWidth + 140,
			kWidth - 12, 50);
		top += 30;
		back->AddChild(new BStringView(BRect(kLabelWidth + 12, top,
			kWidth - 12, top + 18), "datesHint",
			T("dates as 31.03.2027; empty: no limit")));
		top += 24;
	}

	if (!forHours) {
		// The PIN: typed twice, shown as dots, kept only as its hash.
		fPin = field("pin", T("New PIN:"), 12, kLabelWidth + 130,
			kLabelWidth);
		fPin->HideTyping(true);
		fPinAgain = field("pinAgain", T("again:"), kLabelWidth + 140,
			kLabelWidth + 260, 50);
		fPinAgain->HideTyping(true);
		top += 30;
		back->AddChild(new BStringView(BRect(12, top, kLabelWidth + 12,
			top + 22), "pinLabel", T("PIN asked:")));
		// A group of its own: radio buttons choose among their siblings.
		BView* group = new BView(BRect(kLabelWidth + 8, top, kWidth - 12,
			top + 24), "pinWhen", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
		group->SetViewColor(237, 242, 235);
		back->AddChild(group);
		const char* labels[4] = {"never", "always", "in the set",
			"outside the set"};
		float left = 4;
		for (int i = 0; i < 4; i++) {
			BMessage* message = new BMessage(kPinChosen);
			message->AddInt32("pin", i);
			float width = group->StringWidth(T(labels[i])) + 26;
			fPinButtons[i] = new BRadioButton(BRect(left, 0, left + width, 22),
				labels[i], T(labels[i]), message);
			group->AddChild(fPinButtons[i]);
			left += width;
		}
		top += 28;
		fPinSet = field("pinSet", T("Set:"), kLabelWidth + 12,
			kLabelWidth + 200, 40);
		back->AddChild(new BStringView(BRect(kLabelWidth + 208, top,
			kWidth - 12, top + 24), "pinHint", T("4 to 12 digits")));
		top += 34;
	}

	// Three lines for a refusal: the library's reasons are sentences.
	fProblem = new BStringView(BRect(12, top, kWidth - 12, top + 50),
		"problem", "");
	back->AddChild(fProblem);
	top += 58;

	BButton* cancel = new BButton(BRect(kWidth - 212, top, kWidth - 112,
		top + 26), "cancel", T("Cancel"), new BMessage(kCancel));
	cancel->SetShortcutKey(B_ESCAPE);
	back->AddChild(cancel);
	BButton* save = new BButton(BRect(kWidth - 106, top, kWidth - 12,
		top + 26), "save", T("Save"), new BMessage(kSave));
	save->MakeDefault(true);
	back->AddChild(save);
	top += 38;

	ResizeTo(kWidth, top);
	back->ResizeTo(kWidth, top);
	// Over the middle of the tags window.
	BRect owner = fOwner->Frame();
	MoveTo(owner.left + (owner.Width() - kWidth) / 2, owner.top + 40);
}


void
TagDialog::_ShowWhen()
{
	bool hours = fWhen == TagForm::kHours;
	for (int i = 0; i < TagForm::kRows; i++) {
		fDays[i]->SetEnabled(hours);
		fFrom[i]->SetEnabled(hours);
		fTo[i]->SetEnabled(hours);
	}
	if (fSet != nullptr)
		fSet->SetEnabled(fWhen == TagForm::kNamedSet);
	if (fPinSet != nullptr) {
		fPinSet->SetEnabled(fPinWhen == TagForm::kPinInSet
			|| fPinWhen == TagForm::kPinOutsideSet);
	}
	fWritten->SetEnabled(fWhen == TagForm::kWritten);
}


TagForm
TagDialog::_Form() const
{
	TagForm form;
	form.tag = fTag->Text();
	form.when = fWhen;
	for (int i = 0; i < TagForm::kRows; i++)
		form.rows[i] = {fDays[i]->Text(), fFrom[i]->Text(), fTo[i]->Text()};
	form.written = fWritten->Text();
	if (fForHours)
		return form;
	form.name = fName->Text();
	form.namedSet = fSet->Text();
	form.validFrom = fValidFrom->Text();
	form.validUntil = fValidUntil->Text();
	form.pinWhen = fPinWhen;
	form.pinSet = fPinSet->Text();
	form.pinHash = fPinHash;
	return form;
}


bool
TagDialog::_TakeNewPin(std::string* problem)
{
	const char* pin = fPin->Text();
	const char* again = fPinAgain->Text();
	size_t length = strlen(pin);
	if (length == 0 && again[0] == '\0')
		return true;
	bool taken = false;
	if (strlen(again) != length || memcmp(pin, again, length) != 0)
		*problem = T("PIN: the two differ; type it again, twice");
	else {
		*problem = PinHash::Refusal(pin, length,
			TagList::Normalized(fTag->Text()));
		std::string hash;
		if (problem->empty() && PinHash::Make(pin, length, &hash, problem)) {
			fPinHash = hash;
			taken = true;
		}
		if (!problem->empty())
			*problem = std::string(T("PIN")) + ": " + *problem;
	}
	// Typed again after a refusal, and gone from the fields either way.
	fPin->WipeText();
	fPinAgain->WipeText();
	// A new PIN is asked for, always unless a time is chosen.
	if (taken && fPinWhen == TagForm::kNoPin) {
		fPinWhen = TagForm::kPinAlways;
		fPinButtons[fPinWhen]->SetValue(1);
	}
	return taken;
}


void
TagDialog::_SetProblem(const std::string& problem)
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
TagDialog::_Save()
{
	std::string problem;
	status_t status;
	if (!fOwnerMessenger.LockTarget()) {
		Quit();
		return;
	}
	if (fForHours) {
		std::string hours;
		status = _Form().Hours(&hours, &problem) ? B_OK : B_BAD_VALUE;
		std::string name = fTag->Text();
		if (!name.empty() && name[0] == '@')
			name.erase(0, 1);
		if (status == B_OK)
			status = fOwner->ApplyHours(fOldKey, name, hours, &problem);
	} else {
		status = _TakeNewPin(&problem) ? B_OK : B_BAD_VALUE;
		if (status == B_OK)
			status = fOwner->ApplyForm(_Form(), fOldKey, &problem);
	}
	fOwner->Unlock();
	if (status != B_OK) {
		_SetProblem(problem);
		return;
	}
	Quit();
}


void
TagDialog::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kSave:
			_Save();
			break;
		case kCancel:
			Quit();
			break;
		case kPinChosen:
		{
			int32 when = 0;
			if (message->FindInt32("pin", &when) == B_OK) {
				fPinWhen = (TagForm::PinWhen)when;
				_ShowWhen();
			}
			break;
		}
		case kWhenChosen:
		{
			int32 when = 0;
			if (message->FindInt32("when", &when) == B_OK) {
				fWhen = (TagForm::When)when;
				_ShowWhen();
			}
			break;
		}
		default:
			BWindow::MessageReceived(message);
	}
}
