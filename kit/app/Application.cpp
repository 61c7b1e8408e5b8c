#include <Application.h>

#include <Message.h>

#include "MessagePort.h"
#include "MessageQueue.h"
#include "SignalWatcher.h"

#include <cstdio>

BApplication* be_app = nullptr;
BMessenger& be_app_messenger = *new BMessenger;


BApplication::BApplication(const char* signature, uint32 launchFlags)
	:
	BLooper(signature),
	fSignature(signature != nullptr ? signature : "")
{
	// Diagnostic lines must appear at once and in order, also in a pipe.
	setvbuf(stdout, nullptr, _IOLBF, 0);

	be_app = this;
	// Set once, before any other thread can read it; once the application is
	// gone the messenger's sends fail by themselves.
	be_app_messenger = BMessenger(this);
	// The port comes first: a second instance of an exclusive application
	// must not take over the first one's signals, nor anything else.
	BPrivate::MessagePort::Limits limits;
	limits.exclusive = (launchFlags & B_EXCLUSIVE_LAUNCH) != 0;
	fPort = std::make_unique<BPrivate::MessagePort>(fSignature.c_str(),
		be_app_messenger, limits);
	// Without its port an exclusive application could not tell that
	// another instance runs, so it must not run either.
	if (limits.exclusive && fPort->InitCheck() != B_OK) {
		fInitStatus = fPort->InitCheck();
		fInitProblem = fPort->Problem();
		fPort.reset();
		return;
	}
	fSignalWatcher = std::make_unique<BPrivate::SignalWatcher>(
		be_app_messenger);
}


BApplication::~BApplication()
{
	_ClosePort();
	fSignalWatcher.reset();
	_QuitOtherLoopers();
	if (be_app == this)
		be_app = nullptr;
}


thread_id
BApplication::Run()
{
	AdoptCallingThread();
	ReadyToRun();
	task_looper();
	// Nobody takes messages any more: the port closes, and whoever posts
	// from now on learns that the application does not run. Under the
	// lock: another thread may be sending a notice through it right now.
	_ClosePort();
	_QuitOtherLoopers();
	return Thread();
}


void
BApplication::Quit()
{
	if (Thread() < 0 || find_thread(nullptr) == Thread()) {
		// Before Run() this makes Run() return at once.
		fTerminating = true;
		return;
	}
	Queue()->Push(std::make_unique<BMessage>(BPrivate::kQuitLooperMessage),
		nullptr, B_INFINITE_TIMEOUT);
}


void
BApplication::SendNotices(uint32 what, const BMessage* notice)
{
	BLooper::SendNotices(what, notice);
	std::lock_guard<std::mutex> guard(fPortLock);
	if (fPort != nullptr && fPort->CountWatchers() > 0)
		fPort->SendNotice(MakeNotice(what, notice));
}


void
BApplication::_ClosePort()
{
	std::unique_ptr<BPrivate::MessagePort> port;
	{
		std::lock_guard<std::mutex> guard(fPortLock);
		port.swap(fPort);
	}
	port.reset();
}


void
BApplication::ReadyToRun()
{
}


void
BApplication::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}


void
BApplication::FinishLooper()
{
	// The application object belongs to whoever constructed it.
}


void
BApplication::_QuitOtherLoopers()
{
	for (const RunningLooper& looper : _RunningLoopers(this)) {
		looper.queue->Push(
			std::make_unique<BMessage>(BPrivate::kQuitLooperMessage), nullptr,
			B_INFINITE_TIMEOUT);
		wait_for_thread(looper.thread, nullptr);
	}
}
