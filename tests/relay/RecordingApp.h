#ifndef TEST_RECORDING_APP_H
#define TEST_RECORDING_APP_H

#include <Application.h>
#include <Message.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// The application the relay workers report to. It keeps a copy of every
// worker report ('rx_k', 'rx_s', 'rx_c') with the time it arrived, and runs
// its loop on a thread of its own so that the tests can wait for reports.
class RecordingApp : public BApplication {
public:
	struct Report {
		BMessage	message;
		double		when;
	};

							RecordingApp();

			void			MessageReceived(BMessage* message) override;

	// Waits until at least count reports are kept; false on time-out.
			bool			WaitForReports(size_t count, double seconds);
			std::vector<Report> Reports();
			void			ClearReports();

private:
			std::mutex		fLock;
			std::condition_variable fArrived;
			std::vector<Report> fReports;
};

// Starts the application's loop on a std::thread and ends it.
class AppRunner {
public:
							AppRunner();
							~AppRunner();

			RecordingApp*	App() { return fApp; }

private:
			RecordingApp*	fApp;
			std::thread		fThread;
};

#endif
