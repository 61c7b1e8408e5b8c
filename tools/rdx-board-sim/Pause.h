#ifndef PAUSE_H
#define PAUSE_H

#include <condition_variable>
#include <mutex>

// A wait that the end of the program cuts short, so that a slow answer never
// holds up a clean stop.
class Pause {
public:
	// False when the wait was cut short.
			bool			Wait(int milliseconds);
			void			Stop();

private:
			std::mutex		fLock;
			std::condition_variable fStopped;
			bool			fStopping = false;
};

#endif
