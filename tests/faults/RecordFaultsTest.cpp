// The record of open relays on a full disk: kept in place where an earlier
// run made it, so that what opens is still written down and closed after a
// crash; where it cannot be made at all, nothing opens until there is room.
// Runs in a mount namespace of its own, with a small tmpfs as the state
// directory.

#include "BoardSim.h"
#include "FaultSupport.h"
#include "RdxProgram.h"
#include "Watchdog.h"

#include <OpenRelayRecord.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Takes every block, then every inode, of the file system the directory is
// on; the names it made go to *made.
void
FillUp(const std::string& directory, std::vector<std::string>* made)
{
	std::string filler = directory + "/filler";
	int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
	if (fd < 0)
		return;
	made->push_back(filler);
	std::string block(4096, '\0');
	while (write(fd, block.data(), block.size()) > 0) {
	}
	close(fd);
	for (int i = 0; i < 1000; i++) {
		std::string name = directory + "/inode" + std::to_string(i);
		fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
		if (fd < 0)
			return;
		close(fd);
		made->push_back(name);
	}
}


void
Free(std::vector<std::string>* made)
{
	for (const std::string& name : *made)
		unlink(name.c_str());
	made->clear();
}

}	// namespace


TEST(RecordFaultTest, FullDiskKeepsTheRecordInPlaceOrOpensNothing)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	Watchdog watchdog("FullDiskKeepsTheRecordInPlaceOrOpensNothing", 100);

	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	RdxProgram rdx(TestDisplay(), "rdx-faults");
	ASSERT_EQ(MountFileSystem("tmpfs", rdx.StateHome(),
		"size=64k,nr_inodes=16,mode=700"), "");
	std::string record = rdx.StateHome() + "/RDX/open-relays";
	seed::Values settings = {{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)}, {"OpenInSecs", seed::Int32(11)},
		{"TagsUseDoor", seed::Int32(4)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}};
	ASSERT_TRUE(rdx.Seed(settings));
	// An earlier run made the record.
	ASSERT_TRUE(rdx.Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 10));
	EXPECT_EQ(rdx.CloseAndWait(), 0);

	// Not a block or an inode is left: the record is still written, in
	// place, so the start-up pulse and a tag open, and a crash leaves the
	// tag's relay to be closed by the next start.
	std::vector<std::string> made;
	FillUp(rdx.StateHome(), &made);
	ASSERT_TRUE(rdx.Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?3=1", 10, 2)) << rdx.Transcript();
	ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(board.WaitForRequest("GET /?6=0", 10));
	EXPECT_NE(read_file(record).find("\n4 0"), std::string::npos);
	rdx.Signal(SIGKILL);
	rdx.WaitForExit();
	Free(&made);
	settings[1].second = seed::Bool(false);
	ASSERT_TRUE(rdx.Seed(settings));
	ASSERT_TRUE(rdx.Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?6=1", 10));
	EXPECT_EQ(rdx.Count("recovery: closed relay 4 at " + board.Address()), 1);
	EXPECT_EQ(rdx.CloseAndWait(), 0);

	// No record yet, and no room for one: nothing opens, and it says so
	// once, until there is room again.
	ASSERT_EQ(unlink(record.c_str()), 0);
	FillUp(rdx.StateHome(), &made);
	settings[1].second = seed::Bool(true);
	ASSERT_TRUE(rdx.Seed(settings));
	ASSERT_TRUE(rdx.Start());
	ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(rdx.Sync());
	EXPECT_EQ(rdx.Count("cannot keep the record of open relays " + record
		+ ": No space left on device; no relay is opened"), 1)
		<< rdx.Transcript();
	EXPECT_EQ(board.CountOf("GET /?3=0"), 2);
	EXPECT_EQ(board.CountOf("GET /?6=0"), 1);
	Free(&made);
	ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	EXPECT_TRUE(board.WaitForRequest("GET /?6=0", 10, 2));
	EXPECT_EQ(rdx.Count("can be kept again: relays are opened"), 1);
	EXPECT_EQ(rdx.CloseAndWait(), 0);
}


// A state directory that turned read-only (a disk remounted read-only after
// an error, say) holds a record that is still the user's own and can be
// read: what it holds is closed, each relay at the board it was opened at;
// nothing opens, since no open could be written down.
TEST(RecordFaultTest, ReadOnlyStateDirectoryClosesWhatTheRecordHoldsAndOpensNothing)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	Watchdog watchdog("ReadOnlyStateDirectoryClosesWhatTheRecordHolds", 60);

	BoardSim board;
	BoardSim earlier;
	ASSERT_TRUE(board.IsListening() && earlier.IsListening());
	RdxProgram rdx(TestDisplay(), "rdx-faults");
	std::string directory = rdx.StateHome() + "/RDX";
	ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
	// Relay 4 was opened at the board used before the address changed.
	std::string bytes = OpenRelayRecord::Format({{4, earlier.Address()}});
	int fd = open((directory + "/open-relays").c_str(),
		O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size());
	close(fd);
	ASSERT_EQ(BindReadOnly(directory), "");
	ASSERT_TRUE(rdx.Seed({{"rdx_ip", seed::Text(board.Address())},
		{"rdx_use", seed::Bool(true)}, {"OpenInSecs", seed::Int32(1)},
		{"TagsUseDoor", seed::Int32(2)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}}));
	ASSERT_TRUE(rdx.Start());
	EXPECT_TRUE(earlier.WaitForRequest("GET /?6=1", 10)) << rdx.Transcript();
	EXPECT_EQ(rdx.Count("recovery: closed relay 4 at " + earlier.Address()),
		1);
	ASSERT_EQ(rdx.Send({"RFID", "_tagstr=04A1B2C3"}), 0);
	ASSERT_TRUE(rdx.Sync());
	EXPECT_EQ(board.CountOf("GET /?3=0"), 0) << "the start-up pulse";
	EXPECT_EQ(board.CountOf("GET /?4=0"), 0) << "the tag";
	EXPECT_EQ(rdx.Count("Read-only file system; no relay is opened until it "
		"can be kept again"), 1) << rdx.Transcript();
	EXPECT_EQ(rdx.CloseAndWait(), 0);
}
