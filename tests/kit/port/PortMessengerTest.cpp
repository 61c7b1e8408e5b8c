// Messengers to another application, found by its signature.

#include "PortTestSupport.h"

#include "MessagePort.h"

#include <ChildProcess.h>
#include <Messenger.h>
#include <TempDir.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using BPrivate::MessagePort;

namespace {

const char* kSignature = "application/x-vnd-RDX-MessengerTest";


class PortMessenger : public ::testing::Test {
protected:
	void SetUp() override
	{
		fTemp = std::make_unique<TempDir>("rdx-port");
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

	void Open(const MessagePort::Limits& limits = MessagePort::Limits(),
		int32 capacity = 200)
	{
		if (fCollector == nullptr)
			fCollector = Collector::Start(fReceived, capacity);
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


TEST_F(PortMessenger, NoApplicationRunningIsReportedAndLaterFound)
{
	status_t status = B_OK;
	BMessenger messenger(kSignature, -1, &status);
	EXPECT_EQ(status, B_BAD_PORT_ID);
	EXPECT_FALSE(messenger.IsValid());
	BMessage message('Ping');
	EXPECT_EQ(messenger.SendMessage(&message), B_BAD_PORT_ID);

	// The messenger keeps the address: once the application runs, it is
	// reached.
	Open();
	EXPECT_TRUE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage(&message), B_OK);
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->At(0).what, (uint32)'Ping');

	// And once it is gone, sending fails instead of waiting.
	fPort.reset();
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 5 * 1000000LL),
		B_BAD_PORT_ID);
}


TEST_F(PortMessenger, DeliversCopiesInOrderOverOneConnection)
{
	Open();
	status_t status;
	BMessenger messenger(kSignature, -1, &status);
	ASSERT_EQ(status, B_OK);
	BMessenger copy(messenger);

	BMessage message('Seq ');
	for (int32 n = 0; n < 20; n++) {
		message.MakeEmpty();
		message.AddInt32("n", n);
		ASSERT_EQ((n % 2 == 0 ? messenger : copy).SendMessage(&message), B_OK);
	}
	// The sender's message is still its own.
	int32 last = -1;
	EXPECT_EQ(message.FindInt32("n", &last), B_OK);
	EXPECT_EQ(last, 19);

	ASSERT_TRUE(fReceived->WaitForCount(20, 10));
	for (int32 n = 0; n < 20; n++) {
		int32 value = -1;
		fReceived->At(n).FindInt32("n", &value);
		EXPECT_EQ(value, n);
	}
	EXPECT_EQ(fPort->CountConnections(), 1u);
}


TEST_F(PortMessenger, ConnectionClosedByTheApplicationIsMadeAnew)
{
	MessagePort::Limits limits;
	limits.maxConnections = 1;
	Open(limits);

	BMessenger first(kSignature);
	BMessage message('One ');
	ASSERT_EQ(first.SendMessage(&message), B_OK);
	// A second sender takes the only place; the first one's idle
	// connection is closed for it.
	BMessenger second(kSignature);
	message.what = 'Two ';
	ASSERT_EQ(second.SendMessage(&message), B_OK);
	message.what = 'Thre';
	EXPECT_EQ(first.SendMessage(&message), B_OK);

	ASSERT_TRUE(fReceived->WaitForCount(3, 10));
	EXPECT_EQ(fReceived->At(2).what, (uint32)'Thre');
	snooze(100 * 1000);
	EXPECT_EQ(fReceived->Count(), 3u);
}


TEST_F(PortMessenger, TimeOutBoundsTheWaitForABusyApplication)
{
	Watchdog watchdog(60, "TimeOutBoundsTheWaitForABusyApplication");
	Open(MessagePort::Limits(), 1);
	fReceived->SetGate(false);

	BMessenger messenger(kSignature);
	BMessage message('Busy');
	// One message in the shut handler, one in the queue; the third finds
	// no room and the time-out ends the wait.
	ASSERT_EQ(messenger.SendMessage(&message, nullptr, 10 * 1000000LL), B_OK);
	ASSERT_TRUE(fReceived->WaitForEntered(1, 10));
	ASSERT_EQ(messenger.SendMessage(&message, nullptr, 10 * 1000000LL), B_OK);
	bigtime_t start = system_time();
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 300 * 1000LL),
		B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 300 * 1000LL);

	fReceived->SetGate(true);
	message.what = 'Free';
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 10 * 1000000LL), B_OK);
	ASSERT_TRUE(wait_for([&] {
		return fReceived->Count() > 0
			&& fReceived->At(fReceived->Count() - 1).what == 'Free'; }, 10));
}


TEST_F(PortMessenger, OversizedMessageIsRefusedBeforeSending)
{
	Open();
	BMessenger messenger(kSignature);
	BMessage large = message_of_flat_size(65537);
	EXPECT_EQ(messenger.SendMessage(&large), B_BAD_VALUE);
	BMessage fits = message_of_flat_size(65536);
	EXPECT_EQ(messenger.SendMessage(&fits), B_OK);
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->At(0).Flatten(), fits.Flatten());
}


TEST_F(PortMessenger, TeamThatDoesNotHoldThePortIsNotReached)
{
	Open();
	status_t status;
	BMessenger other(kSignature, getpid() + 1, &status);
	EXPECT_EQ(status, B_MISMATCHED_VALUES);
	BMessenger own(kSignature, getpid(), &status);
	EXPECT_EQ(status, B_OK);
}
