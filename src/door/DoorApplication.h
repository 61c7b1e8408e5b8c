#ifndef DOOR_APPLICATION_H
#define DOOR_APPLICATION_H

#include <Application.h>

class DoorLoop;

// rdx-door's application: it holds the message port (so that only one
// runs per user, rdx-mqtt can post a sensor's reports and watchers hear
// the door's events) and hands what comes in to the door's loop, which
// runs on a thread of its own.
class DoorApplication : public BApplication {
public:
							DoorApplication();

			void			SetLoop(DoorLoop* loop) { fLoop = loop; }
	virtual	void			MessageReceived(BMessage* message);
	// Ends the door's loop first: it sends the watchers their notices,
	// and must have stopped before the message port closes.
	virtual	bool			QuitRequested();

private:
			DoorLoop*		fLoop = nullptr;
};

#endif
