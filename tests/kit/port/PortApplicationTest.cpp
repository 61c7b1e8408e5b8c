// Applications in processes of their own: what another program sees of
// their message port from start to quit, and a flood of messages.

#include "PortTestSupport.h"

#include <Application.h>
#include <ChildProcess.h>
#include <Messenger.h>
#include <TempDir.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char* kSignature = "application/x-vnd-RDX-AppPortTest";
const char* kSocketName = "application_x-vnd-RDX-AppPortTest";
const std::string kTestApp = RDX_BINARY_DIR "/tests/kit/port/port_test_app";


class PortApplication : public ::testing::Test {
protected:
	void SetUp() override
	{
		fTemp = std::make_unique<TempDir>("rdx-port");
		fRuntime = fTemp->Sub("run");
		ASSERT_EQ(mkdir(fRuntime.c_str(), 0700), 0);
		setenv("XDG_RUNTIME_DIR", fRuntime.c_str(), 1);
	}

	std::unique_ptr<ChildProcess> Start()
	{
		ChildProcess::Options options;
		options.environment["XDG_RUNTIME_DIR"] = fRuntime;
		auto child = std::make_unique<ChildProcess>(
			std::vector<std::string>{kTestApp, kSignature}, options);
		EXPECT_TRUE(child->WaitForOutput("ready\n", 20)) << child->Errors();
		return child;
	}

	std::string SocketPath() const
		{ return fRuntime + "/rdx-kit/" + kSocketName; }

	bool SocketExists() const
	{
		struct stat info;
		return lstat(SocketPath().c_str(), &info) == 0;
	}

	std::unique_ptr<TempDir> fTemp;
	std::string fRuntime;
};


// A field of /proc/PID/status in kB.
long
status_kb(pid_t pid, const char* field)
{
	std::ifstream in("/proc/" + std::to_string(pid) + "/status");
	std::string line;
	while (std::getline(in, line)) {
		if (line.rfind(field, 0) == 0)
			return atol(line.c_str() + strlen(field) + 1);
	}
	return -1;
}

}	// namespace


TEST_F(PortApplication, ReceivesFromAnotherProcessAndRemovesItsSocketOnQuit)
{
	auto app = Start();
	ASSERT_TRUE(SocketExists());

	BMessenger messenger(kSignature);
	ASSERT_TRUE(messenger.IsValid());
	BMessage tag('RFID');
	tag.AddString("_tagstr", "04A1B2C3");
	ASSERT_EQ(messenger.SendMessage(&tag), B_OK);
	ASSERT_TRUE(app->WaitForOutput("\"04A1B2C3\"", 10));
	EXPECT_EQ(count_of(app->Output(), "got BMessage: what = RFID"), 1);

	BMessage quit(B_QUIT_REQUESTED);
	ASSERT_EQ(messenger.SendMessage(&quit), B_OK);
	int status = -1;
	ASSERT_TRUE(app->Wait(20, &status));
	EXPECT_EQ(status, 0);
	EXPECT_NE(app->Output().find("ended\ndestroyed\n"), std::string::npos);
	EXPECT_FALSE(SocketExists());
	EXPECT_EQ(app->Errors(), "");

	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage(&tag, nullptr, 5 * 1000000LL),
		B_BAD_PORT_ID);
}


TEST_F(PortApplication, SecondInstanceSaysSoOnceAndTheFirstKeepsThePort)
{
	auto first = Start();
	auto second = Start();
	ASSERT_TRUE(wait_for([&] {
		return second->Errors().find("another instance") != std::string::npos;
	}, 10));
	EXPECT_EQ(count_of(second->Errors(), "\n"), 1);
	EXPECT_EQ(count_of(second->Errors(), "rdx-kit: another instance already"
		" holds the message port " + SocketPath()
		+ "; this one runs without a message port\n"), 1);

	// The second one ends; the first one's socket must stay.
	second->Signal(SIGTERM);
	int status = -1;
	ASSERT_TRUE(second->Wait(20, &status));
	EXPECT_EQ(status, 0);
	EXPECT_TRUE(SocketExists());

	BMessenger messenger(kSignature);
	BMessage message('Frst');
	ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	EXPECT_TRUE(first->WaitForOutput("what = Frst", 10));
	EXPECT_EQ(first->Errors(), "");
}


TEST_F(PortApplication, InstanceAfterACrashReplacesTheStaleSocket)
{
	auto crashed = Start();
	crashed->Kill();
	int status;
	ASSERT_TRUE(crashed->Wait(10, &status));
	ASSERT_TRUE(SocketExists());

	auto next = Start();
	EXPECT_EQ(count_of(next->Errors(), "rdx-kit: replaced the stale message"
		" port " + SocketPath() + "\n"), 1);
	BMessenger messenger(kSignature);
	BMessage message('Next');
	ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	EXPECT_TRUE(next->WaitForOutput("what = Next", 10));
}


TEST_F(PortApplication, TenThousandMessagesArriveInOrderInBoundedMemory)
{
	Watchdog watchdog(100, "TenThousandMessagesArriveInOrderInBoundedMemory");
	auto app = Start();
	const int kSenders = 4;
	const int kPerSender = 2500;
	// Large enough that keeping them, instead of handing them on, would
	// show plainly in the application's memory.
	const std::string fill(4000, 'm');

	// Warm up, so that the first measure sees the port's usual state.
	{
		BMessenger messenger(kSignature);
		BMessage message('Warm');
		message.AddString("fill", fill.c_str());
		for (int i = 0; i < 50; i++)
			ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	}
	long before = status_kb(app->Pid(), "VmRSS:");
	ASSERT_GT(before, 0);

	// The application first sleeps a while, so that its queue fills and
	// the senders must wait for room.
	{
		BMessenger messenger(kSignature);
		BMessage hold('HOLD');
		hold.AddInt32("ms", 300);
		ASSERT_EQ(messenger.SendMessage(&hold), B_OK);
	}
	std::vector<std::thread> senders;
	std::vector<int> failures(kSenders, 0);
	for (int s = 0; s < kSenders; s++) {
		senders.emplace_back([&, s] {
			BMessenger messenger(kSignature);
			for (int32 n = 0; n < kPerSender; n++) {
				BMessage message('SEQ ');
				message.AddInt32("conn", s);
				message.AddInt32("n", n);
				message.AddString("fill", fill.c_str());
				if (messenger.SendMessage(&message, nullptr,
						30 * 1000000LL) != B_OK)
					failures[s]++;
			}
		});
	}
	for (std::thread& sender : senders)
		sender.join();
	for (int s = 0; s < kSenders; s++)
		EXPECT_EQ(failures[s], 0) << "sender " << s;

	BMessenger messenger(kSignature);
	BMessage query('SEQ?');
	ASSERT_EQ(messenger.SendMessage(&query), B_OK);
	ASSERT_TRUE(app->WaitForOutput("seq total=", 20));
	EXPECT_NE(app->Output().find("seq total=10000 disorder=0\n"),
		std::string::npos) << app->Output().substr(0, 2000);

	// 10,000 messages of 4 kB are 40 MB; a port that holds at most a queue
	// and a frame per connection stays far below that.
	long peak = status_kb(app->Pid(), "VmHWM:");
	EXPECT_LT(peak - before, 16 * 1024)
		<< "VmRSS before " << before << " kB, VmHWM after " << peak << " kB";
	EXPECT_EQ(app->Errors(), "");
}


namespace {

class SelfSender : public BApplication {
public:
	SelfSender() : BApplication("application/x-vnd-RDX-SelfSender") {}

	void ReadyToRun() override
	{
		// More messages than the queue holds, from the application's own
		// thread to itself: through its own port it would wait for itself.
		BMessenger self("application/x-vnd-RDX-SelfSender");
		BMessage message('Self');
		for (int i = 0; i < 300; i++) {
			if (self.SendMessage(&message, nullptr, 2 * 1000000LL) == B_OK)
				sent++;
		}
		PostMessage(B_QUIT_REQUESTED);
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == 'Self')
			received++;
	}

	int sent = 0;
	int received = 0;
};

}	// namespace


TEST_F(PortApplication, OwnSignatureIsReachedWithoutTheRoundTrip)
{
	Watchdog watchdog(60, "OwnSignatureIsReachedWithoutTheRoundTrip");
	auto app = std::make_unique<SelfSender>();
	std::thread runner([&] { app->Run(); });
	runner.join();
	EXPECT_EQ(app->sent, 300);
	EXPECT_EQ(app->received, 300);
	app.reset();
}
