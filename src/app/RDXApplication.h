#ifndef RDX_APPLICATION_H
#define RDX_APPLICATION_H

#include <Application.h>
#include <Messenger.h>

#include <atomic>

class RDXWindow;

// The application: it creates and shows the main window, and it is where
// other programs and the relay workers post their messages; the system's own
// codes go on to the window's handler.
//
// Only one runs per user: a second one finds the first holding the message
// port and does not start (InitCheck() is then B_NAME_IN_USE), before it
// touches the board or the settings.
class RDXApplication : public BApplication {
public:
							RDXApplication();

	// Creates and shows the window, which sends the start-up pulse: only
	// once Run() starts, so that what must come before the pulse (closing
	// what an earlier run left open) can.
	virtual	void			ReadyToRun();
	virtual	void			MessageReceived(BMessage* message);
	virtual	void			SendNotices(uint32 what,
								const BMessage* notice = nullptr);

private:
			// The window ends its own life by quitting; it is reached only
			// while it is alive, through its messenger.
			RDXWindow*		window = nullptr;
			BMessenger		windowMessenger;
			// Board use as the last settings notice told it; -1 before the
			// first. Notices come from the window's thread as well.
			std::atomic<int> noticedUse{-1};
};

#endif
