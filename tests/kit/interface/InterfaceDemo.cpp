// A small program that uses the interface kit as an application does: one
// window with a box, buttons, a checkbox, radio buttons, text controls and
// a string view. It prints what its window receives, and it takes commands
// (one per line) from a FIFO, which it carries out on a thread of its own
// with the window locked, as the application's threads do.

#include <Application.h>
#include <Box.h>
#include <Button.h>
#include <CheckBox.h>
#include <Locale.h>
#include <Message.h>
#include <Messenger.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>
#include <Window.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Set before the command reader starts. The window is reached only while
// its messenger can lock it: it deletes itself when it quits.
class DemoWindow* sWindow = nullptr;
BMessenger sWindowMessenger;


void
PrintCode(const char* prefix, uint32 code)
{
	printf("%s '%c%c%c%c'\n", prefix, (char)(code >> 24), (char)(code >> 16),
		(char)(code >> 8), (char)code);
}


class DemoWindow : public BWindow {
public:
	DemoWindow(BRect frame)
		:
		BWindow(frame, "InterfaceDemo", B_TITLED_WINDOW, B_NOT_RESIZABLE,
			B_CURRENT_WORKSPACE)
	{
		SetFlags(B_NOT_RESIZABLE | B_NOT_ZOOMABLE);
		BRect bounds = Bounds();
		BView* back = new BView(bounds, "back", B_FOLLOW_ALL, B_WILL_DRAW);
		back->SetViewColor(make_color(237, 242, 235, 0));
		back->SetFontSize(11);
		AddChild(back);

		BBox* box = new BBox(BRect(10, 5, 390, 95), "box",
			B_FOLLOW_LEFT | B_FOLLOW_TOP,
			B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS, B_PLAIN_BORDER);
		box->SetLabel("Group");

		const uint32 flags = B_WILL_DRAW | B_NAVIGABLE;
		box->AddChild(new BCheckBox(BRect(10, 12, 110, 32), "check", "Check",
			new BMessage('chek'), B_FOLLOW_TOP, flags));
		box->AddChild(new BRadioButton(BRect(120, 12, 160, 32), "rad1", "1 ",
			new BMessage('rad1'), B_FOLLOW_LEFT | B_FOLLOW_TOP, flags));
		box->AddChild(new BRadioButton(BRect(165, 12, 205, 32), "rad2", "2 ",
			new BMessage('rad2'), B_FOLLOW_LEFT | B_FOLLOW_TOP, flags));
		box->AddChild(new BRadioButton(BRect(210, 12, 250, 32), "rad3", "3 ",
			new BMessage('rad3'), B_FOLLOW_LEFT | B_FOLLOW_TOP, flags));
		BButton* button = new BButton(BRect(260, 12, 370, 34), "button",
			"Press", new BMessage('butn'), B_FOLLOW_TOP, flags);
		box->AddChild(button);
		button->SetTarget(Parent(), nullptr);

		BTextControl* text = new BTextControl(BRect(10, 40, 200, 60), "text",
			"IP:", "abc", new BMessage('text'),
			B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM, flags);
		box->AddChild(text);
		text->SetDivider(text->StringWidth(text->Label()) + 8);
		text->SetTarget(Parent(), nullptr);
		BTextControl* other = new BTextControl(BRect(210, 40, 370, 60),
			"other", "T:", "5", new BMessage('othr'),
			B_FOLLOW_LEFT | B_FOLLOW_TOP, flags);
		box->AddChild(other);

		box->AddChild(new BStringView(BRect(10, 65, 200, 85), "string",
			be_locale->GetString("Tags use Relay:"),
			B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW));
		back->AddChild(box);

		BButton* page = new BButton(BRect(20, 100, 90, 119), "page", "Browser",
			new BMessage('page'), B_FOLLOW_TOP, flags);
		page->SetTarget(this, nullptr);
		back->AddChild(page);
	}

	~DemoWindow() override
	{
		printf("window deleted\n");
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == B_UNMAPPED_KEY_DOWN) {
			int32 key = 0;
			int32 modifiers = 0;
			message->FindInt32("key", &key);
			message->FindInt32("modifiers", &modifiers);
			printf("unmapped key=%d modifiers=0x%x\n", (int)key,
				(unsigned)modifiers);
			return;
		}
		PrintCode("message", message->what);
		if (message->what == 'text' || message->what == 'othr') {
			BTextControl* control = dynamic_cast<BTextControl*>(FindView(
				message->what == 'text' ? "text" : "other"));
			printf("text now '%s'\n", control->Text());
		}
	}

	bool QuitRequested() override
	{
		printf("quit requested\n");
		be_app_messenger.SendMessage(B_QUIT_REQUESTED);
		return true;
	}

	void FrameMoved(BPoint where) override
	{
		printf("moved %.0f %.0f\n", where.x, where.y);
	}
};


// Carries out one command with the window locked; false when the window
// is gone.
void
RunCommand(const std::string& line)
{
	std::istringstream in(line);
	std::string command;
	std::string name;
	in >> command >> name;

	if (!sWindowMessenger.LockTarget())
		return;
	BView* view = sWindow->FindView(name.c_str());
	BControl* control = dynamic_cast<BControl*>(view);
	if (command == "setvalue" && control != nullptr) {
		int value = 0;
		in >> value;
		control->SetValue(value);
	} else if (command == "settext") {
		std::string text;
		std::getline(in >> std::ws, text);
		if (BTextControl* textControl = dynamic_cast<BTextControl*>(view))
			textControl->SetText(text.c_str());
		else if (BStringView* stringView = dynamic_cast<BStringView*>(view))
			stringView->SetText(text.c_str());
	} else if (command == "color" && view != nullptr) {
		int red = 0;
		int green = 0;
		int blue = 0;
		in >> red >> green >> blue;
		view->SetViewColor(make_color(red, green, blue, 0));
		view->Invalidate();
	} else if (command == "enable" && control != nullptr) {
		int enabled = 1;
		in >> enabled;
		control->SetEnabled(enabled != 0);
	} else if (command == "focus" && view != nullptr) {
		int focus = 1;
		in >> focus;
		view->MakeFocus(focus != 0);
	} else if (command == "print" && control != nullptr) {
		printf("state %s %d\n", name.c_str(), (int)control->Value());
	} else if (command == "quit") {
		sWindow->PostMessage(B_QUIT_REQUESTED);
	}
	sWindow->Unlock();
	printf("done %s\n", line.c_str());
}


void
ReadCommands(const std::string& path, std::atomic<bool>* stop)
{
	// Opened read-write, so that the FIFO never reports an end while the
	// test has not opened it yet.
	int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
	if (fd < 0)
		return;
	std::string pending;
	while (!*stop) {
		struct pollfd poller = {fd, POLLIN, 0};
		if (poll(&poller, 1, 100) <= 0)
			continue;
		char buffer[512];
		ssize_t got = read(fd, buffer, sizeof(buffer));
		if (got <= 0)
			break;
		pending.append(buffer, got);
		size_t newline;
		while ((newline = pending.find('\n')) != std::string::npos) {
			RunCommand(pending.substr(0, newline));
			pending.erase(0, newline + 1);
		}
	}
	close(fd);
}

}	// namespace


int
main(int argc, char** argv)
{
	BRect frame(30, 50, 430, 175);
	std::string commands;
	for (int i = 1; i < argc; i++) {
		if (strcmp(argv[i], "--frame") == 0 && i + 4 < argc) {
			frame.Set(atof(argv[i + 1]), atof(argv[i + 2]),
				atof(argv[i + 3]), atof(argv[i + 4]));
			i += 4;
		} else if (strcmp(argv[i], "--commands") == 0 && i + 1 < argc)
			commands = argv[++i];
	}

	printf("begin\n");
	BApplication application("application/x-vnd-RDX-InterfaceDemo");
	const char* labels[] = {"Use RDX", "Tags use Relay:", "Relay close after: ",
		"open all relay"};
	for (const char* label : labels)
		printf("label: [%s]\n", be_locale->GetString(label));

	sWindow = new DemoWindow(frame);
	sWindowMessenger = BMessenger(sWindow);
	sWindow->Show();

	std::atomic<bool> stop{false};
	std::thread reader;
	if (!commands.empty())
		reader = std::thread(ReadCommands, commands, &stop);

	application.Run();
	stop = true;
	if (reader.joinable())
		reader.join();
	printf("end\n");
	return 0;
}
