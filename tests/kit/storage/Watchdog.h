#ifndef STORAGE_WATCHDOG_H
#define STORAGE_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the process if a concurrent test has not finished in time, so that a
// deadlock fails the test instead of hanging the suite.
class Watchdog {
public:
	explicit Watchdog(int seconds)
		:
		fThread([this, seconds] {
			std::unique_lock<std::mutex> lock(fLock);
			if (!fDone.wait_for(lock, std::chrono::seconds(seconds),
					[this] { return fFinished; })) {
				fprintf(stderr, "watchdog: test still running after %d s\n",
					seconds);
				abort();
			}
		})
	{
	}

	~Watchdog()
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fFinished = true;
		}
		fDone.notify_all();
		fThread.join();
	}

private:
	std::mutex fLock;
	std::condition_variable fDone;
	bool fFinished = false;
	std::thread fThread;
};

#endif
