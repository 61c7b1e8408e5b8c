#include "KeepOpenTimer.h"

#include <DeskDefs.h>
#include <Message.h>

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>


KeepOpenTimer::KeepOpenTimer(BMessenger target)
	:
	fTarget(target)
{
}


KeepOpenTimer::~KeepOpenTimer()
{
	if (fThread.joinable()) {
		uint64_t one = 1;
		ssize_t written = write(fStopFD, &one, sizeof(one));
		(void)written;
		fThread.join();
	}
	if (fTimerFD >= 0)
		close(fTimerFD);
	if (fStopFD >= 0)
		close(fStopFD);
}


status_t
KeepOpenTimer::Arm(bigtime_t when, int32 generation)
{
	if (fTimerFD < 0) {
		fTimerFD = timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK);
		if (fTimerFD < 0)
			return B_FROM_POSIX_ERROR(errno);
	}
	if (fStopFD < 0) {
		fStopFD = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
		if (fStopFD < 0)
			return B_FROM_POSIX_ERROR(errno);
	}
	{
		std::lock_guard<std::mutex> guard(fLock);
		fGeneration = generation;
	}
	// Zero would disarm the timer: a time that has passed is a nanosecond
	// after the clock's start.
	struct itimerspec at = {};
	if (when <= 0)
		at.it_value.tv_nsec = 1;
	else {
		at.it_value.tv_sec = when / 1000000;
		at.it_value.tv_nsec = (when % 1000000) * 1000;
	}
	if (timerfd_settime(fTimerFD, TFD_TIMER_ABSTIME, &at, nullptr) != 0)
		return B_FROM_POSIX_ERROR(errno);
	if (!fThread.joinable()) {
		fThread = std::thread([this] {
			pthread_setname_np(pthread_self(), "keep-open");
			_Wait();
		});
	}
	return B_OK;
}


void
KeepOpenTimer::Disarm()
{
	if (fTimerFD < 0)
		return;
	struct itimerspec off = {};
	timerfd_settime(fTimerFD, 0, &off, nullptr);
	std::lock_guard<std::mutex> guard(fLock);
	// A firing that was already read posts a generation nobody waits for.
	fGeneration = 0;
}


void
KeepOpenTimer::_Wait()
{
	for (;;) {
		pollfd entries[2] = {{fTimerFD, POLLIN, 0}, {fStopFD, POLLIN, 0}};
		if (poll(entries, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (entries[1].revents != 0)
			return;
		uint64_t expirations = 0;
		if (read(fTimerFD, &expirations, sizeof(expirations)) <= 0)
			continue;
		int32 generation;
		{
			std::lock_guard<std::mutex> guard(fLock);
			generation = fGeneration;
		}
		if (generation == 0)
			continue;
		BMessage end(RDX_MSG_KEEP_OPEN_END);
		end.AddInt32(RDX_FIELD_GENERATION, generation);
		// A queue full of tag reads only delays the end: it is posted as
		// soon as there is room, unless the timer goes meanwhile (the
		// quit then closes the relay).
		for (;;) {
			status_t status = fTarget.SendMessage(&end, nullptr, 100000);
			if (status != B_TIMED_OUT)
				break;
			pollfd stop = {fStopFD, POLLIN, 0};
			if (poll(&stop, 1, 0) > 0)
				return;
		}
	}
}
