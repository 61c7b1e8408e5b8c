// The port on its own, with a plain looper as the target: the wire format,
// what it does with bad input and bad peers, and how it shares the place
// in the file system with other instances.

#include "PortTestSupport.h"

#include "MessagePort.h"
#include "PortClient.h"

#include <ChildProcess.h>
#include <Messenger.h>
#include <TempDir.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using BPrivate::MessagePort;
using BPrivate::PortClient;

namespace {

const char* kSignature = "application/x-vnd-RDX-PortTest";
const char* kSocketName = "application_x-vnd-RDX-PortTest";


class PortServer : public ::testing::Test {
protected:
	void SetUp() override
	{
		fTemp = std::make_unique<TempDir>("rdx-port");
		fRuntime = fTemp->Sub("run");
		ASSERT_EQ(mkdir(fRuntime.c_str(), 0700), 0);
		setenv("XDG_RUNTIME_DIR", fRuntime.c_str(), 1);
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
	}

	std::string Directory() const { return fRuntime + "/rdx-kit"; }
	std::string SocketPath() const
		{ return Directory() + "/" + kSocketName; }

	int SendFrame(const BMessage& message)
	{
		RawConnection connection(SocketPath());
		connection.Write(frame_for(message));
		return connection.ReadStatus(10);
	}

	std::unique_ptr<TempDir> fTemp;
	std::string fRuntime;
	std::shared_ptr<Received> fReceived;
	Collector* fCollector = nullptr;
	std::unique_ptr<MessagePort> fPort;
};


BMessage
sample_message()
{
	BMessage message('Tst1');
	message.AddString("text", "a string with spaces and = signs");
	message.AddString("text", "");
	message.AddInt32("number", -2147483647 - 1);
	message.AddInt32("number", 2147483647);
	message.AddBool("flag", true);
	message.AddBool("off", false);
	return message;
}

}	// namespace


TEST_F(PortServer, DeliversEveryFieldTypeAndAnswersAccepted)
{
	Open();
	ASSERT_EQ(fPort->InitCheck(), B_OK);

	// Two frames on one connection: each answered, both delivered in order.
	RawConnection connection(SocketPath());
	ASSERT_TRUE(connection.IsConnected());
	BMessage first = sample_message();
	connection.Write(frame_for(first));
	EXPECT_EQ(connection.ReadStatus(10), 'A');
	BMessage second('Tst2');
	second.AddString("_tagstr", "04A1B2C3");
	connection.Write(frame_for(second));
	EXPECT_EQ(connection.ReadStatus(10), 'A');

	ASSERT_TRUE(fReceived->WaitForCount(2, 10));
	EXPECT_EQ(fReceived->At(0).Flatten(), first.Flatten());
	const char* tag = nullptr;
	BMessage arrived = fReceived->At(1);
	EXPECT_EQ(arrived.what, (uint32)'Tst2');
	ASSERT_EQ(arrived.FindString("_tagstr", &tag), B_OK);
	EXPECT_STREQ(tag, "04A1B2C3");
}


TEST_F(PortServer, SocketAndDirectoryAreClosedToOthersAndGoWithThePort)
{
	Open();
	ASSERT_EQ(fPort->InitCheck(), B_OK);
	EXPECT_EQ(fPort->Path(), SocketPath());

	struct stat info;
	ASSERT_EQ(lstat(Directory().c_str(), &info), 0);
	EXPECT_TRUE(S_ISDIR(info.st_mode));
	EXPECT_EQ(info.st_mode & 07777, 0700u);
	ASSERT_EQ(lstat(SocketPath().c_str(), &info), 0);
	EXPECT_TRUE(S_ISSOCK(info.st_mode));
	EXPECT_EQ(info.st_mode & 07777, 0600u);

	fPort.reset();
	EXPECT_NE(lstat(SocketPath().c_str(), &info), 0);
	EXPECT_EQ(RawConnection(SocketPath()).IsConnected(), false);
}


TEST_F(PortServer, MalformedFramesAreDroppedWithOneLineEach)
{
	StderrCapture capture;
	Open();
	ASSERT_EQ(fPort->InitCheck(), B_OK);

	std::string body = BMessage('Tst1').Flatten();
	struct Case {
		const char* name;
		std::string bytes;
		const char* line;
	};
	std::string notAMessage(40, '\x7f');
	const Case cases[] = {
		{"garbage", "GET / HTTP/1.0\r\n\r\n", "not a message frame"},
		{"other version", frame_header((uint32)body.size(), 2) + body,
			"frame version 2"},
		{"empty message", frame_header(0), "empty message"},
		{"oversized", frame_header(65537) + std::string(65537, 'x'),
			"message of 65537 bytes is over the limit of 65536 bytes"},
		{"not a message inside", frame_header((uint32)notAMessage.size())
			+ notAMessage, "does not hold a valid message"},
	};

	int lines = 0;
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.name);
		RawConnection connection(SocketPath());
		connection.Write(testCase.bytes);
		EXPECT_EQ(connection.ReadStatus(10), 'M');
		EXPECT_TRUE(connection.WaitClosed(10));
		lines++;
		ASSERT_TRUE(capture.WaitFor(testCase.line, 10));
		EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), lines);
		EXPECT_EQ(lines_with(capture.Text(), testCase.line), 1);
	}

	// Nothing bad reached the target, and the port still serves.
	EXPECT_EQ(fReceived->Count(), 0u);
	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->At(0).what, (uint32)'Aftr');
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), lines);
}


TEST_F(PortServer, MessageOfExactlyTheLimitIsAccepted)
{
	Open();
	BMessage largest = message_of_flat_size(65536);
	ASSERT_EQ(largest.Flatten().size(), 65536u);
	EXPECT_EQ(SendFrame(largest), 'A');
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->At(0).Flatten(), largest.Flatten());
}


TEST_F(PortServer, TruncatedFramesAreDroppedWithOneLineEach)
{
	StderrCapture capture;
	Open();

	std::string frame = frame_for(sample_message());
	{
		RawConnection connection(SocketPath());
		connection.Write(frame.substr(0, 20));
	}
	ASSERT_TRUE(capture.WaitFor("(20 of " + std::to_string(frame.size())
		+ " bytes)", 10));
	{
		RawConnection connection(SocketPath());
		connection.Write(frame.substr(0, 3));
	}
	ASSERT_TRUE(capture.WaitFor("(3 of at least 8 bytes)", 10));
	EXPECT_EQ(lines_with(capture.Text(), "left in the middle of a frame"), 2);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 2);

	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->Count(), 1u);
}


TEST_F(PortServer, SilentClientHoldsUpNobodyAndIsNotReported)
{
	StderrCapture capture;
	Open();

	RawConnection silent(SocketPath());
	ASSERT_TRUE(silent.IsConnected());
	ASSERT_TRUE(wait_for([&] { return fPort->CountConnections() == 1; }, 10));

	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	// A messenger keeps its connection between messages, so a quiet one is
	// not a fault: it stays open and nothing is printed.
	EXPECT_FALSE(silent.WaitClosed(0.3));
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 0);
}


TEST_F(PortServer, SenderThatStopsInTheMiddleOfAFrameIsClosed)
{
	StderrCapture capture;
	MessagePort::Limits limits;
	limits.stallTimeout = 300 * 1000;
	Open(limits);

	RawConnection stalled(SocketPath());
	stalled.Write(frame_for(sample_message()).substr(0, 12));
	EXPECT_EQ(stalled.ReadStatus(10), 'M');
	EXPECT_TRUE(stalled.WaitClosed(10));
	EXPECT_EQ(lines_with(capture.Text(),
		"the sender stopped in the middle of a frame for 0.3 seconds"), 1);

	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	EXPECT_TRUE(fReceived->WaitForCount(1, 10));
}


TEST_F(PortServer, TooManyConnectionsCloseTheIdlestOrRefuseTheNewest)
{
	StderrCapture capture;
	MessagePort::Limits limits;
	limits.maxConnections = 3;
	Open(limits);

	std::vector<std::unique_ptr<RawConnection>> connections;
	for (int i = 0; i < 3; i++) {
		connections.push_back(std::make_unique<RawConnection>(SocketPath()));
		ASSERT_TRUE(wait_for(
			[&] { return fPort->CountConnections() == (size_t)i + 1; }, 10));
	}

	// All three are idle: the oldest goes for the new one.
	connections.push_back(std::make_unique<RawConnection>(SocketPath()));
	EXPECT_TRUE(connections[0]->WaitClosed(10));
	ASSERT_TRUE(capture.WaitFor("closed the one that was idle longest", 10));
	connections[3]->Write(frame_for(BMessage('New1')));
	EXPECT_EQ(connections[3]->ReadStatus(10), 'A');
	EXPECT_FALSE(connections[1]->WaitClosed(0.1));

	// None idle: each is in the middle of a frame, so the newest is refused.
	for (int i = 1; i < 4; i++)
		connections[i]->Write(frame_header(100));
	snooze(100 * 1000);
	RawConnection refused(SocketPath());
	EXPECT_EQ(refused.ReadStatus(10), 'B');
	EXPECT_TRUE(refused.WaitClosed(10));
	EXPECT_EQ(lines_with(capture.Text(), "refused a new one"), 1);
	EXPECT_EQ(fPort->CountConnections(), 3u);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 2);
}


TEST_F(PortServer, PeerWhoseUserIsNotTheExpectedOneIsRefused)
{
	// Without root: the port expects another user id than the one this
	// process (the peer) has.
	StderrCapture capture;
	MessagePort::Limits limits;
	limits.peerUser = geteuid() + 1;
	Open(limits);
	RawConnection refused(SocketPath());
	ASSERT_TRUE(refused.IsConnected());
	refused.Write(frame_for(BMessage('Evil')));
	EXPECT_EQ(refused.ReadStatus(10), 'U');
	EXPECT_TRUE(refused.WaitClosed(10));
	ASSERT_TRUE(capture.WaitFor("from user id "
		+ std::to_string((unsigned)geteuid()), 10)) << capture.Text();
	EXPECT_EQ(lines_with(capture.Text(), "refused a connection to"), 1);
	EXPECT_EQ(fReceived->Count(), 0u);

	// The default expects this process's own user: the same peer gets in.
	fPort.reset();
	Open();
	EXPECT_EQ(SendFrame(BMessage('Good')), 'A');
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
}


TEST_F(PortServer, PeerOfAnotherUserIsRefusedAndNoted)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to connect as another user";
	StderrCapture capture;
	Open();
	std::string frame = frame_for(BMessage('Evil'));
	std::string path = SocketPath();

	// The child runs as user 65534, as the kernel reports it to the port,
	// but keeps root's file-system identity so that it can reach the
	// socket in this user's closed directory at all.
	auto connectAs = [&](bool otherUser) -> int {
		pid_t child = fork();
		if (child == 0) {
			if (otherUser) {
				if (syscall(SYS_setgroups, 0, nullptr) != 0
					|| syscall(SYS_setresgid, 65534, 65534, 0) != 0
					|| syscall(SYS_setresuid, 65534, 65534, 0) != 0
					|| geteuid() != 65534)
					_exit(10);
				setfsuid(0);
				if ((int)setfsuid((uid_t)-1) != 0)
					_exit(11);
			}
			int fd = socket(AF_UNIX, SOCK_STREAM, 0);
			sockaddr_un address = {};
			address.sun_family = AF_UNIX;
			strncpy(address.sun_path, path.c_str(),
				sizeof(address.sun_path) - 1);
			if (connect(fd, (sockaddr*)&address, sizeof(address)) != 0)
				_exit(12);
			ssize_t written = send(fd, frame.data(), frame.size(),
				MSG_NOSIGNAL);
			(void)written;
			char status = 0;
			if (recv(fd, &status, 1, 0) != 1)
				_exit(13);
			_exit(status == 'U' ? 0 : status == 'A' ? 1 : 14);
		}
		int status = -1;
		waitpid(child, &status, 0);
		return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	};

	EXPECT_EQ(connectAs(true), 0) << "the other user was not refused";
	ASSERT_TRUE(capture.WaitFor("from user id 65534", 10));
	EXPECT_EQ(lines_with(capture.Text(), "refused a connection to"), 1);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 1);

	// The same child as this user gets through.
	EXPECT_EQ(connectAs(false), 1);
	ASSERT_TRUE(fReceived->WaitForCount(1, 10));
	EXPECT_EQ(fReceived->Count(), 1u);
}


TEST_F(PortServer, FullQueueHoldsTheSenderAndShutdownDoesNotWait)
{
	Watchdog watchdog(60, "FullQueueHoldsTheSenderAndShutdownDoesNotWait");
	Open(MessagePort::Limits(), 2);
	fReceived->SetGate(false);

	// One message sits in the shut handler, two fill the queue; the fourth
	// has to wait for room and gets no answer meanwhile.
	RawConnection connection(SocketPath());
	for (int i = 0; i < 3; i++) {
		connection.Write(frame_for(BMessage('Fill')));
		ASSERT_EQ(connection.ReadStatus(10), 'A') << "message " << i;
		if (i == 0) {
			ASSERT_TRUE(fReceived->WaitForEntered(1, 10));
		}
	}
	connection.Write(frame_for(BMessage('Wait')));
	EXPECT_EQ(connection.ReadStatus(0.3), -2);

	// Another sender is served meanwhile: its message waits its turn too,
	// but reading and answering others go on.
	RawConnection garbage(SocketPath());
	garbage.Write("nonsense");
	EXPECT_EQ(garbage.ReadStatus(10), 'M');

	fPort.reset();
	EXPECT_EQ(connection.ReadStatus(10), 'Q');
	fReceived->SetGate(true);
	ASSERT_TRUE(fReceived->WaitForCount(3, 10));
	snooze(100 * 1000);
	EXPECT_EQ(fReceived->Count(), 3u);
}


TEST_F(PortServer, QueueThatIsGoneAnswersQuitting)
{
	Open();
	Collector::Stop(fCollector, fReceived);
	fCollector = nullptr;
	EXPECT_EQ(SendFrame(BMessage('Late')), 'Q');

	PortClient client(SocketPath(), -1);
	EXPECT_EQ(client.Send(BMessage('Late'), 10 * 1000000LL), B_BAD_PORT_ID);
}


TEST_F(PortServer, SendersThatFloodDoNotStarveAnother)
{
	Watchdog watchdog(90, "SendersThatFloodDoNotStarveAnother");
	Open(MessagePort::Limits(), 4);

	std::atomic<bool> stop{false};
	std::atomic<int> failures{0};
	std::vector<std::thread> flooders;
	for (int i = 0; i < 3; i++) {
		flooders.emplace_back([&, i] {
			PortClient client(SocketPath(), -1);
			BMessage message('Fld ');
			message.AddInt32("who", i);
			message.AddString("fill", std::string(1000, 'f').c_str());
			while (!stop) {
				if (client.Send(message, 30 * 1000000LL) != B_OK)
					failures++;
			}
		});
	}

	PortClient polite(SocketPath(), -1);
	for (int n = 0; n < 200; n++) {
		BMessage message('Plt ');
		message.AddInt32("n", n);
		ASSERT_EQ(polite.Send(message, 30 * 1000000LL), B_OK) << n;
	}
	stop = true;
	for (std::thread& flooder : flooders)
		flooder.join();
	EXPECT_EQ(failures, 0);

	// Every polite message arrived, in the order it was sent.
	std::lock_guard<std::mutex> guard(fReceived->lock);
	int32 expected = 0;
	for (const BMessage& message : fReceived->messages) {
		if (message.what != 'Plt ')
			continue;
		int32 n = -1;
		message.FindInt32("n", &n);
		EXPECT_EQ(n, expected);
		expected++;
	}
	EXPECT_EQ(expected, 200);
}


TEST_F(PortServer, DirectoryOpenToOthersIsRefused)
{
	StderrCapture capture;
	ASSERT_EQ(mkdir(Directory().c_str(), 0755), 0);
	chmod(Directory().c_str(), 0755);
	Open();
	EXPECT_NE(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "its mode 0755 lets other users in;"
		" running without a message port"), 1);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 1);
	struct stat info;
	EXPECT_NE(lstat(SocketPath().c_str(), &info), 0);
}


TEST_F(PortServer, DirectoryThatIsALinkIsRefused)
{
	StderrCapture capture;
	std::string real = fRuntime + "/elsewhere";
	ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
	ASSERT_EQ(symlink(real.c_str(), Directory().c_str()), 0);
	Open();
	EXPECT_NE(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "it is a symbolic link"), 1);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 1);
	struct stat info;
	EXPECT_NE(lstat((real + "/" + kSocketName).c_str(), &info), 0);
}


TEST_F(PortServer, DirectoryOfAnotherUserIsRefused)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to give the directory away";
	StderrCapture capture;
	ASSERT_EQ(mkdir(Directory().c_str(), 0700), 0);
	ASSERT_EQ(chown(Directory().c_str(), 65534, 65534), 0);
	Open();
	EXPECT_NE(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "it belongs to user id 65534"), 1);
	struct stat info;
	EXPECT_NE(lstat(SocketPath().c_str(), &info), 0);
}


TEST_F(PortServer, DirectoryThatIsAFileIsRefused)
{
	StderrCapture capture;
	int fd = open(Directory().c_str(), O_CREAT | O_WRONLY, 0600);
	ASSERT_GE(fd, 0);
	close(fd);
	Open();
	EXPECT_NE(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "it is not a directory"), 1);
}


TEST_F(PortServer, StaleSocketIsReplaced)
{
	StderrCapture capture;
	ASSERT_EQ(mkdir(Directory().c_str(), 0700), 0);
	{
		// A socket whose owner died: the file stays, nobody listens.
		int fd = socket(AF_UNIX, SOCK_STREAM, 0);
		sockaddr_un address = {};
		address.sun_family = AF_UNIX;
		strncpy(address.sun_path, SocketPath().c_str(),
			sizeof(address.sun_path) - 1);
		ASSERT_EQ(bind(fd, (sockaddr*)&address, sizeof(address)), 0);
		close(fd);
	}
	Open();
	ASSERT_EQ(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "replaced the stale message port"),
		1);
	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	EXPECT_TRUE(fReceived->WaitForCount(1, 10));
}


TEST_F(PortServer, SecondInstanceRunsWithoutAPortAndLeavesTheFirstAlone)
{
	StderrCapture capture;
	Open();
	ASSERT_EQ(fPort->InitCheck(), B_OK);

	auto second = std::make_unique<MessagePort>(kSignature,
		BMessenger(fCollector));
	EXPECT_EQ(second->InitCheck(), B_NAME_IN_USE);
	EXPECT_EQ(lines_with(capture.Text(), "another instance already holds the"
		" message port " + SocketPath()
		+ "; this one runs without a message port"), 1);
	EXPECT_EQ(lines_with(capture.Text(), "rdx-kit: "), 1);
	second.reset();

	// The second one's end did not take the first one's socket away.
	struct stat info;
	EXPECT_EQ(lstat(SocketPath().c_str(), &info), 0);
	EXPECT_EQ(SendFrame(BMessage('Aftr')), 'A');
	EXPECT_TRUE(fReceived->WaitForCount(1, 10));
}


TEST_F(PortServer, FileInTheWayIsLeftAlone)
{
	StderrCapture capture;
	ASSERT_EQ(mkdir(Directory().c_str(), 0700), 0);
	int fd = open(SocketPath().c_str(), O_CREAT | O_WRONLY, 0600);
	ASSERT_EQ(write(fd, "keep", 4), 4);
	close(fd);

	Open();
	EXPECT_NE(fPort->InitCheck(), B_OK);
	EXPECT_EQ(lines_with(capture.Text(), "is not a socket"), 1);
	fPort.reset();
	EXPECT_EQ(read_file(SocketPath()), "keep");
}
