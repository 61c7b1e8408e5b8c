#include "RDXWindow.h"

#include "Labels.h"

#include <Application.h>
#include <Message.h>
#include <Box.h>
#include <Button.h>
#include <CheckBox.h>
#include <RadioButton.h>
#include <StringView.h>
#include <TextControl.h>
#include <View.h>

#include <OS.h>

#include <Entry.h>
#include <MimeType.h>
#include <Path.h>
#include <String.h>

#include <AccessLog.h>
#include <DeskDefs.h>
#include <DoorDefs.h>
#include <KeepOpenTime.h>
#include <Prefs.h>
#include <RDXDefs.h>
#include <BoardCommand.h>
#include <KeepOpenTimer.h>
#include <OpenRelayRecord.h>
#include <RelayPath.h>
#include <RelayStatus.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/time.h>

namespace {

const rgb_color kBackgroundColor = {237, 242, 235, 0};


// A program path as one shell word: unchanged when it needs no quoting.
std::string
ShellWord(const char* path)
{
	for (const char* c = path; *c != '\0'; c++) {
		if (!isalnum((unsigned char)*c) && strchr("/._-+", *c) == nullptr)
			return ShellQuote(path);
	}
	return path;
}

int64
wall_clock_ms()
{
	struct timeval now;
	gettimeofday(&now, nullptr);
	return (int64)now.tv_sec * 1000 + now.tv_usec / 1000;
}


// "15:04:05", or with the date when it is not today: how a line says when a
// keep-open ends.
std::string
local_time(int64 milliseconds)
{
	time_t seconds = (time_t)(milliseconds / 1000);
	time_t today = time(nullptr);
	struct tm at;
	struct tm now;
	localtime_r(&seconds, &at);
	localtime_r(&today, &now);
	char text[32];
	strftime(text, sizeof(text), at.tm_yday == now.tm_yday
		&& at.tm_year == now.tm_year ? "%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &at);
	return text;
}


// What another program sent, as one line may show it: control characters
// as '?', and not endless.
std::string
printable(const char* text)
{
	std::string shown;
	for (const char* c = text; *c != '\0' && shown.size() < 80; c++)
		shown += (unsigned char)*c < 0x20 || *c == 0x7f ? '?' : *c;
	return shown;
}


// A sender's name as a line and a record may carry it.
std::string
sender_of(const BMessage* message)
{
	const char* sender = nullptr;
	if (message->FindString(RDX_FIELD_SENDER, &sender) != B_OK
		|| sender[0] == '\0')
		return "(no sender)";
	return printable(sender);
}

}	// namespace


RDXWindow::RDXWindow(BRect frame)
	:
	BWindow(frame, "RDX-BeOSApp", B_TITLED_WINDOW, B_NOT_RESIZABLE,
		B_CURRENT_WORKSPACE)
{
	BRect bounds = Bounds();
	SetFlags(B_NOT_RESIZABLE | B_NOT_ZOOMABLE);

	prefs = std::make_unique<Prefs>();
	// Only the stored position counts; the size stays the caller's.
	MoveTo(prefs->windowRect.left, prefs->windowRect.top);

	backView = new BView(bounds, "bview", B_FOLLOW_ALL, B_WILL_DRAW);
	backView->SetViewColor(kBackgroundColor);
	backView->SetFontSize(11);
	AddChild(backView);

	bounds = Bounds();
	Add_RDX_Gui(BRect(bounds.left + 10, bounds.top + 5, bounds.right - 10,
		bounds.top + 95), backView);

	ipControl->SetText(prefs->rdxIp);
	useCheckBox->SetValue(prefs->rdxUse ? 1 : 0);
	if (!prefs->rdxUse) {
		openAllButton->SetEnabled(false);
		ipControl->SetEnabled(false);
	}

	int tagButton = 0;
	switch (prefs->tagsUseDoor) {
		case 2: tagButton = 1; break;
		case 3: tagButton = 2; break;
		case 4: tagButton = 3; break;
	}
	relayButtons[tagButton]->SetValue(1);

	char holdText[16];
	snprintf(holdText, sizeof(holdText), "%ld Sec", (long)prefs->openInSecs);
	closeAfterControl->SetText(holdText);

	// Watchers hear of changes from these settings on.
	SendSettingsNotice(false);

	// Lockdown outlives every program: what the state directory holds is
	// in force from the first moment, and a file that cannot be believed
	// locks.
	LockdownFile::State state = lockdownFile.Read();
	lockdown = state.on;
	// Only a doubt about the way to the file ends with its mend; the file
	// itself may hold what others wrote into it, which no mend undoes.
	lockdownDoubted = state.wayDoubted;
	lockdownFileSeen = state.found;
	if (!state.problem.empty())
		printf("%s\n", state.problem.c_str());
	lockdownBy = state.by;
	lockdownSince = state.since;
	if (lockdown) {
		printf("lockdown is on%s%s%s%s: every tag, exit button, keep-open and"
			" remote open is refused until it is lifted (rdx-send --lockdown"
			" off)\n", state.by.empty() ? "" : " by ", state.by.c_str(),
			state.since.empty() ? "" : " since ", state.since.c_str());
		if (AccessLog* log = AccessLog::Default()) {
			log->Lockdown(true, state.by.c_str(), state.problem.empty()
				? "kept from before" : state.problem.c_str());
		}
	}

	printf("-- StartUp --\n");
	if (prefs->rdxUse && lockdown)
		printf("start-up pulse: lockdown: not sent\n");
	else if (prefs->rdxUse)
		Own_Thread(1, true, prefs->rdxIp, 1, RDX_CAUSE_START_UP);
}


RDXWindow::~RDXWindow()
{
	if (prefs == nullptr)
		return;
	prefs->SaveWin();
	if (lockdown && !lockdownDoubted)
		_KeepLockdownWritten();
	// A relay this program opened must not stay open because the program
	// ended during its hold time, or while it was kept open. The close may
	// wait on the board for the whole request limit: not with the toolkit
	// held.
	RunWithoutToolkitLock([this] {
		CloseOpenRelays(prefs->rdxIp);
		keepOpenTimer.reset();
	});
	prefs.reset();
}


void
RDXWindow::Add_RDX_Gui(BRect rect, BView* parent)
{
	relayBox = new BBox(rect, "rdx", B_FOLLOW_LEFT | B_FOLLOW_TOP,
		B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS, B_PLAIN_BORDER);
	relayBox->SetLabel("Tessaron");
	BRect b = relayBox->Bounds();

	openAllButton = new BButton(BRect(b.right - 146, b.top + 55, b.right - 7,
			b.top + 76), "rx_o", getLabel(LABEL_OPEN_ALL_RELAY),
		new BMessage(RDX_MSG_OPEN_ALL), B_FOLLOW_TOP,
		B_WILL_DRAW | B_NAVIGABLE);
	openAllButton->ResizeTo(139, 22);

	useCheckBox = new BCheckBox(BRect(b.left + 10, b.top + 12, b.right - 7,
			b.top + 32), "rx_u", getLabel(LABEL_USE_RDX),
		new BMessage(RDX_MSG_USE), B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	useCheckBox->ResizeTo(useCheckBox->StringWidth(useCheckBox->Label()) + 25,
		20);

	ipControl = new BTextControl(BRect(b.left + 10, b.top + 57, b.right - 165,
			b.top + 77), "RDX_ip", "IP:", RDX_DEFAULT_IP,
		new BMessage(RDX_MSG_ADDRESS), B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM,
		B_WILL_DRAW | B_NAVIGABLE);
	ipControl->SetDivider(ipControl->StringWidth(ipControl->Label()) + 8);

	closeAfterControl = new BTextControl(BRect(b.left + 150, b.top + 12,
			b.right - 10, b.top + 37), "rxca",
		getLabel(LABEL_RELAY_CLOSE_AFTER), "2", new BMessage(RDX_MSG_HOLD_TIME),
		B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	closeAfterControl->SetDivider(
		closeAfterControl->StringWidth(closeAfterControl->Label()) + 8);

	tagsLabel = new BStringView(BRect(b.left + 10, b.top + 31, b.right - 165,
			b.top + 51), "ivD", getLabel(LABEL_TAGS_USE_RELAY),
		B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
	tagsLabel->ResizeTo(tagsLabel->StringWidth(tagsLabel->Text()) + 5, 20);
	relayBox->AddChild(tagsLabel);

	struct RadioSpec {
		float left;
		float right;
		const char* name;
		const char* label;
		uint32 code;
		float width;
	};
	const RadioSpec radios[4] = {
		{10, 35, "rA", "1 ", RDX_MSG_RELAY_1, 31},
		{33, 63, "rB", "2 ", RDX_MSG_RELAY_2, 31},
		{64, 84, "rC", "3 ", RDX_MSG_RELAY_3, 31},
		{85, 105, "rD", "4 ", RDX_MSG_RELAY_4, 32},
	};
	for (int i = 0; i < 4; i++) {
		const RadioSpec& radio = radios[i];
		relayButtons[i] = new BRadioButton(BRect(b.left + radio.left,
				b.top + 12, b.left + radio.right, b.top + 32), radio.name,
			radio.label, new BMessage(radio.code),
			B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
		relayButtons[i]->ResizeTo(radio.width, 20);
	}
	for (int i = 0; i < 4; i++)
		relayBox->AddChild(relayButtons[i]);

	// One row: the first under the right-hand column, each next one 4 to the
	// right of the one before.
	relayButtons[0]->MoveTo(openAllButton->Frame().left,
		tagsLabel->Frame().top + 2);
	for (int i = 1; i < 4; i++) {
		BRect previous = relayButtons[i - 1]->Frame();
		relayButtons[i]->MoveTo(previous.right + 4, previous.top);
	}

	relayBox->AddChild(closeAfterControl);
	closeAfterControl->SetTarget(Parent(), nullptr);
	relayBox->AddChild(ipControl);
	ipControl->SetTarget(Parent(), nullptr);
	relayBox->AddChild(useCheckBox);
	useCheckBox->SetTarget(Parent(), nullptr);
	relayBox->AddChild(openAllButton);
	openAllButton->SetTarget(Parent(), nullptr);

	b = relayBox->Bounds();
	browserButton = new BButton(BRect(b.left + 20, b.bottom + 10, b.left + 90,
			b.bottom + 25), "ldevA", "Browser", new BMessage(RDX_MSG_MAIN_PAGE),
		B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	browserButton->ResizeTo(70, 19);
	browserButton->SetTarget(this, nullptr);

	ownerButton = new BButton(BRect(b.left + 110, b.bottom + 10, b.left + 190,
			b.bottom + 25), "ldevB", "Owner", new BMessage(RDX_MSG_OWNER_PAGE),
		B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	ownerButton->ResizeTo(80, 19);
	ownerButton->SetTarget(this, nullptr);

	if (parent == nullptr) {
		printf("no View target \n");
		return;
	}
	parent->AddChild(relayBox);
	parent->AddChild(browserButton);
	parent->AddChild(ownerButton);
}


void
RDXWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case RDX_MSG_TAG:
		{
			if (!message->HasString(RDX_FIELD_TAG))
				return;
			const char* tag = nullptr;
			message->FindString(RDX_FIELD_TAG, &tag);
			const char* reader = nullptr;
			message->FindString(RDX_FIELD_READER, &reader);
			// The application thread gets here without the window's lock;
			// the settings are shared with the window's thread.
			Lock();
			// Checked with the lock held: a stall waiting for it counts
			// against the sender's deadline too.
			if (CameTooLate(message)) {
				Unlock();
				return;
			}
			bool use = prefs->rdxUse;
			if (InLockdown()) {
				// Refused here too, whatever the reader made of it: one
				// that missed the lockdown still opens nothing.
				printf("tag %s: lockdown: not opened\n",
					printable(tag).c_str());
				if (AccessLog* log = AccessLog::Default())
					log->TagRefused(tag, reader, use, RDX_OUTCOME_LOCKDOWN);
				Unlock();
				return;
			}
			// A relay kept open stays as it is: nothing to open, and no
			// hold of the tag's own to end the keep-open early.
			if (!use)
				printf("rdx ist aus\n");
			else if (!_KeptOpen(prefs->tagsUseDoor, "tag")) {
				Own_Thread(prefs->tagsUseDoor, true, prefs->rdxIp,
					prefs->openInSecs, RDX_CAUSE_TAG, tag);
			}
			// After the request is on its way: the door does not wait for
			// the record to be made.
			if (AccessLog* log = AccessLog::Default())
				log->Tag(tag, reader, use);
			Unlock();
			return;
		}

		case RDX_MSG_EXIT:
		{
			// The door's exit button: the tag relay for the hold time, as a
			// tag read opens it, and only with board use on.
			Lock();
			if (CameTooLate(message)) {
				Unlock();
				return;
			}
			if (InLockdown()) {
				const char* reader = nullptr;
				message->FindString(RDX_FIELD_READER, &reader);
				printf("exit request from %s: lockdown: not opened\n",
					reader != nullptr ? printable(reader).c_str() : "(none)");
				if (AccessLog* log = AccessLog::Default()) {
					DoorRecord record;
					record.what = "exit";
					record.input = reader != nullptr ? reader : "";
					record.result = RDX_OUTCOME_LOCKDOWN;
					log->Door(record);
				}
			} else if (prefs->rdxUse
				&& !_KeptOpen(prefs->tagsUseDoor, "exit request")) {
				Own_Thread(prefs->tagsUseDoor, true, prefs->rdxIp,
					prefs->openInSecs, RDX_CAUSE_EXIT);
			} else if (!prefs->rdxUse)
				printf("rdx ist aus\n");
			Unlock();
			return;
		}

		case RDX_MSG_RELOCK:
		{
			// Only ever a close, and only of the tag relay this program
			// holds open: a relock can never open the door.
			Lock();
			if (CameTooLate(message)) {
				Unlock();
				return;
			}
			// A door kept open on purpose is not relocked behind people.
			int32 relay = prefs->tagsUseDoor;
			bool kept = _KeptOpen(relay, "relock");
			if (!kept && RelayMark(relay) == 'o')
				Own_Thread(relay, false, prefs->rdxIp, 2, RDX_CAUSE_RELOCK);
			else if (!kept)
				printf("relock: relay %ld is not open\n", (long)relay);
			Unlock();
			return;
		}

		case RDX_MSG_NO_ANSWER:
			Lock();
			if (prefs->rdxUse && AccessLog::Default() != nullptr)
				AccessLog::Default()->BoardUse(false, "no-answer");
			prefs->rdxUse = false;
			prefs->Save();
			Unlock();
			_HandleCloseReport(message);
			return;

		case RDX_MSG_CLOSE:
			_HandleCloseReport(message);
			return;

		case RDX_MSG_KEEP_OPEN:
			Lock();
			_KeepOpen(message);
			Unlock();
			return;

		case RDX_MSG_KEEP_OPEN_END:
			Lock();
			_KeepOpenTimeUp(message);
			Unlock();
			return;

		case RDX_MSG_LOCKDOWN:
			Lock();
			_Lockdown(message);
			Unlock();
			return;

		case RDX_MSG_RELAY_1:
		case RDX_MSG_RELAY_2:
		case RDX_MSG_RELAY_3:
		case RDX_MSG_RELAY_4:
		case RDX_MSG_ADDRESS:
		case RDX_MSG_OPEN_ALL:
		case RDX_MSG_STATUS:
		case RDX_MSG_USE:
		case RDX_MSG_HOLD_TIME:
			RdxOpenDoor(message);
			return;

		case RDX_MSG_RELOAD:
		{
			Lock();
			// The stored frame is where the window was at the last quit or
			// save; where it is now is what the next quit must store.
			BRect liveFrame = prefs->windowRect;
			prefs->LoadPrefs();
			prefs->windowRect = liveFrame;
			SendSettingsNotice(false);
			Unlock();
			return;
		}

		case RDX_MSG_MAIN_PAGE:
		case RDX_MSG_OWNER_PAGE:
			OpenPage(message);
			return;

		case B_UNMAPPED_KEY_DOWN:
			AddOptionalByWinKey(message);
			return;

		case '_KDN':
		case B_KEY_DOWN:
		case B_KEY_UP:
		case B_MODIFIERS_CHANGED:
		case B_MOUSE_DOWN:
		case B_MOUSE_MOVED:
		case B_MOUSE_UP:
		case '_PBL':
		case B_UNMAPPED_KEY_UP:
			return;
	}

	printf("RDXWindow::MessageReceived\n");
	message->PrintToStream();
	BWindow::MessageReceived(message);
}


void
RDXWindow::_HandleCloseReport(BMessage* message)
{
	Lock();
	int32 relay = 0;
	message->FindInt32(RDX_FIELD_RELAIS, &relay);
	// The hold of an open that the door's relock closed early ends while
	// a later open (the next tag) holds the relay: that one's own hold
	// closes it, not this. Only while the relay is marked open: a later
	// open that was never sent (its record could not be written) holds
	// nothing, and this close goes on as ever.
	int32 hold = 0;
	if (message->what == RDX_MSG_CLOSE
		&& message->FindInt32(RDX_FIELD_HOLD, &hold) == B_OK
		&& hold != RelayOpensBegun(relay) && RelayMark(relay) == 'o') {
		printf("relay %ld: the hold of an earlier open ends; it was opened"
			" again since, and is closed when that hold ends\n", (long)relay);
		Unlock();
		return;
	}
	// A tag's hold that a keep-open took over: the keep-open's end closes
	// the relay, and its button stays as it is.
	if (message->what == RDX_MSG_CLOSE && _KeptOpen(relay, "hold")) {
		Unlock();
		return;
	}
	if (prefs->rdxUse)
		Own_Thread(relay, false, prefs->rdxIp, 2, RDX_CAUSE_HOLD_END);
	else {
		printf("rdx ist aus\n");
		// A relay this program opened is closed after its hold time even
		// when board use went off meanwhile, or the open was a test pulse
		// while board use was off: otherwise the door would stay open.
		if (message->what == RDX_MSG_CLOSE && RelayMark(relay) == 'o')
			Own_Thread(relay, false, prefs->rdxIp, 2, RDX_CAUSE_HOLD_END);
	}
	Unlock();
	RdxOpenDoor(message);
}


void
RDXWindow::AddOptionalByWinKey(BMessage* message)
{
	int32 modifiers = 0;
	int32 key = 0;
	message->FindInt32(RDX_FIELD_MODIFIERS, &modifiers);
	message->FindInt32(RDX_FIELD_KEY, &key);

	if ((modifiers & (B_LEFT_OPTION_KEY | B_CONTROL_KEY)) != 0)
		printf(".. B_LEFT_OPTION_KEY || B_CONTROL_KEY\n");
	if (key == 102)
		printf("kkey==102 Win-LEFT\n");
	else if (key == 103)
		printf("kkey==103 Win-RIGHT\n");
	else {
		printf("use Left-Win-Key ");
		printf("KState: %ld KKey %ld \n", (long)modifiers, (long)key);
	}
}


void
RDXWindow::FrameMoved(BPoint newPosition)
{
	if (prefs == nullptr)
		return;
	Lock();
	prefs->windowRect = Frame();
	Unlock();
}


void
RDXWindow::FrameResized(float newWidth, float newHeight)
{
	backView->Invalidate();
}


bool
RDXWindow::QuitRequested()
{
	BMessage quit(B_QUIT_REQUESTED);
	be_app_messenger.SendMessage(&quit, nullptr, B_INFINITE_TIMEOUT);
	return true;
}


void
RDXWindow::RdxOpenDoor(BMessage* message)
{
	if (message == nullptr)
		return;
	Lock();
	BString addressText(ipControl->Text());
	AccessLog* log = AccessLog::Default();

	switch (message->what) {
		case RDX_MSG_NO_ANSWER:
			prefs->rdxUse = false;
			useCheckBox->SetValue(0);
			openAllButton->SetEnabled(false);
			ipControl->SetEnabled(false);
			break;

		case RDX_MSG_STATUS:
		{
			int32 openedRelay = 0;
			message->FindInt32(RDX_FIELD_OPEN, &openedRelay);
			const char* image;
			if (message->FindString(RDX_FIELD_IMAGE, &image) == B_OK)
				addressText = image;
			const rgb_color color = prefs->rdxUse
				? rgb_color{105, 220, 105, 0} : rgb_color{220, 105, 105, 0};
			if (openedRelay != 0)
				printf(" OPEN %ld|%s\n", (long)openedRelay, addressText.String());
			if (openedRelay >= 1 && openedRelay <= 4) {
				relayButtons[openedRelay - 1]->SetViewColor(color);
				relayButtons[openedRelay - 1]->Invalidate();
			}
			// 'o' sorts before 'x': any relay marked open compares less.
			openAllButton->SetEnabled(addressText.Compare("-xxxx") >= 0);
			break;
		}

		case RDX_MSG_CLOSE:
		{
			BString image("-uuuu---");
			const char* reported;
			if (message->FindString(RDX_FIELD_IMAGE, &reported) == B_OK)
				image = reported;
			int32 relay = 0;
			message->FindInt32(RDX_FIELD_RELAIS, &relay);
			printf("CLOSE %ld|%s\n", (long)relay, image.String());
			rgb_color background = backView->ViewColor();
			if (relay >= 1 && relay <= 4) {
				relayButtons[relay - 1]->SetViewColor(background);
				relayButtons[relay - 1]->Invalidate();
			}
			break;
		}

		case RDX_MSG_OPEN_ALL:
		{
			if (InLockdown()) {
				printf("open all relay: lockdown: nothing opened\n");
				break;
			}
			// With board use off nothing is sent, so a relay that is held
			// open must keep its mark: its close after the hold time, and
			// the close when the program quits, are made for the relays
			// marked open. The reset is for a request that follows.
			if (prefs->rdxUse || RDX_RSTATUS[0].load() != '-')
				WriteRelayStatus(RDX_RSTATUS_RESET);
			int32 holdTime = prefs->openInSecs;
			openAllButton->SetEnabled(false);
			for (int32 relay = 1; relay <= 4; relay++) {
				if (!prefs->rdxUse)
					break;
				Own_Thread(relay, true, addressText.String(), holdTime,
					RDX_CAUSE_OPEN_ALL);
			}
			break;
		}

		case RDX_MSG_RELAY_1:
		case RDX_MSG_RELAY_2:
		case RDX_MSG_RELAY_3:
		case RDX_MSG_RELAY_4:
		{
			int32 relay = (int32)(message->what & 0xff) - '0';
			if (log != nullptr && prefs->tagsUseDoor != relay)
				log->Setting("tag relay", prefs->tagsUseDoor, relay);
			prefs->tagsUseDoor = relay;
			prefs->Save();
			// A test pulse, whether board use is on or not.
			Own_Thread(relay, true, addressText.String(), 2,
				RDX_CAUSE_PANEL);
			break;
		}

		case RDX_MSG_HOLD_TIME:
		{
			long holdTime = strtol(closeAfterControl->Text(), nullptr, 10);
			if (holdTime < 1 || holdTime > 11)
				holdTime = 2;
			char holdText[32];
			snprintf(holdText, sizeof(holdText), "%ld Sec", holdTime);
			closeAfterControl->SetText(holdText);
			if (log != nullptr && prefs->openInSecs != (int32)holdTime)
				log->Setting("hold time", prefs->openInSecs, (int32)holdTime);
			prefs->openInSecs = (int32)holdTime;
			closeAfterControl->MakeFocus(false);
			prefs->Save();
			printf("open time= %ld\n", holdTime);
			break;
		}

		case RDX_MSG_ADDRESS:
			if (addressText.Length() >= (int32)sizeof(prefs->rdxIp)) {
				// Cutting the address would aim the door at another host.
				printf("address too long (%ld characters, at most %ld): "
					"not saved\n", (long)addressText.Length(),
					(long)sizeof(prefs->rdxIp) - 1);
				ipControl->SetText(prefs->rdxIp);
			} else {
				if (log != nullptr && strcmp(prefs->rdxIp,
						addressText.String()) != 0) {
					log->Setting("address", prefs->rdxIp,
						addressText.String());
				}
				snprintf(prefs->rdxIp, sizeof(prefs->rdxIp), "%s",
					addressText.String());
			}
			ipControl->MakeFocus(false);
			prefs->Save();
			break;

		case RDX_MSG_USE:
		{
			// Another program switches board use as the check box does.
			bool wanted;
			bool remote = message->FindBool(RDX_FIELD_USE, &wanted) == B_OK;
			if (remote)
				useCheckBox->SetValue(wanted ? 1 : 0);
			bool use = useCheckBox->Value() != 0;
			if (log != nullptr && use != prefs->rdxUse)
				log->BoardUse(use, remote ? "remote" : "operator");
			prefs->rdxUse = use;
			bool enable = useCheckBox->Value() == 1;
			openAllButton->SetEnabled(enable);
			ipControl->SetEnabled(enable);
			for (BRadioButton* button : relayButtons)
				button->SetEnabled(enable);
			prefs->Save();
			break;
		}
	}

	SendSettingsNotice(false);
	BMessage reload(RDX_MSG_RELOAD);
	be_app_messenger.SendMessage(&reload, nullptr, B_INFINITE_TIMEOUT);
	Unlock();
}


void
RDXWindow::SendSettingsNotice(bool always)
{
	if (prefs == nullptr || be_app == nullptr)
		return;
	Noticed now;
	now.valid = true;
	now.use = prefs->rdxUse;
	now.address = prefs->rdxIp;
	now.holdTime = prefs->openInSecs;
	now.tagRelay = prefs->tagsUseDoor;
	if (!always && noticed.valid && now.use == noticed.use
		&& now.address == noticed.address && now.holdTime == noticed.holdTime
		&& now.tagRelay == noticed.tagRelay)
		return;
	noticed = now;

	BMessage notice(RDX_NOTICE_SETTINGS);
	notice.AddBool(RDX_FIELD_USE, now.use);
	notice.AddString(RDX_FIELD_IP, now.address.c_str());
	notice.AddInt32(RDX_FIELD_DELAY, now.holdTime);
	notice.AddInt32(RDX_FIELD_RELAIS, now.tagRelay);
	notice.AddString(RDX_FIELD_IMAGE, CopyRelayStatus().c_str());
	be_app->SendNotices(RDX_NOTICE_SETTINGS, &notice);
}


bool
RDXWindow::CameTooLate(BMessage* message)
{
	const char* text = nullptr;
	if (message->FindString(RDX_FIELD_DEADLINE, &text) != B_OK)
		return false;
	bigtime_t now = system_time();
	bigtime_t deadline = 0;
	bool readable = ParseDeadline(text, &deadline);
	if (readable && now <= deadline)
		return false;

	const char* tag = nullptr;
	message->FindString(RDX_FIELD_TAG, &tag);
	const char* reader = nullptr;
	message->FindString(RDX_FIELD_READER, &reader);
	double late = readable ? (now - deadline) / 1000.0 : 0;
	if (message->what == RDX_MSG_KEEP_OPEN
		|| message->what == RDX_MSG_LOCKDOWN) {
		// The desk was told it did not work: it must not work later.
		std::string sender = sender_of(message);
		printf("%s from %s came %s: not carried out\n",
			message->what == RDX_MSG_KEEP_OPEN ? "keep open" : "lockdown off",
			sender.c_str(), readable ? (std::to_string((long long)late)
				+ " ms after its sender stopped waiting").c_str()
				: "with a deadline that is none");
		return true;
	}
	if (message->what != RDX_MSG_TAG) {
		// An exit press nobody waits for any more opens nothing; a late
		// relock leaves the relay to its hold time.
		bool exit = message->what == RDX_MSG_EXIT;
		std::string when = readable ? std::to_string((long long)late)
			+ " ms after its sender stopped waiting"
			: "with a deadline that is none (\"" + std::string(text) + "\")";
		printf("%s from %s came %s: %s\n", exit ? "exit request" : "relock",
			reader != nullptr ? reader : "(none)", when.c_str(),
			exit ? "not opened" : "not closed early");
		if (AccessLog* log = AccessLog::Default()) {
			DoorRecord record;
			record.what = exit ? "exit" : "relock";
			record.input = reader != nullptr ? reader : "";
			record.result = "too-late";
			record.lateMs = late;
			log->Door(record);
		}
		return true;
	}
	// When in doubt, lock: a deadline that cannot be read is not met.
	if (readable) {
		printf("tag %s came %.0f ms after its sender stopped waiting: "
			"not opened\n", tag != nullptr ? tag : "(none)", late);
	} else {
		printf("tag %s came with a deadline that is none (\"%s\"): not "
			"opened\n", tag != nullptr ? tag : "(none)", text);
	}
	if (AccessLog* log = AccessLog::Default())
		log->TagTooLate(tag, reader, late);
	return true;
}


void
RDXWindow::OpenPage(BMessage* message)
{
	BString commandLine(prefs->rdxIp);
	if (message != nullptr && message->what == RDX_MSG_OWNER_PAGE)
		commandLine.Append("/owner.htm");

	char signature[B_MIME_TYPE_LENGTH];
	BMimeType htmlType("text/html");
	entry_ref appRef;
	if (htmlType.GetPreferredApp(signature, B_OPEN) != B_OK) {
		printf("[open] no web browser is set for text/html: nothing started\n");
		return;
	}
	BMimeType appType(signature);
	BPath appPath;
	if (appType.GetAppHint(&appRef) != B_OK || appPath.SetTo(&appRef) != B_OK) {
		printf("[open] the web browser '%s' was not found: nothing started\n",
			signature);
		return;
	}

	// The page address stays one quoted word whatever the address holds.
	std::string page = std::string("http://") + commandLine.String();
	BString line(ShellWord(appPath.Path()).c_str());
	line << " " << ShellQuote(page.c_str()).c_str() << " &";
	printf("[open]%s \n", line.String());
	int status = system(line.String());
	(void)status;
}


bool
RDXWindow::_KeptOpen(int32 relay, const char* what)
{
	if (keptOpen.relay == 0 || keptOpen.relay != relay)
		return false;
	printf("%s: relay %ld is kept open until %s: nothing changes\n", what,
		(long)relay, local_time(keptOpen.untilMs).c_str());
	return true;
}


void
RDXWindow::_KeepOpen(BMessage* message)
{
	std::string by = sender_of(message);
	AccessLog* log = AccessLog::Default();
	auto refuse = [&](const char* why, const char* line) {
		printf("keep open from %s: %s\n", by.c_str(), line);
		if (log != nullptr)
			log->KeepOpen("refused", 0, 0, nullptr, by.c_str(), why);
		SendDoorModeNotice(message, why);
	};

	int32 seconds = -1;
	if (message->FindInt32(RDX_FIELD_SECONDS, &seconds) != B_OK
		|| seconds < 0 || seconds > RDX_KEEP_OPEN_MAX) {
		char line[96];
		snprintf(line, sizeof(line), "no time from 0 to %d seconds: refused",
			RDX_KEEP_OPEN_MAX);
		refuse(RDX_REFUSED_BAD_REQUEST, line);
		return;
	}
	if (seconds == 0) {
		// Ending closes, and a close is carried out whenever it comes.
		if (keptOpen.relay == 0)
			printf("keep open from %s: ended, but nothing is kept open\n",
				by.c_str());
		_EndKeepOpen("ended", by.c_str(), RDX_CAUSE_KEEP_OPEN_END);
		SendDoorModeNotice(message, nullptr);
		return;
	}
	if (CameTooLate(message)) {
		if (log != nullptr) {
			log->KeepOpen("refused", 0, 0, nullptr, by.c_str(),
				RDX_REFUSED_TOO_LATE);
		}
		SendDoorModeNotice(message, RDX_REFUSED_TOO_LATE);
		return;
	}
	if (InLockdown()) {
		refuse(RDX_REFUSED_LOCKDOWN, "lockdown: not opened");
		return;
	}
	if (!prefs->rdxUse) {
		refuse(RDX_REFUSED_BOARD_USE_OFF, "rdx ist aus: not opened");
		return;
	}
	// Refused now rather than kept open in name only: the record said
	// why, once.
	OpenRelayRecord* record = OpenRelayRecord::Default();
	if (record != nullptr && !record->Ready()) {
		refuse(RDX_REFUSED_NO_RECORD, "the record of open relays cannot be"
			" kept: not opened");
		return;
	}

	// A keep-open under way gets the new end, on its own relay.
	bool renew = keptOpen.relay != 0;
	int32 relay = renew ? keptOpen.relay : prefs->tagsUseDoor;
	if (keepOpenTimer == nullptr)
		keepOpenTimer = std::make_unique<KeepOpenTimer>(be_app_messenger);
	if (++keepOpenGeneration <= 0)
		keepOpenGeneration = 1;
	bigtime_t until = system_time() + (bigtime_t)seconds * 1000000;
	if (keepOpenTimer->Arm(until, keepOpenGeneration) != B_OK) {
		// Without its end it must not begin.
		refuse(RDX_REFUSED_NO_TIMER, "its end cannot be timed: not opened");
		if (renew)
			_EndKeepOpen("ended", by.c_str(), RDX_CAUSE_KEEP_OPEN_END);
		return;
	}
	keptOpen.relay = relay;
	keptOpen.until = until;
	keptOpen.untilMs = wall_clock_ms() + (int64)seconds * 1000;
	keptOpen.by = by;
	// Open already (a tag's hold): taken over as it is, and its hold's
	// end no longer closes it.
	if (RelayMark(relay) != 'o') {
		Own_Thread(relay, true, prefs->rdxIp, RDX_DELAY_KEPT,
			RDX_CAUSE_KEEP_OPEN);
	}
	printf("keep open from %s: relay %ld open until %s (%s)%s\n", by.c_str(),
		(long)relay, local_time(keptOpen.untilMs).c_str(),
		KeepOpenTime::Format(seconds).c_str(), renew ? ", renewed" : "");
	if (log != nullptr) {
		log->KeepOpen(renew ? "renew" : "start", relay, seconds,
			format_record_time(keptOpen.untilMs).c_str(), by.c_str(),
			nullptr);
	}
	SendDoorModeNotice(message, nullptr);
}


void
RDXWindow::_KeepOpenTimeUp(BMessage* message)
{
	int32 generation = 0;
	message->FindInt32(RDX_FIELD_GENERATION, &generation);
	// An earlier keep-open's time, ended or renewed since.
	if (keptOpen.relay == 0 || generation != keepOpenGeneration)
		return;
	_EndKeepOpen("time", nullptr, RDX_CAUSE_KEEP_OPEN_END);
	SendDoorModeNotice(nullptr, nullptr);
}


void
RDXWindow::_EndKeepOpen(const char* why, const char* by, const char* cause)
{
	int32 relay = keptOpen.relay;
	if (relay == 0)
		return;
	if (keepOpenTimer != nullptr)
		keepOpenTimer->Disarm();
	keptOpen = KeptOpen();
	printf("keep open: relay %ld closes (%s)\n", (long)relay, why);
	// Whatever board use says meanwhile: a close never opens a door. A
	// board that misses it keeps the relay in the record of open relays,
	// which closes it at the next chance.
	Own_Thread(relay, false, prefs->rdxIp, 2, cause);
	if (relay >= 1 && relay <= 4) {
		relayButtons[relay - 1]->SetViewColor(backView->ViewColor());
		relayButtons[relay - 1]->Invalidate();
	}
	if (AccessLog* log = AccessLog::Default())
		log->KeepOpen("end", relay, 0, nullptr, by, why);
}


void
RDXWindow::_Lockdown(BMessage* message)
{
	std::string by = sender_of(message);
	bool on;
	if (message->FindBool(RDX_FIELD_ON, &on) != B_OK) {
		printf("lockdown from %s: neither on nor off: refused\n", by.c_str());
		SendDoorModeNotice(message, RDX_REFUSED_BAD_REQUEST);
		return;
	}
	// A late lockdown is taken all the same: when in doubt, lock.
	if (!on && CameTooLate(message)) {
		SendDoorModeNotice(message, RDX_REFUSED_TOO_LATE);
		return;
	}

	// Said by a person now: no longer only the file's doubt.
	lockdownDoubted = false;
	std::string problem;
	std::string since = format_record_time(wall_clock_ms());
	status_t written = lockdownFile.Write(on, by, since, &problem);
	AccessLog* log = AccessLog::Default();
	if (!on && written != B_OK) {
		// Lifted here but not in the file, the readers and the next start
		// would lock while this rdx opens: it stays on everywhere.
		printf("lockdown from %s stays on: its lift cannot be written to %s"
			" (%s)\n", by.c_str(), lockdownFile.Path().c_str(),
			problem.c_str());
		SendDoorModeNotice(message, RDX_REFUSED_NOT_WRITTEN);
		return;
	}
	if (!on) {
		lockdown = false;
		printf("lockdown lifted by %s: tags open the door again\n",
			by.c_str());
		if (log != nullptr)
			log->Lockdown(false, by.c_str());
		SendDoorModeNotice(message, nullptr);
		return;
	}

	if (written != B_OK) {
		printf("lockdown from %s cannot be kept across a restart: %s cannot"
			" be written (%s); it holds until rdx ends\n", by.c_str(),
			lockdownFile.Path().c_str(), problem.c_str());
	}
	lockdown = true;
	lockdownBy = by;
	lockdownSince = since;
	printf("lockdown on by %s: every tag, exit button, keep-open and remote"
		" open is refused until it is lifted\n", by.c_str());
	if (log != nullptr)
		log->Lockdown(true, by.c_str());
	int32 kept = keptOpen.relay;
	_EndKeepOpen("lockdown", by.c_str(), RDX_CAUSE_LOCKDOWN);
	// Nobody passes from now on: a tag's hold ends too. The kept relay's
	// close is on its way, before its worker has marked it.
	for (int32 relay = 1; relay <= 4; relay++) {
		if (relay == kept || RelayMark(relay) != 'o')
			continue;
		printf("lockdown: relay %ld closes\n", (long)relay);
		Own_Thread(relay, false, prefs->rdxIp, 2, RDX_CAUSE_LOCKDOWN);
	}
	SendDoorModeNotice(message, nullptr);
}


bool
RDXWindow::InLockdown()
{
	if (!lockdownDoubted) {
		if (lockdown)
			_KeepLockdownWritten();
		return lockdown;
	}
	// A lockdown that only a state file beyond belief made ends once the
	// file can be believed again, as the record of open relays comes back
	// by itself: the next tag after the mend finds the door as it was.
	LockdownFile::State state = lockdownFile.Read();
	if (state.wayDoubted)
		return lockdown;
	lockdownDoubted = false;
	if (!state.problem.empty() || (!state.found && lockdownFileSeen)) {
		// Changed or removed while others could: what it said before is
		// not known, and only a lift ends the lockdown now.
		printf("the lockdown state %s %s: lockdown stays on until it is"
			" lifted (rdx-send --lockdown off)\n", lockdownFile.Path().c_str(),
			state.problem.empty() ? "is gone" : "cannot be believed");
		return lockdown;
	}
	lockdown = state.on;
	printf("the lockdown state %s can be trusted again: lockdown is %s\n",
		lockdownFile.Path().c_str(), lockdown ? "on" : "off");
	if (!lockdown) {
		if (AccessLog* log = AccessLog::Default()) {
			log->Lockdown(false, state.by.c_str(), "the state file can be"
				" trusted again");
		}
		SendDoorModeNotice(nullptr, nullptr);
	}
	return lockdown;
}


void
RDXWindow::_KeepLockdownWritten()
{
	LockdownFile::State state = lockdownFile.Read();
	if (state.on && state.problem.empty())
		return;
	std::string problem;
	if (lockdownFile.Write(true, lockdownBy, lockdownSince, &problem) != B_OK)
		return;
	printf("the lockdown state %s no longer said lockdown is on: written"
		" again (only a lift ends it)\n", lockdownFile.Path().c_str());
}


void
RDXWindow::SendDoorModeNotice(const BMessage* command, const char* why)
{
	if (be_app == nullptr)
		return;
	BMessage notice(RDX_NOTICE_DOOR_MODE);
	notice.AddBool(RDX_FIELD_LOCKDOWN, lockdown);
	notice.AddInt32(RDX_FIELD_KEPT_RELAY, keptOpen.relay);
	if (keptOpen.relay != 0) {
		notice.AddString(RDX_FIELD_KEPT_UNTIL,
			format_record_time(keptOpen.untilMs).c_str());
		bigtime_t left = keptOpen.until - system_time();
		notice.AddInt32(RDX_FIELD_KEPT_LEFT,
			left > 0 ? (int32)((left + 500000) / 1000000) : 0);
	}
	if (command != nullptr) {
		const char* request = nullptr;
		if (command->FindString(RDX_FIELD_REQUEST, &request) == B_OK)
			notice.AddString(RDX_FIELD_ANSWER, request);
		notice.AddString(RDX_FIELD_RESULT,
			why != nullptr ? RDX_RESULT_REFUSED : RDX_RESULT_DONE);
		if (why != nullptr)
			notice.AddString(RDX_FIELD_WHY, why);
		notice.AddString(RDX_FIELD_SENDER, sender_of(command).c_str());
	}
	be_app->SendNotices(RDX_NOTICE_DOOR_MODE, &notice);
}
