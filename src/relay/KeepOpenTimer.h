#ifndef KEEP_OPEN_TIMER_H
#define KEEP_OPEN_TIMER_H

#include <Messenger.h>
#include <OS.h>

#include <mutex>
#include <thread>

// The end of a keep-open: when its time comes, 'rxKe' with the keep-open's
// generation is posted to the target, once. The time is on the clock of
// system_time() (CLOCK_BOOTTIME): a suspend counts, so a door kept open
// for an hour before the machine slept closes as it wakes, not an hour
// later. One thread waits on a timerfd and nothing else wakes it: no
// polling, whatever the time. Armed again, it forgets the earlier time;
// the thread is joined when the timer goes.
class KeepOpenTimer {
public:
							KeepOpenTimer(BMessenger target);
							~KeepOpenTimer();

							KeepOpenTimer(const KeepOpenTimer&) = delete;
			KeepOpenTimer&	operator=(const KeepOpenTimer&) = delete;

	// At the system_time() given; a time that has passed fires at once.
	// B_OK, or the error that kept the timer from being set (then nothing
	// will fire, and the caller must not rely on it).
			status_t		Arm(bigtime_t when, int32 generation);
			void			Disarm();

private:
			void			_Wait();

			BMessenger		fTarget;
			int				fTimerFD = -1;
			int				fStopFD = -1;
			std::mutex		fLock;
			int32			fGeneration = 0;
			std::thread		fThread;
};

#endif
