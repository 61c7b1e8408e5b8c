#ifndef TEST_WATCHDOG_H
#define TEST_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

// Ends the test process with a clear line when a test hangs, instead of
// leaving it to the runner's time-out.
class Watchdog {
public:
	Watchdog(const std::string& what, double seconds)
	{
		fThread = std::thread([this, what, seconds] {
			std::unique_lock<std::mutex> guard(fLock);
			if (fChanged.wait_for(guard,
					std::chrono::duration<double>(seconds),
					[this] { return fDone; })) {
				return;
			}
			fprintf(stderr, "watchdog: %s still running after %.0f s\n",
				what.c_str(), seconds);
			abort();
		});
	}

	~Watchdog()
	{
		{
			std::lock_guard<std::mutex> guard(fLock);
			fDone = true;
		}
		fChanged.notify_all();
		fThread.join();
	}

	Watchdog(const Watchdog&) = delete;
	Watchdog& operator=(const Watchdog&) = delete;

private:
	std::mutex		fLock;
	std::condition_variable fChanged;
	bool			fDone = false;
	std::thread		fThread;
};

#endif
