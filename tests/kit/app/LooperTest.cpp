#include <Application.h>
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>

#include <gtest/gtest.h>

#include "TempDir.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Records what it receives and on which thread.
class RecordingLooper : public BLooper {
public:
	RecordingLooper(std::atomic<bool>* deleted = nullptr)
		: BLooper("recorder"), fDeleted(deleted) {}
	~RecordingLooper() override
	{
		if (fDeleted != nullptr)
			*fDeleted = true;
	}

	void MessageReceived(BMessage* message) override
	{
		std::lock_guard<std::mutex> guard(fLock);
		int32 value = -1;
		message->FindInt32("n", &value);
		fValues.push_back(value);
		fThreads.push_back(find_thread(nullptr));
		fLocked = fLocked && IsLocked();
		fChanged.notify_all();
	}

	bool WaitForCount(size_t count)
	{
		std::unique_lock<std::mutex> guard(fLock);
		return fChanged.wait_for(guard, std::chrono::seconds(20),
			[&] { return fValues.size() >= count; });
	}

	std::vector<int32> Values()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fValues;
	}

	std::vector<thread_id> Threads()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fThreads;
	}

	bool fLocked = true;

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<int32> fValues;
	std::vector<thread_id> fThreads;
	std::atomic<bool>* fDeleted;
};


// The application's message port lives in the runtime directory; each test
// process gets its own, so that parallel tests do not meet there.
const char*
private_runtime_dir()
{
	static TempDir runtime("rdx-looper-runtime");
	setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
	return runtime.Path().c_str();
}


class QuittingApp : public BApplication {
public:
	QuittingApp()
		: BApplication((private_runtime_dir(),
			"application/x-vnd-RDX-looper-test")) {}
	void MessageReceived(BMessage* message) override
	{
		received.push_back(message->what);
	}
	std::vector<uint32> received;
};

}	// namespace


TEST(Looper, DispatchesInOrderOnItsOwnThreadWithTheLockHeld)
{
	std::atomic<bool> deleted{false};
	RecordingLooper* looper = new RecordingLooper(&deleted);
	thread_id thread = looper->Run();
	ASSERT_GE(thread, 0);

	BMessenger messenger(looper);
	const int kCount = 1000;
	for (int i = 0; i < kCount; i++) {
		BMessage message('test');
		message.AddInt32("n", i);
		ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	}
	ASSERT_TRUE(looper->WaitForCount(kCount));
	std::vector<int32> values = looper->Values();
	for (int i = 0; i < kCount; i++)
		ASSERT_EQ(values[i], i);
	for (thread_id dispatched : looper->Threads())
		ASSERT_EQ(dispatched, thread);
	EXPECT_TRUE(looper->fLocked);

	looper->Lock();
	looper->Quit();
	looper->Unlock();
	ASSERT_EQ(wait_for_thread(thread, nullptr), B_OK);
	EXPECT_TRUE(deleted);
	// The looper is gone: sending fails instead of blocking or crashing.
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage('late'), B_BAD_PORT_ID);
}


TEST(Looper, SendingDeliversACopy)
{
	RecordingLooper* looper = new RecordingLooper();
	thread_id thread = looper->Run();
	BMessenger messenger(looper);
	{
		BMessage message('test');
		message.AddInt32("n", 7);
		ASSERT_EQ(messenger.SendMessage(&message), B_OK);
		// The sender may change or drop its message at once.
		message.MakeEmpty();
		message.AddInt32("n", 8);
	}
	ASSERT_TRUE(looper->WaitForCount(1));
	EXPECT_EQ(looper->Values()[0], 7);
	looper->Lock();
	looper->Quit();
	looper->Unlock();
	wait_for_thread(thread, nullptr);
}


TEST(Looper, FullQueueMakesPlainThreadsWaitAndTimeOut)
{
	// A looper that never runs: its queue fills up.
	BLooper* looper = new BLooper("idle", B_NORMAL_PRIORITY, 3);
	BMessenger messenger(looper);
	BMessage message('fill');
	for (int i = 0; i < 3; i++)
		ASSERT_EQ(messenger.SendMessage(&message, nullptr, 0), B_OK);
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 0), B_WOULD_BLOCK);
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 20000), B_TIMED_OUT);

	// A sender blocked with an infinite time-out gives up when the looper
	// goes away instead of hanging.
	std::atomic<status_t> result{B_OK};
	std::thread sender([&] {
		BMessage late('late');
		result = messenger.SendMessage(&late);
	});
	std::this_thread::sleep_for(std::chrono::milliseconds(50));
	looper->Quit();
	sender.join();
	EXPECT_EQ(result.load(), B_BAD_PORT_ID);
}


TEST(Application, RunsOnTheCallingThreadAndQuitsOnRequest)
{
	QuittingApp* app = new QuittingApp();
	ASSERT_EQ(be_app, app);

	std::atomic<bool> deleted{false};
	RecordingLooper* other = new RecordingLooper(&deleted);
	other->Run();

	// Posted before Run(): handled once the loop runs, in order, and the
	// quit request ends the loop with the default handling.
	be_app_messenger.SendMessage('frst');
	be_app_messenger.SendMessage('scnd');
	be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	be_app_messenger.SendMessage('afte');

	thread_id self = find_thread(nullptr);
	EXPECT_EQ(app->Run(), self);
	ASSERT_EQ(app->received.size(), 2u);
	EXPECT_EQ(app->received[0], (uint32)'frst');
	EXPECT_EQ(app->received[1], (uint32)'scnd');
	// The other looper was quit and its thread waited for.
	EXPECT_TRUE(deleted);

	delete app;
	EXPECT_EQ(be_app, nullptr);
	EXPECT_EQ(be_app_messenger.SendMessage('gone'), B_BAD_PORT_ID);
}


TEST(Application, NoticesFromOtherThreadsMeetThePortAsTheLoopEnds)
{
	// A program whose own thread tells its watchers of events (rdx-door's
	// loop does) goes on doing so while the application's loop ends and
	// its message port closes; the port must go under the lock the
	// notices take, or a notice reads it while it is destroyed.
	QuittingApp* app = new QuittingApp();
	std::atomic<bool> stop{false};
	std::atomic<int> sent{0};
	std::thread notifier([&] {
		BMessage notice('ntce');
		notice.AddInt32("n", 1);
		while (!stop.load()) {
			app->SendNotices('ntce', &notice);
			sent++;
		}
	});
	while (sent.load() < 100)
		std::this_thread::yield();
	be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	app->Run();
	// Notices after the end reach no port and harm nothing.
	int after = sent.load();
	while (sent.load() < after + 100)
		std::this_thread::yield();
	stop = true;
	notifier.join();
	delete app;
	EXPECT_EQ(be_app, nullptr);
}


TEST(Application, TermSignalAsksTheApplicationToQuit)
{
	QuittingApp* app = new QuittingApp();
	std::thread killer([] {
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
		raise(SIGTERM);
	});
	app->Run();
	killer.join();
	EXPECT_TRUE(app->received.empty());
	delete app;
}


TEST(Looper, LockTargetHoldsOffTheLoopersEnd)
{
	std::atomic<bool> deleted{false};
	RecordingLooper* looper = new RecordingLooper(&deleted);
	thread_id thread = looper->Run();
	BMessenger messenger(looper);

	ASSERT_TRUE(messenger.LockTarget());
	// Asked to quit while another thread holds it: it must not be deleted
	// under that thread's feet.
	std::thread quitter([&] {
		BMessenger(looper).SendMessage(B_QUIT_REQUESTED);
	});
	quitter.join();
	snooze(100000);
	EXPECT_FALSE(deleted);
	looper->Unlock();

	ASSERT_EQ(wait_for_thread(thread, nullptr), B_OK);
	EXPECT_TRUE(deleted);
	EXPECT_FALSE(messenger.LockTarget());
}
