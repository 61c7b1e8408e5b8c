#ifndef RDX_WINDOW_H
#define RDX_WINDOW_H

#include <Window.h>

#include <LockdownFile.h>

#include <memory>
#include <string>

class BBox;
class BButton;
class BCheckBox;
class BRadioButton;
class BStringView;
class BTextControl;
class BView;
class KeepOpenTimer;
class Prefs;

// The one window: board use, the board's address, the relay used by tags,
// the hold-open time, "open all relay", and the two page buttons. It owns the
// settings record and keeps controls, settings and relay colours in step.
class RDXWindow : public BWindow {
public:
							RDXWindow(BRect frame);
	virtual					~RDXWindow();

	virtual	void			MessageReceived(BMessage* message);
	virtual	bool			QuitRequested();
	virtual	void			FrameMoved(BPoint newPosition);
	virtual	void			FrameResized(float newWidth, float newHeight);

	virtual	void			AddOptionalByWinKey(BMessage* message);
	virtual	void			Add_RDX_Gui(BRect rect, BView* parent);
	virtual	void			RdxOpenDoor(BMessage* message);
	virtual	void			OpenPage(BMessage* message);

			// Tells the application's watchers the settings (and the relay
			// status string) when they changed since the last notice, or
			// always. Called with the window locked.
			void			SendSettingsNotice(bool always);

			// A tag read, exit press or relock whose sender gave up before
			// it is taken: it opens (or closes) nothing, and one line and a
			// record say so. A deadline that cannot be read is not met.
	static	bool			CameTooLate(BMessage* message);

			// Tells the watchers how the door stands (lockdown, a
			// keep-open), as the answer to the command when one is given:
			// refused for the reason why, done when why is null. Called
			// with the window locked.
			void			SendDoorModeNotice(const BMessage* command,
								const char* why);
			// Whether every open is refused now. A lockdown that came of a
			// state file that could not be believed is looked at again.
			// With the window locked.
			bool			InLockdown();

private:
			void			_HandleCloseReport(BMessage* message);
			// The desk's commands ('rxKo', 'rxKe', 'rxLd'), with the window
			// locked.
			void			_KeepOpen(BMessage* message);
			void			_KeepOpenTimeUp(BMessage* message);
			void			_Lockdown(BMessage* message);
			// Ends a keep-open and closes its relay, whatever board use
			// says; why goes into the line and the log.
			void			_EndKeepOpen(const char* why, const char* by,
								const char* cause);
			// Puts the lockdown back into its state file when the file no
			// longer says so (removed, rewritten by hand, its directory
			// gone): only the lift ends a lockdown, also for the readers
			// and the next start.
			void			_KeepLockdownWritten();
			// The relay is kept open: a tag, the exit button or a relock
			// changes nothing (one line says so).
			bool			_KeptOpen(int32 relay, const char* what);

			std::unique_ptr<Prefs> prefs;
			// The settings as the watchers last heard them.
			struct Noticed {
				bool		valid = false;
				bool		use = false;
				std::string	address;
				int32		holdTime = 0;
				int32		tagRelay = 0;
			};
			Noticed			noticed;
			// The keep-open under way: its relay (0 for none), its end on
			// the clock of system_time() and on the wall clock, who asked.
			struct KeptOpen {
				int32		relay = 0;
				bigtime_t	until = 0;
				int64		untilMs = 0;
				std::string	by;
			};
			KeptOpen		keptOpen;
			int32			keepOpenGeneration = 0;
			std::unique_ptr<KeepOpenTimer> keepOpenTimer;
			LockdownFile	lockdownFile;
			bool			lockdown = false;
			// Who set the lockdown in force and when, as its file says.
			std::string		lockdownBy;
			std::string		lockdownSince;
			// Lockdown only because the state file could not be believed.
			bool			lockdownDoubted = false;
			// Whether there was a state file when that doubt began: one
			// gone since was removed while others could.
			bool			lockdownFileSeen = false;
			BView*			backView = nullptr;
			BBox*			relayBox = nullptr;
			BButton*		openAllButton = nullptr;
			BCheckBox*		useCheckBox = nullptr;
			BTextControl*	ipControl = nullptr;
			BTextControl*	closeAfterControl = nullptr;
			BRadioButton*	relayButtons[4] = {};
			BStringView*	tagsLabel = nullptr;
			BButton*		browserButton = nullptr;
			BButton*		ownerButton = nullptr;
};

#endif
