// Watching: notices of a handler to watchers in this process, and through
// the message port to watchers in other processes, with the port's limits
// on watchers that do not read.

#include "PortTestSupport.h"

#include "MessagePort.h"
#include "PortWatcher.h"

#include <ChildProcess.h>
#include <Handler.h>
#include <Messenger.h>
#include <TempDir.h>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using BPrivate::MessagePort;
using BPrivate::PortWatcher;

namespace {

const char* kSignature = "application/x-vnd-RDX-WatchTest";
const uint32 kTagCode = 'RFID';
const uint32 kReportCode = 'rx_s';


BMessage
notice_of(uint32 what, const char* text)
{
	BMessage message(what);
	message.AddString("text", text);
	return BHandler::MakeNotice(what, &message);
}


// Reads notices until one arrives or the time is up.
status_t
next_notice(PortWatcher& watcher, BMessage* notice, double seconds)
{
	bigtime_t end = system_time() + (bigtime_t)(seconds * 1e6);
	for (;;) {
		status_t status = watcher.ReadNotice(notice);
		if (status != B_WOULD_BLOCK)
			return status;
		bigtime_t left = end - system_time();
		if (left <= 0)
			return B_TIMED_OUT;
		pollfd entry = {watcher.FD(), POLLIN, 0};
		poll(&entry, 1, (int)(left / 1000) + 1);
	}
}


class PortWatch : public ::testing::Test {
protected:
	void SetUp() override
	{
		fTemp = std::make_unique<TempDir>("rdx-watch");
		std::string runtime = fTemp->Sub("run");
		ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
		setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
		fReceived = std::make_shared<Received>();
	}

	void TearDown() override
	{
		fPort.reset();
		if (fCollector != nullptr)
			Collector::Stop(fCollector, fReceived);
	}

	void Open(const MessagePort::Limits& limits = MessagePort::Limits())
	{
		fCollector = Collector::Start(fReceived);
		fPort = std::make_unique<MessagePort>(kSignature,
			BMessenger(fCollector), limits);
		ASSERT_EQ(fPort->InitCheck(), B_OK);
	}

	std::unique_ptr<TempDir> fTemp;
	std::shared_ptr<Received> fReceived;
	Collector* fCollector = nullptr;
	std::unique_ptr<MessagePort> fPort;
};

}	// namespace


TEST_F(PortWatch, WatchersGetTheirNoticesInOrderAndTheTargetHearsOfThem)
{
	Watchdog watchdog(60, "watchers get their notices");
	Open();
	PortWatcher all(kSignature);
	PortWatcher tagsOnly(kSignature, {kTagCode});
	ASSERT_EQ(all.Start(5000000), B_OK);
	ASSERT_EQ(tagsOnly.Start(5000000), B_OK);
	// The application is told of each new watcher, so it can say how things
	// stand.
	ASSERT_TRUE(fReceived->WaitForCount(2, 10));
	EXPECT_EQ(fReceived->At(0).what, (uint32)B_START_WATCHING);
	ASSERT_TRUE(wait_for([&] { return fPort->CountWatchers() == 2; }, 10));

	fPort->SendNotice(notice_of(kReportCode, "first"));
	fPort->SendNotice(notice_of(kTagCode, "second"));
	fPort->SendNotice(notice_of(kReportCode, "third"));

	const char* expected[] = {"first", "second", "third"};
	for (const char* text : expected) {
		BMessage notice;
		ASSERT_EQ(next_notice(all, &notice, 10), B_OK) << text;
		EXPECT_EQ(notice.what, (uint32)B_OBSERVER_NOTICE_CHANGE);
		const char* got = nullptr;
		ASSERT_EQ(notice.FindString("text", &got), B_OK);
		EXPECT_STREQ(got, text);
	}

	BMessage notice;
	ASSERT_EQ(next_notice(tagsOnly, &notice, 10), B_OK);
	int32 what = 0;
	ASSERT_EQ(notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &what), B_OK);
	EXPECT_EQ((uint32)what, kTagCode);
	EXPECT_EQ(next_notice(tagsOnly, &notice, 0.3), B_TIMED_OUT);

	// A watcher that goes is forgotten; the other one keeps watching.
	tagsOnly.Stop();
	EXPECT_TRUE(wait_for([&] { return fPort->CountWatchers() == 1; }, 10));
	fPort->SendNotice(notice_of(kTagCode, "fourth"));
	ASSERT_EQ(next_notice(all, &notice, 10), B_OK);

	// The port's end is the watch's end.
	fPort.reset();
	EXPECT_EQ(next_notice(all, &notice, 10), B_BAD_PORT_ID);
}


TEST_F(PortWatch, AWatcherThatDoesNotReadIsCutOffWithOneLine)
{
	Watchdog watchdog(60, "a watcher that does not read");
	StderrCapture capture;
	MessagePort::Limits limits;
	limits.watchBacklog = 8 * 1024;
	Open(limits);

	PortWatcher sleeper(kSignature);
	PortWatcher reader(kSignature, {kTagCode});
	ASSERT_EQ(sleeper.Start(5000000), B_OK);
	ASSERT_EQ(reader.Start(5000000), B_OK);
	ASSERT_TRUE(wait_for([&] { return fPort->CountWatchers() == 2; }, 10));

	// Far more than the socket and the backlog hold together.
	std::string padding(1000, 'p');
	for (int i = 0; i < 3000; i++)
		fPort->SendNotice(notice_of(kReportCode, padding.c_str()));
	fPort->SendNotice(notice_of(kTagCode, "after the flood"));

	EXPECT_TRUE(capture.WaitFor("cut off a watcher", 20));
	EXPECT_TRUE(wait_for([&] { return fPort->CountWatchers() == 1; }, 10));
	EXPECT_EQ(lines_with(capture.Text(), "cut off a watcher"), 1)
		<< capture.Text();

	// The one that reads got what it watches.
	BMessage notice;
	ASSERT_EQ(next_notice(reader, &notice, 10), B_OK);
	const char* text = nullptr;
	ASSERT_EQ(notice.FindString("text", &text), B_OK);
	EXPECT_STREQ(text, "after the flood");

	// The sleeper finds the connection closed once it reads what is left.
	status_t status;
	do
		status = next_notice(sleeper, &notice, 10);
	while (status == B_OK);
	EXPECT_TRUE(status == B_BAD_PORT_ID || status == B_BAD_DATA)
		<< status_text(status);

	// The port goes on taking messages.
	BMessenger messenger(kSignature);
	BMessage message('ping');
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 5000000), B_OK);
}


TEST_F(PortWatch, WatchersBeyondTheLimitAreRefusedAsBusy)
{
	Watchdog watchdog(60, "too many watchers");
	MessagePort::Limits limits;
	limits.maxWatchers = 1;
	Open(limits);
	PortWatcher first(kSignature);
	PortWatcher second(kSignature);
	ASSERT_EQ(first.Start(5000000), B_OK);
	ASSERT_TRUE(wait_for([&] { return fPort->CountWatchers() == 1; }, 10));
	EXPECT_EQ(second.Start(5000000), B_WOULD_BLOCK);
	EXPECT_FALSE(second.IsWatching());

	first.Stop();
	ASSERT_TRUE(wait_for([&] { return fPort->CountWatchers() == 0; }, 10));
	EXPECT_EQ(second.Start(5000000), B_OK);
}


TEST_F(PortWatch, NoApplicationMeansNoWatch)
{
	PortWatcher watcher(kSignature);
	EXPECT_EQ(watcher.Start(2000000), B_BAD_PORT_ID);
	EXPECT_EQ(watcher.FD(), -1);
	BMessage notice;
	EXPECT_EQ(watcher.ReadNotice(&notice), B_BAD_PORT_ID);
}


TEST_F(PortWatch, HandlerNoticesReachInProcessWatchersOfTheirCode)
{
	Watchdog watchdog(60, "in-process watchers");
	fCollector = Collector::Start(fReceived);
	auto others = std::make_shared<Received>();
	Collector* other = Collector::Start(others);

	BHandler watched("watched");
	EXPECT_FALSE(watched.IsWatched());
	ASSERT_EQ(watched.StartWatching(BMessenger(fCollector), kTagCode), B_OK);
	ASSERT_EQ(watched.StartWatchingAll(BMessenger(other)), B_OK);
	EXPECT_TRUE(watched.IsWatched());

	BMessage tag(kTagCode);
	tag.AddString("_tagstr", "04A1");
	watched.SendNotices(kTagCode, &tag);
	watched.SendNotices(kReportCode);

	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	ASSERT_TRUE(others->WaitForCount(2, 10));
	BMessage got = fReceived->At(0);
	EXPECT_EQ(got.what, (uint32)B_OBSERVER_NOTICE_CHANGE);
	int32 change = 0;
	int32 original = 0;
	EXPECT_EQ(got.FindInt32(B_OBSERVE_WHAT_CHANGE, &change), B_OK);
	EXPECT_EQ(got.FindInt32(B_OBSERVE_ORIGINAL_WHAT, &original), B_OK);
	EXPECT_EQ((uint32)change, kTagCode);
	EXPECT_EQ((uint32)original, kTagCode);
	EXPECT_TRUE(got.HasString("_tagstr"));
	EXPECT_EQ(others->At(1).what, (uint32)B_OBSERVER_NOTICE_CHANGE);

	// Stopped watchers hear nothing more; a watcher that is gone is
	// forgotten at the next notice.
	EXPECT_EQ(watched.StopWatching(BMessenger(fCollector), kTagCode), B_OK);
	EXPECT_EQ(watched.StopWatching(BMessenger(fCollector), kTagCode),
		B_BAD_VALUE);
	Collector::Stop(other, others);
	watched.SendNotices(kTagCode, &tag);
	EXPECT_FALSE(watched.IsWatched());
	EXPECT_EQ(fReceived->Count(), 1u);
}
