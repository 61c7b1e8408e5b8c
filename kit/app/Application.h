#ifndef _APPLICATION_H
#define _APPLICATION_H

#include <AppDefs.h>
#include <Looper.h>
#include <Messenger.h>

#include <memory>
#include <mutex>
#include <string>

namespace BPrivate {
class MessagePort;
class SignalWatcher;
}

// The application: its looper runs on the thread that calls Run(). When the
// loop ends, every other looper (the windows) is asked to quit and its thread
// is waited for, so that their destructors have finished when Run() returns.
//
// From its construction until its loop ends, the application holds the
// message port of its signature, through which other programs post to it
// (BMessenger with a signature, the rdx-send tool). Its notices go to the
// watchers in this process and to those that watch through the port.
class BApplication : public BLooper {
public:
							BApplication(const char* signature,
								uint32 launchFlags = B_MULTIPLE_LAUNCH);
	virtual					~BApplication();

	virtual	thread_id		Run();
	virtual	void			Quit();
	virtual	void			ReadyToRun();
	virtual	void			MessageReceived(BMessage* message);

			const char*		Signature() const { return fSignature.c_str(); }
			// For an exclusive application (B_EXCLUSIVE_LAUNCH) that must
			// not run: B_NAME_IN_USE when another instance runs, another
			// error when its message port cannot be made safely (then
			// InitProblem() says why and what mends it). It has neither
			// port nor signal watcher, and the caller deletes it without
			// running it.
			status_t		InitCheck() const { return fInitStatus; }
			const char*		InitProblem() const
								{ return fInitProblem.c_str(); }

	virtual	void			SendNotices(uint32 what,
								const BMessage* notice = nullptr);

protected:
	virtual	void			FinishLooper();

private:
			void			_QuitOtherLoopers();
			void			_ClosePort();

			std::string		fSignature;
			status_t		fInitStatus = B_OK;
			std::string		fInitProblem;
			std::unique_ptr<BPrivate::SignalWatcher> fSignalWatcher;
			// Guards fPort against a notice sent from another thread while
			// the port closes.
			std::mutex		fPortLock;
			std::unique_ptr<BPrivate::MessagePort> fPort;
};

extern BApplication* be_app;
// Never destroyed: relay workers still in their hold time may send through
// it while the process exits; once the application is gone, its sends fail.
extern BMessenger& be_app_messenger;

#endif
