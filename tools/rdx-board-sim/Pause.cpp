#include "Pause.h"

#include <chrono>


bool
Pause::Wait(int milliseconds)
{
	if (milliseconds <= 0)
		return true;
	std::unique_lock<std::mutex> guard(fLock);
	return !fStopped.wait_for(guard, std::chrono::milliseconds(milliseconds),
		[this] { return fStopping; });
}


void
Pause::Stop()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		fStopping = true;
	}
	fStopped.notify_all();
}
