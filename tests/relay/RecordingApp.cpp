#include "RecordingApp.h"

#include <RDXDefs.h>

#include <chrono>

extern double test_now();


RecordingApp::RecordingApp()
	:
	BApplication("application/x-vnd-RDX-relay-test")
{
}


void
RecordingApp::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case RDX_MSG_STATUS:
		case RDX_MSG_CLOSE:
		case RDX_MSG_NO_ANSWER:
		{
			std::lock_guard<std::mutex> guard(fLock);
			fReports.push_back(Report{*message, test_now()});
			fArrived.notify_all();
			return;
		}
	}
	BApplication::MessageReceived(message);
}


bool
RecordingApp::WaitForReports(size_t count, double seconds)
{
	std::unique_lock<std::mutex> guard(fLock);
	return fArrived.wait_for(guard,
		std::chrono::duration<double>(seconds),
		[&] { return fReports.size() >= count; });
}


std::vector<RecordingApp::Report>
RecordingApp::Reports()
{
	std::lock_guard<std::mutex> guard(fLock);
	return fReports;
}


void
RecordingApp::ClearReports()
{
	std::lock_guard<std::mutex> guard(fLock);
	fReports.clear();
}


AppRunner::AppRunner()
	:
	fApp(new RecordingApp())
{
	fThread = std::thread([this] { fApp->Run(); });
}


AppRunner::~AppRunner()
{
	be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	fThread.join();
	delete fApp;
}
