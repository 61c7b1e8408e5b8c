#include <Alert.h>

#include <Button.h>
#include <Invoker.h>
#include <Message.h>
#include <StringView.h>
#include <View.h>

#include "Toolkit.h"

#include <algorithm>
#include <sstream>

using namespace BPrivate;

namespace {

const uint32 kButtonMessage = '_ALB';
const float kMargin = 12;
const float kLineHeight = 18;
const float kButtonHeight = 24;


std::vector<std::string>
lines_of(const char* text)
{
	std::vector<std::string> lines;
	std::istringstream in(text != nullptr ? text : "");
	for (std::string line; std::getline(in, line);)
		lines.push_back(line);
	return lines;
}

}	// namespace


BAlert::BAlert(const char* title, const char* text, const char* button0Label,
	const char* button1Label, const char* button2Label, alert_type type)
	:
	BWindow(BRect(0, 0, 300, 100), title, B_MODAL_WINDOW,
		B_NOT_RESIZABLE | B_NOT_ZOOMABLE)
{
	std::vector<std::string> lines = lines_of(text);
	std::vector<const char*> labels;
	for (const char* label : {button0Label, button1Label, button2Label}) {
		if (label != nullptr)
			labels.push_back(label);
	}

	BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL, B_WILL_DRAW);
	AddChild(back);

	float textWidth = 0;
	for (const std::string& line : lines)
		textWidth = std::max(textWidth, back->StringWidth(line.c_str()));
	float buttonsWidth = 0;
	std::vector<float> widths;
	for (const char* label : labels) {
		widths.push_back(std::max(70.0f, back->StringWidth(label) + 24));
		buttonsWidth += widths.back() + 8;
	}
	// A label keeps a few pixels of its own at each side.
	float width = std::max(textWidth + 16, buttonsWidth) + 2 * kMargin;
	width = std::max(width, 260.0f);
	float height = kMargin + lines.size() * kLineHeight + kMargin
		+ kButtonHeight + kMargin;
	ResizeTo(width, height);
	back->ResizeTo(width, height);

	float top = kMargin;
	for (const std::string& line : lines) {
		back->AddChild(new BStringView(BRect(kMargin, top, width - kMargin,
			top + kLineHeight), "text", line.c_str()));
		top += kLineHeight;
	}

	// Buttons right-aligned, the last (the default) rightmost.
	float right = width - kMargin;
	float buttonTop = height - kMargin - kButtonHeight;
	std::vector<BButton*> buttons(labels.size());
	for (int32 i = (int32)labels.size() - 1; i >= 0; i--) {
		BMessage* message = new BMessage(kButtonMessage);
		message->AddInt32("which", i);
		buttons[i] = new BButton(BRect(right - widths[i], buttonTop, right,
			buttonTop + kButtonHeight), "button", labels[i], message);
		right -= widths[i] + 8;
	}
	for (BButton* button : buttons) {
		back->AddChild(button);
		button->SetTarget(this);
	}
	fButtons = buttons;
	if (!fButtons.empty())
		fButtons.back()->MakeDefault(true);

	// In the middle of the screen, as a dialog appears.
	MoveTo((Fl::w() - width) / 2, (Fl::h() - height) / 3);
}


BAlert::~BAlert()
{
}


void
BAlert::SetShortcut(int32 index, char key)
{
	BButton* button = ButtonAt(index);
	if (button == nullptr)
		return;
	if (key == B_ESCAPE)
		fEscapeButton = index;
	button->SetShortcutKey((uint8)key);
}


BButton*
BAlert::ButtonAt(int32 index) const
{
	if (index < 0 || index >= (int32)fButtons.size())
		return nullptr;
	return fButtons[index];
}


status_t
BAlert::Go(BInvoker* invoker)
{
	fInvoker.reset(invoker);
	// The keyboard belongs to the alert from the start, as the default
	// button's: Enter and Escape must not reach the window behind it.
	if (!fButtons.empty())
		fButtons.back()->MakeFocus(true);
	Show();
	return B_OK;
}


void
BAlert::MessageReceived(BMessage* message)
{
	if (message->what != kButtonMessage) {
		BWindow::MessageReceived(message);
		return;
	}
	int32 which = 0;
	message->FindInt32("which", &which);
	_Choose(which);
	Quit();
}


bool
BAlert::QuitRequested()
{
	_Choose(fEscapeButton);
	return true;
}


void
BAlert::_Choose(int32 index)
{
	// Once: a button's click ends the alert, whose quit must not choose
	// again.
	if (fChosen)
		return;
	fChosen = true;
	if (fInvoker == nullptr || fInvoker->Message() == nullptr)
		return;
	BMessage message(*fInvoker->Message());
	message.AddInt32("which", index);
	fInvoker->Invoke(&message);
}
