// The message port of the running program under abuse: another user, a
// thousand connections at once, half-open connections, a frame one byte too
// large, random bytes. Each is refused or dropped with a line, no tag gets
// through, and the program answers the next tag as before.

#include "BoardSim.h"
#include "FaultSupport.h"
#include "RdxProgram.h"
#include "Watchdog.h"

#include <Message.h>
#include <Messenger.h>
#include <OS.h>
#include <RDXDefs.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <random>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const kTag = "_tagstr=04A1B2C3";
const size_t kLimit = 64 * 1024;
const size_t kCap = 64;


// A header of a message frame that announces length bytes.
std::string
Header(uint32_t length)
{
	std::string header = "RDP";
	header += '\x01';
	for (int i = 0; i < 4; i++)
		header += (char)((length >> (8 * i)) & 0xff);
	return header;
}


std::string
Frame(const BMessage& message)
{
	std::string flat = message.Flatten();
	return Header((uint32_t)flat.size()) + flat;
}


// A tag read whose flattened form is exactly size bytes.
BMessage
TagOfSize(size_t size)
{
	BMessage message(RDX_MSG_TAG);
	message.AddString(RDX_FIELD_TAG, "04A1B2C3");
	message.AddString("padding", "");
	size_t base = message.Flatten().size();
	message.MakeEmpty();
	message.AddString(RDX_FIELD_TAG, "04A1B2C3");
	message.AddString("padding", std::string(size - base, 'p').c_str());
	return message;
}


int
Connect(const std::string& path)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
	if (fd >= 0 && connect(fd, (sockaddr*)&address, sizeof(address)) != 0) {
		close(fd);
		return -1;
	}
	return fd;
}


// Writes what the peer takes; a peer that closed is not an error here.
void
WriteAll(int fd, const std::string& data)
{
	size_t done = 0;
	while (done < data.size()) {
		ssize_t count = send(fd, data.data() + done, data.size() - done,
			MSG_NOSIGNAL);
		if (count <= 0)
			return;
		done += (size_t)count;
	}
}


// The status byte the port answered: the byte, 0 when it closed without
// one, -1 when nothing came in time.
int
ReadAnswer(int fd, double seconds)
{
	pollfd wait = {fd, POLLIN, 0};
	if (poll(&wait, 1, (int)(seconds * 1000)) <= 0)
		return -1;
	unsigned char status;
	ssize_t count = recv(fd, &status, 1, 0);
	return count == 1 ? status : 0;
}


// Whether the port has closed the connection (after any answer).
bool
WaitClosed(int fd, double seconds)
{
	return wait_for([&] {
		char byte;
		ssize_t count = recv(fd, &byte, 1, MSG_DONTWAIT);
		return count == 0 || (count < 0 && errno != EAGAIN);
	}, seconds);
}

}	// namespace


class PortFaultTest : public testing::Test {
protected:
	void SetUp() override
	{
		fWatchdog = std::make_unique<Watchdog>(
			testing::UnitTest::GetInstance()->current_test_info()->name(),
			110);
		fBoard = std::make_unique<BoardSim>();
		ASSERT_TRUE(fBoard->IsListening());
		fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-faults");
		// Tags open relay 2 and close it at once.
		ASSERT_TRUE(fRdx->Seed({{"rdx_ip", seed::Text(fBoard->Address())},
			{"rdx_use", seed::Bool(true)}, {"OpenInSecs", seed::Int32(0)},
			{"TagsUseDoor", seed::Int32(2)},
			{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}}));
		ASSERT_TRUE(fRdx->Start());
		// The start-up pulse is over before the case begins.
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
		ASSERT_TRUE(TagIsAnswered());
		fDescriptors = CountDescriptorsOf(fRdx->Pid());
	}

	void TearDown() override
	{
		for (int fd : fConnections)
			close(fd);
		if (HasFailure() && fRdx != nullptr)
			printf("%s", fRdx->Transcript().c_str());
		if (fRdx != nullptr) {
			EXPECT_EQ(fRdx->CloseAndWait(), 0);
		}
		fRdx.reset();
		fBoard.reset();
		fWatchdog.reset();
	}

	// A tag opens relay 2 on the board and closes it again.
	testing::AssertionResult TagIsAnswered()
	{
		int before = fBoard->CountOf("GET /?4=1");
		if (fRdx->Send({"RFID", kTag}) != 0)
			return testing::AssertionFailure() << "rdx-send failed";
		if (!fBoard->WaitForRequest("GET /?4=0", 15, before + 1)
			|| !fBoard->WaitForRequest("GET /?4=1", 15, before + 1))
			return testing::AssertionFailure() << "the tag was not answered";
		return testing::AssertionSuccess();
	}

	// The requests that tags made so far.
	int Tags() const { return fBoard->CountOf("GET /?4=0"); }

	// The program holds the descriptors it held before the case.
	bool DescriptorsBack()
	{
		return wait_for([&] {
			return CountDescriptorsOf(fRdx->Pid()) <= fDescriptors;
		}, 15);
	}

	int Open()
	{
		int fd = Connect(fRdx->SocketPath());
		if (fd >= 0)
			fConnections.push_back(fd);
		return fd;
	}

	void CloseAll()
	{
		for (int fd : fConnections)
			close(fd);
		fConnections.clear();
	}

	std::unique_ptr<Watchdog>	fWatchdog;
	std::unique_ptr<BoardSim>	fBoard;
	std::unique_ptr<RdxProgram>	fRdx;
	std::vector<int>			fConnections;
	int							fDescriptors = 0;
};


TEST_F(PortFaultTest, AnotherUserIsRefused)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to connect as another user";
	std::string frame = Frame(TagOfSize(64));
	std::string path = fRdx->SocketPath();
	int tags = Tags();

	// The child runs as user 65534, as the kernel reports it to the port,
	// but keeps root's file-system identity so that it reaches the socket
	// in the closed directory at all.
	for (int attempt = 0; attempt < 5; attempt++) {
		pid_t child = fork();
		if (child == 0) {
			if (syscall(SYS_setgroups, 0, nullptr) != 0
				|| syscall(SYS_setresgid, 65534, 65534, 0) != 0
				|| syscall(SYS_setresuid, 65534, 65534, 0) != 0)
				_exit(20);
			setfsuid(0);
			int fd = Connect(path);
			if (fd < 0)
				_exit(11);
			WriteAll(fd, frame);
			int answer = ReadAnswer(fd, 10);
			_exit(answer == 'U' ? 0 : answer == 'A' ? 1 : 12);
		}
		int status = -1;
		waitpid(child, &status, 0);
		ASSERT_TRUE(WIFEXITED(status));
		// Root of a user namespace has no other user to become.
		if (WEXITSTATUS(status) == 20)
			GTEST_SKIP() << "cannot become another user here";
		EXPECT_EQ(WEXITSTATUS(status), 0) << "the other user was not refused";
	}
	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CountErrors("from user id 65534"), 5);
	EXPECT_EQ(Tags(), tags) << "a tag of the other user was taken";
	EXPECT_TRUE(TagIsAnswered());
	EXPECT_TRUE(DescriptorsBack());
}


TEST_F(PortFaultTest, ThousandConnectionsAtOnce)
{
	int tags = Tags();
	double start = test_now();
	// Each begins a frame and stops: busy, so that the cap cannot make
	// room by closing an idle one.
	std::string begun = Header(100).substr(0, 4);
	for (int i = 0; i < 1000; i++) {
		int fd = Open();
		ASSERT_GE(fd, 0) << "connection " << i << ": " << strerror(errno);
		WriteAll(fd, begun);
	}
	ReportFigure("1000 connections made in", Seconds(test_now() - start));

	// Beyond the cap each is refused ('B') or, when an idle one had to go,
	// closed; the program holds no more than its cap.
	int refused = 0;
	int closed = 0;
	int held = 0;
	wait_for([&] {
		refused = closed = held = 0;
		for (int fd : fConnections) {
			pollfd wait = {fd, POLLIN, 0};
			if (poll(&wait, 1, 0) == 0) {
				held++;
				continue;
			}
			char answer = 0;
			ssize_t count = recv(fd, &answer, 1, MSG_PEEK);
			if (count == 1 && answer == 'B')
				refused++;
			else
				closed++;
		}
		return held <= (int)kCap;
	}, 30);
	int descriptors = CountDescriptorsOf(fRdx->Pid());
	ReportFigure("refused, closed, held",
		std::to_string(refused) + ", " + std::to_string(closed) + ", "
			+ std::to_string(held));
	ReportFigure("descriptors of the program", std::to_string(fDescriptors)
		+ " before, " + std::to_string(descriptors) + " with 1000 connected");
	EXPECT_LE(held, (int)kCap);
	EXPECT_EQ(refused + closed + held, 1000);
	EXPECT_LE(descriptors, fDescriptors + (int)kCap);
	EXPECT_EQ(fRdx->CountErrors("refused a new one")
		+ fRdx->CountErrors("closed the one that was idle longest"),
		refused + closed);
	EXPECT_TRUE(fRdx->Running());

	// Once they are gone, the program answers as before.
	CloseAll();
	EXPECT_TRUE(DescriptorsBack());
	EXPECT_TRUE(TagIsAnswered());
	EXPECT_EQ(Tags(), tags + 1);
}


TEST_F(PortFaultTest, HalfOpenConnectionsAreDropped)
{
	int tags = Tags();
	std::string frame = Frame(TagOfSize(200));
	// Half a frame, then the sender shuts its side: 50 at once.
	for (int i = 0; i < 50; i++) {
		int fd = Open();
		ASSERT_GE(fd, 0);
		WriteAll(fd, frame.substr(0, frame.size() / 2));
		ASSERT_EQ(shutdown(fd, SHUT_WR), 0);
	}
	// Shut without a byte: a sender that changed its mind.
	for (int i = 0; i < 10; i++) {
		int fd = Open();
		ASSERT_GE(fd, 0);
		ASSERT_EQ(shutdown(fd, SHUT_WR), 0);
	}
	for (size_t i = 0; i < fConnections.size(); i++) {
		SCOPED_TRACE(i);
		EXPECT_EQ(ReadAnswer(fConnections[i], 10), i < 50 ? 'M' : 0);
		EXPECT_TRUE(WaitClosed(fConnections[i], 10));
	}
	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CountErrors("the sender left in the middle of a frame"),
		50);
	EXPECT_EQ(Tags(), tags);
	CloseAll();
	EXPECT_TRUE(DescriptorsBack());
	EXPECT_TRUE(TagIsAnswered());
}


TEST_F(PortFaultTest, FrameOneByteOverTheLimitIsDropped)
{
	int tags = Tags();
	// The limit itself is a tag like any other.
	int fd = Open();
	ASSERT_GE(fd, 0);
	WriteAll(fd, Frame(TagOfSize(kLimit)));
	EXPECT_EQ(ReadAnswer(fd, 10), 'A');
	ASSERT_TRUE(fBoard->WaitForRequest("GET /?4=1", 15, tags + 1));

	// One byte more is dropped before it is read, with its line.
	std::string over = Frame(TagOfSize(kLimit + 1));
	ASSERT_EQ(over.size(), 8 + kLimit + 1);
	fd = Open();
	WriteAll(fd, over);
	EXPECT_EQ(ReadAnswer(fd, 10), 'M');
	EXPECT_TRUE(WaitClosed(fd, 10));
	// And so is a header that announces four gigabytes.
	fd = Open();
	WriteAll(fd, Header(0xFFFFFFFFu));
	EXPECT_EQ(ReadAnswer(fd, 10), 'M');

	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CountErrors("message of 65537 bytes is over the limit of "
		"65536 bytes"), 1);
	EXPECT_EQ(fRdx->CountErrors("message of 4294967295 bytes is over the "
		"limit"), 1);
	EXPECT_EQ(Tags(), tags + 1);
	CloseAll();
	EXPECT_TRUE(DescriptorsBack());
	EXPECT_TRUE(TagIsAnswered());
}


TEST_F(PortFaultTest, RandomBytesAreDropped)
{
	int tags = Tags();
	std::mt19937 random(4711);
	auto bytes = [&](size_t count) {
		std::string text(count, '\0');
		for (char& c : text)
			c = (char)(random() & 0xff);
		return text;
	};
	// 100 connections of random bytes, 100 of a sound header with a random
	// message of the announced length, in waves of 50 at once (below the
	// cap on connections, which has a case of its own).
	int malformed = 0;
	for (int wave = 0; wave < 4; wave++) {
		for (int i = 0; i < 50; i++) {
			int fd = Open();
			ASSERT_GE(fd, 0);
			std::string data;
			if (wave < 2) {
				data = bytes(1 + random() % 4096);
				// A frame's start by chance would only wait for more.
				data[0] = 'X';
			} else {
				uint32_t length = 1 + random() % kLimit;
				data = Header(length) + bytes(length);
			}
			WriteAll(fd, data);
			shutdown(fd, SHUT_WR);
		}
		for (int fd : fConnections)
			malformed += ReadAnswer(fd, 10) == 'M' ? 1 : 0;
		CloseAll();
	}
	EXPECT_EQ(malformed, 200);
	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CountErrors("dropped a message on"), 200);
	EXPECT_EQ(Tags(), tags);
	EXPECT_TRUE(fRdx->Running());
	CloseAll();
	EXPECT_TRUE(DescriptorsBack());
	EXPECT_TRUE(TagIsAnswered());
}


TEST_F(PortFaultTest, ATagWhoseSenderLeftBeforeItWasReadStillCounts)
{
	// Each sender writes its frame while rdx stands still and is gone
	// before rdx reads it: a whole frame is handled all the same, and only
	// a read whose own deadline has passed is refused.
	struct Row {
		const char* what;
		bool kitSender;
		// Seconds from now until which the read counts; 0 for none.
		int deadline;
		bool opens;
	};
	const Row rows[] = {
		{"the kit's send with no time-out", true, 0, true},
		{"a raw frame, then close", false, 0, true},
		{"a raw frame that counts for 60 s, then close", false, 60, true},
		{"a raw frame whose time is over, then close", false, -1, false},
	};
	std::string runtime = fRdx->Directory().Sub("run");
	setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
	for (const Row& row : rows) {
		SCOPED_TRACE(row.what);
		int tags = Tags();
		BMessage tag(RDX_MSG_TAG);
		tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
		if (row.deadline != 0) {
			tag.AddString(RDX_FIELD_DEADLINE, FormatDeadline(system_time()
				+ row.deadline * 1000000LL).c_str());
		}
		fRdx->Signal(SIGSTOP);
		if (row.kitSender) {
			BMessenger rdx(RDX_SIGNATURE);
			EXPECT_EQ(rdx.SendMessage(&tag, nullptr, 0), B_TIMED_OUT);
		} else {
			int fd = Connect(fRdx->SocketPath());
			EXPECT_GE(fd, 0);
			WriteAll(fd, Frame(tag));
			close(fd);
		}
		fRdx->Signal(SIGCONT);
		ASSERT_TRUE(fRdx->Sync());
		if (!row.opens) {
			EXPECT_EQ(Tags(), tags);
			continue;
		}
		EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=0", 15, tags + 1));
		EXPECT_TRUE(fBoard->WaitForRequest("GET /?4=1", 15, tags + 1));
	}
	unsetenv("XDG_RUNTIME_DIR");
	EXPECT_EQ(fRdx->Count("tag 04A1B2C3 came "), 1);
	EXPECT_EQ(fRdx->CountErrors("dropped a message"), 0);
	EXPECT_TRUE(DescriptorsBack());
}


namespace {

const char* const kRdxProgram = RDX_BINARY_DIR "/src/app/rdx";

}	// namespace


TEST(PortRefusal, AnExclusiveRdxDoesNotStartWithoutASafePort)
{
	Watchdog watchdog("AnExclusiveRdxDoesNotStartWithoutASafePort", 110);
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	RdxProgram rdx(TestDisplay(), "rdx-faults");
	ASSERT_TRUE(rdx.Seed({{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)}, {"TagsUseDoor", seed::Int32(1)}}));
	std::string directory = rdx.Directory().Sub("run") + "/rdx-kit";
	std::string socket = rdx.SocketPath();
	std::string elsewhere = rdx.Directory().Sub("elsewhere");

	// Each way the port cannot be made safely; the next row first undoes
	// the one before.
	struct Row {
		const char* what;
		std::function<void()> make;
		std::string line;
	};
	const Row rows[] = {
		{"a directory others may enter", [&] {
			mkdir(directory.c_str(), 0700);
			chmod(directory.c_str(), 0755);
		}, "the message port's directory " + directory + " cannot be used:"
			" its mode 0755 lets other users in; to mend it: chmod 700 "
			+ directory},
		{"a directory that is a link", [&] {
			rmdir(directory.c_str());
			mkdir(elsewhere.c_str(), 0700);
			symlink(elsewhere.c_str(), directory.c_str());
		}, "the message port's directory " + directory + " cannot be used:"
			" it is a symbolic link; to mend it: rm " + directory},
		{"a file where the socket goes", [&] {
			unlink(directory.c_str());
			mkdir(directory.c_str(), 0700);
			close(open(socket.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
		}, socket + " is in the way of the message port and is not a"
			" socket; to mend it: rm " + socket},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.what);
		row.make();
		std::string output;
		std::string errors;
		double start = test_now();
		EXPECT_EQ(rdx.RunSecond(20, &output, &errors), 3);
		ReportFigure(std::string("refused, ") + row.what,
			Seconds(test_now() - start));
		EXPECT_EQ(errors, "rdx: " + row.line + "; this one does not start\n");
		// Before the board, the log and the record: nothing.
		EXPECT_EQ(output, "");
		EXPECT_TRUE(board.Requests().empty());
		struct stat info;
		EXPECT_NE(stat(rdx.AccessLogFile().c_str(), &info), 0);
	}

	// Mended as the line says, it starts and drives the board.
	ASSERT_EQ(unlink(socket.c_str()), 0);
	ASSERT_TRUE(rdx.Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?3=1", 15));
	EXPECT_EQ(rdx.CloseAndWait(), 0);
}


TEST(PortRefusal, APortDirectoryInTmpOfAnotherUserStopsRdx)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to give the directory away";
	if (!InMountNamespace())
		return RunInMountNamespace();

	Watchdog watchdog("APortDirectoryInTmpOfAnotherUserStopsRdx", 100);
	// A /tmp of this namespace alone, where another user got first.
	ASSERT_EQ(MountFileSystem("tmpfs", "/tmp", "mode=1777"), "");
	setenv("TMPDIR", "/tmp", 1);
	std::string directory = "/tmp/rdx-kit-" + std::to_string(geteuid());
	ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
	ASSERT_EQ(chown(directory.c_str(), 65534, 65534), 0);

	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	RdxProgram rdx(TestDisplay(), "rdx-faults");
	ASSERT_TRUE(rdx.Seed({{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)}, {"TagsUseDoor", seed::Int32(1)}}));
	ChildProcess::Options options;
	options.environment = {
		{"HOME", rdx.Directory().Sub("home")},
		{"XDG_CONFIG_HOME", rdx.ConfigHome()},
		{"XDG_STATE_HOME", rdx.StateHome()},
		{"DISPLAY", TestDisplay()},
	};
	options.unset = {"XDG_RUNTIME_DIR", "LANGUAGE", "LANG", "LC_ALL",
		"LC_MESSAGES"};
	ChildProcess child({kRdxProgram}, options);
	int status = -1;
	ASSERT_TRUE(child.Wait(20, &status));
	EXPECT_EQ(status, 3);
	EXPECT_EQ(child.Errors(), "rdx: the message port's directory "
		+ directory + " cannot be used: it belongs to user id 65534; to mend"
		" it: have root remove it (rm -r " + directory + "), or set"
		" XDG_RUNTIME_DIR to a directory of yours; this one does not"
		" start\n");
	EXPECT_EQ(child.Output(), "");
	EXPECT_TRUE(board.Requests().empty());
	struct stat info;
	ASSERT_EQ(lstat(directory.c_str(), &info), 0);
	EXPECT_EQ(info.st_uid, 65534u);
}
