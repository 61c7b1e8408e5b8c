#ifndef _SIGNAL_WATCHER_H
#define _SIGNAL_WATCHER_H

#include <Messenger.h>
#include <OS.h>

namespace BPrivate {

// Turns SIGTERM and SIGINT into a B_QUIT_REQUESTED for the application, so
// that the program ends the way it does when its window is closed. The signal
// handler only writes a byte into a pipe; a thread of its own posts the
// message.
class SignalWatcher {
public:
							SignalWatcher(const BMessenger& target);
							~SignalWatcher();

private:
	static	void			_SignalHandler(int signal);
	static	status_t		_ThreadEntry(void* data);

			BMessenger		fTarget;
			thread_id		fThread = -1;
};

}	// namespace BPrivate

#endif
