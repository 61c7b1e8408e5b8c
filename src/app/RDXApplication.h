#ifndef RDX_APPLICATION_H
#define RDX_APPLICATION_H

#include <Application.h>
#include <Messenger.h>

class RDXWindow;

// The application: it creates and shows the main window, and it is where
// other programs and the relay workers post their messages; the system's own
// codes go on to the window's handler.
class RDXApplication : public BApplication {
public:
							RDXApplication();

	virtual	void			MessageReceived(BMessage* message);

private:
			// The window ends its own life by quitting; it is reached only
			// while it is alive, through its messenger.
			RDXWindow*		window;
			BMessenger		windowMessenger;
};

#endif
