// The record of open relays as a file: who may have written it, what a close
// crosses out, what it does when it is full, and that one program keeps it.

#include "BoardSim.h"
#include "RelayTestSupport.h"
#include "TempDir.h"
#include "UnusedPort.h"

#include <BoardCommand.h>
#include <BoundedCommand.h>
#include <OpenGate.h>
#include <OpenRelayRecord.h>
#include <RelayPath.h>
#include <RelayRecovery.h>
#include <RelayStatus.h>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Entries = std::vector<OpenRelayRecord::Entry>;


std::string
Listed(const Entries& entries)
{
	std::string text;
	for (const OpenRelayRecord::Entry& entry : entries)
		text += std::to_string(entry.relay) + " " + entry.address + "\n";
	return text;
}


// What the file holds now, as another start would read it.
std::string
OnDisk(const std::string& path)
{
	Entries entries;
	if (!OpenRelayRecord::Parse(read_file(path), &entries))
		return "(no record)";
	return Listed(entries);
}


bool
WriteFile(const std::string& path, const std::string& bytes, mode_t mode)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
		mode);
	bool written = fd >= 0 && write(fd, bytes.data(), bytes.size())
		== (ssize_t)bytes.size();
	return fd >= 0 && close(fd) == 0 && written && chmod(path.c_str(), mode)
		== 0;
}

}	// namespace


TEST(OpenRelayRecord, RefusesWhatOthersCouldHaveWrittenOrChanged)
{
	const std::string earlier = OpenRelayRecord::Format({{4, "127.0.0.9"}});
	struct Case {
		const char*	name;
		// Makes the state directory "state" (the record goes in state/RDX)
		// below the base; false when this machine cannot (not root).
		std::function<bool(const TempDir&)> make;
		status_t	loaded;
		bool		kept;
	};
	auto plain = [&](const TempDir& base, mode_t directory, mode_t file) {
		return mkdir(base.Sub("state").c_str(), 0700) == 0
			&& mkdir(base.Sub("state/RDX").c_str(), directory) == 0
			&& chmod(base.Sub("state/RDX").c_str(), directory) == 0
			&& WriteFile(base.Sub("state/RDX/open-relays"), earlier, file);
	};
	const Case cases[] = {
		{"own, private", [&](const TempDir& base) {
			return plain(base, 0700, 0600); }, B_OK, true},
		{"file of another user", [&](const TempDir& base) {
			return plain(base, 0700, 0600) && chown(base.Sub(
				"state/RDX/open-relays").c_str(), 65534, 65534) == 0; },
			B_NOT_ALLOWED, true},
		{"file others may write", [&](const TempDir& base) {
			return plain(base, 0700, 0622); }, B_NOT_ALLOWED, true},
		{"file is a link", [&](const TempDir& base) {
			return plain(base, 0700, 0600) && WriteFile(base.Sub("elsewhere"),
				earlier, 0600) && rename(base.Sub("elsewhere").c_str(),
				base.Sub("state/open-relays").c_str()) == 0
				&& unlink(base.Sub("state/RDX/open-relays").c_str()) == 0
				&& symlink("../open-relays", base.Sub(
					"state/RDX/open-relays").c_str()) == 0; },
			B_NOT_ALLOWED, true},
		{"directory others may write", [&](const TempDir& base) {
			return plain(base, 0777, 0600); }, B_PERMISSION_DENIED, false},
		{"directory of another user", [&](const TempDir& base) {
			return plain(base, 0700, 0600) && chown(base.Sub(
				"state/RDX").c_str(), 65534, 65534) == 0; },
			B_PERMISSION_DENIED, false},
		{"directory behind a link others may change", [&](const TempDir& base) {
			return mkdir(base.Sub("private").c_str(), 0700) == 0
				&& mkdir(base.Sub("state").c_str(), 0777) == 0
				&& chmod(base.Sub("state").c_str(), 0777) == 0
				&& symlink("../private", base.Sub("state/RDX").c_str()) == 0;
			}, B_PERMISSION_DENIED, false},
		{"directory behind a link of the user's own", [&](const TempDir& base) {
			return mkdir(base.Sub("private").c_str(), 0700) == 0
				&& mkdir(base.Sub("state").c_str(), 0700) == 0
				&& symlink("../private", base.Sub("state/RDX").c_str()) == 0
				&& WriteFile(base.Sub("private/open-relays"), earlier, 0600);
			}, B_OK, true},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		TempDir base("rdx-record");
		if (!test.make(base)) {
			printf("not tried here (%s): %s\n", test.name, strerror(errno));
			continue;
		}
		std::string path = base.Sub("state/RDX/open-relays");
		OpenRelayRecord record(path);
		Entries entries;
		std::string problem;
		EXPECT_EQ(test.loaded, record.Load(&entries, &problem)) << problem;
		// Nothing of a file that cannot be trusted is believed.
		EXPECT_EQ(test.loaded == B_OK ? "4 127.0.0.9\n" : "", Listed(entries));
		StdoutCapture output;
		record.Begin({});
		EXPECT_EQ(test.kept, record.Ready()) << output.Text();
		EXPECT_EQ(test.kept ? B_OK : B_NOT_ALLOWED,
			record.Opened(2, "127.0.0.1:8080"));
		if (test.kept) {
			struct stat info;
			ASSERT_EQ(0, lstat(path.c_str(), &info));
			EXPECT_TRUE(S_ISREG(info.st_mode));
			EXPECT_EQ(geteuid(), info.st_uid);
			EXPECT_EQ(0600u, info.st_mode & 07777);
			EXPECT_EQ("2 127.0.0.1:8080\n", OnDisk(path));
		} else {
			EXPECT_EQ(1, count_of(output.Text(), "no relay is opened until it "
				"can be kept again")) << output.Text();
		}
		if (HasFailure())
			output.Replay();
	}
}


TEST(OpenRelayRecord, CrossesOutOnlyWhatItsOwnBoardAnsweredAndDropsNothing)
{
	TempDir base("rdx-record");
	std::string path = base.Sub("RDX/open-relays");
	OpenRelayRecord record(path);
	Entries entries;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&entries, &problem)) << problem;
	ASSERT_EQ(B_OK, record.Begin({}));
	WriteRelayStatus(RDX_RSTATUS_RESET);

	// Relay 4 opened at two boards (the address changed meanwhile): the
	// close the second board answered leaves the first one's entry.
	for (const char* address : {"127.0.0.1", "127.0.0.2"})
		ASSERT_EQ(B_OK, record.Opened(4, address));
	ASSERT_EQ(B_OK, record.Opened(2, "127.0.0.1"));
	record.Closed(4, "127.0.0.2");
	EXPECT_EQ("4 127.0.0.1\n2 127.0.0.1\n", OnDisk(path));

	// Full: a new open is refused, never made room for; one already
	// written down needs no room.
	for (size_t i = 3; i <= OpenRelayRecord::kMaxEntries; i++)
		ASSERT_EQ(B_OK, record.Opened(1, ("127.0.0." + std::to_string(i))
			.c_str()));
	std::string full = OnDisk(path);
	StdoutCapture output;
	EXPECT_EQ(B_NO_MEMORY, record.Opened(3, "127.0.0.1"));
	EXPECT_EQ(B_OK, record.Opened(4, "127.0.0.1"));
	EXPECT_EQ(full, OnDisk(path));
	EXPECT_EQ(1, count_of(output.Text(),
		"relay 3 at 127.0.0.1 is not opened"));
	EXPECT_TRUE(record.Ready());
	// Every address a board command can be made for fits a slot whole.
	char command[RDX_COMMAND_BUFFER];
	std::string longest(OpenRelayRecord::kMaxAddress + 1, 'h');
	EXPECT_EQ(B_NAME_TOO_LONG, MakeBoardCommand(command, "/tmp",
		longest.c_str(), 6, 0));
	EXPECT_EQ(B_NAME_TOO_LONG, record.Opened(2, longest.c_str()));
	if (HasFailure())
		output.Replay();
}


TEST(OpenRelayRecord, OneProgramKeepsItAndTheNextTakesItOver)
{
	TempDir base("rdx-record");
	std::string path = base.Sub("RDX/open-relays");
	auto first = std::make_unique<OpenRelayRecord>(path);
	Entries entries;
	std::string problem;
	ASSERT_EQ(B_OK, first->Load(&entries, &problem));
	ASSERT_EQ(B_OK, first->Begin({}));
	ASSERT_EQ(B_OK, first->Opened(3, "127.0.0.7"));
	struct stat before;
	ASSERT_EQ(0, stat(path.c_str(), &before));

	// A second rdx on the same state directory neither reads the first's
	// entries as left open nor records anything.
	OpenRelayRecord second(path);
	StdoutCapture output;
	EXPECT_EQ(B_NAME_IN_USE, second.Load(&entries, &problem));
	EXPECT_TRUE(entries.empty());
	second.Begin({});
	EXPECT_FALSE(second.Ready());
	EXPECT_NE(B_OK, second.Opened(1, "127.0.0.7"));
	EXPECT_EQ(1, count_of(output.Text(), "another rdx keeps it")) << output.Text();

	// Once the first has gone, the second takes the file over with what it
	// held, in place (the same file, so a full disk would not stop it).
	first.reset();
	EXPECT_TRUE(second.Ready());
	EXPECT_EQ("3 127.0.0.7\n", Listed(second.Entries()));
	EXPECT_EQ(1, count_of(output.Text(), "relays are opened as before"));
	struct stat after;
	ASSERT_EQ(0, stat(path.c_str(), &after));
	EXPECT_EQ(before.st_ino, after.st_ino);
	if (HasFailure())
		output.Replay();
}


TEST(OpenRelayRecord, KeepsOnlyTheFileItsNameStillLeadsTo)
{
	// Another program puts a new file in the record's place right while
	// this one opens it: held here at the open by a permission event, while
	// the new file is renamed over the name. What is read and written from
	// then on must be the file the name leads to, or the next start would
	// not find it.
	TempDir base("rdx-record");
	std::string path = base.Sub("RDX/open-relays");
	std::string fresh = base.Sub("RDX/fresh");
	ASSERT_EQ(0, mkdir(base.Sub("RDX").c_str(), 0700));
	ASSERT_TRUE(WriteFile(path, OpenRelayRecord::Format({{4, "127.0.0.9"}}),
		0600));
	ASSERT_TRUE(WriteFile(fresh, OpenRelayRecord::Format({{1, "127.0.0.1"}}),
		0600));
	int watch = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
	if (watch < 0)
		GTEST_SKIP() << "no permission events here: " << strerror(errno);
	ASSERT_EQ(0, fanotify_mark(watch, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD,
		path.c_str()));
	std::thread replacer([&] {
		pollfd entry = {watch, POLLIN, 0};
		if (poll(&entry, 1, 10000) != 1)
			return;
		fanotify_event_metadata events[8];
		ssize_t size = read(watch, events, sizeof(events));
		for (fanotify_event_metadata* event = events;
				FAN_EVENT_OK(event, size); event = FAN_EVENT_NEXT(event, size)) {
			rename(fresh.c_str(), path.c_str());
			fanotify_response allow = {event->fd, FAN_ALLOW};
			ssize_t written = write(watch, &allow, sizeof(allow));
			(void)written;
			close(event->fd);
		}
	});
	OpenRelayRecord record(path);
	Entries entries;
	std::string problem;
	EXPECT_EQ(B_OK, record.Load(&entries, &problem)) << problem;
	replacer.join();
	close(watch);
	EXPECT_EQ("1 127.0.0.1\n", Listed(entries));
	ASSERT_EQ(B_OK, record.Begin(entries));
	ASSERT_EQ(B_OK, record.Opened(2, "127.0.0.2"));
	EXPECT_EQ("1 127.0.0.1\n2 127.0.0.2\n", OnDisk(path));
}


TEST(OpenGate, WgetReachesTheBoardOnlyOnceLetThrough)
{
	// The power-cut rule leans on wget opening its answer file before it
	// connects: a wget that did not would reach the board here at once.
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	for (bool let : {true, false}) {
		SCOPED_TRACE(let ? "let through" : "withheld");
		OpenGate gate(5);
		ASSERT_FALSE(gate.Directory().empty());
		char command[RDX_COMMAND_BUFFER];
		ASSERT_EQ(B_OK, MakeBoardCommand(command, gate.Directory(),
			board.Address().c_str(), 5, 0));
		size_t before = board.Requests().size();
		bool reachedEarly = true;
		CommandHold hold;
		hold.release = [&](int* drain) {
			usleep(400000);
			reachedEarly = board.Requests().size() != before;
			// Opened only to let it through: an open gate while the
			// command is being stopped would race the stop to the board.
			if (let)
				*drain = gate.Open();
			return let;
		};
		bool timedOut = false;
		int status = RunBoundedCommand(command, RDX_COMMAND_LIMIT, &timedOut,
			&hold);
		EXPECT_FALSE(reachedEarly);
		EXPECT_EQ(!let, hold.withheld);
		EXPECT_EQ(let ? 0 : -1, status);
		usleep(200000);
		EXPECT_EQ(before + (let ? 1 : 0), board.Requests().size());
	}
}


TEST(OpenGate, TheRealWgetIsSeenWaitingThere)
{
	// The try against a listener of the program's own finds what the case
	// above shows, so the gate is used and the disk's time stays hidden.
	EXPECT_TRUE(wait_for([] { return OpenGate::WgetWaitsAtIt(); }, 10));
}


TEST(RelayRecovery, ARecordAnotherRdxKeepsIsLeftToIt)
{
	// Two rdx on one state directory (their ports apart, in runtime
	// directories of their own): the first holds relay 4 open. The second
	// start neither closes the first's relays nor records anything.
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	TempDir base("rdx-record");
	std::string path = base.Sub("RDX/open-relays");
	OpenRelayRecord first(path);
	Entries entries;
	std::string problem;
	ASSERT_EQ(B_OK, first.Load(&entries, &problem));
	ASSERT_EQ(B_OK, first.Begin({}));
	ASSERT_EQ(B_OK, first.Opened(4, board.Address().c_str()));

	OpenRelayRecord second(path);
	StdoutCapture output;
	RelayRecovery::AtStart(second, [&] { return board.Address(); });
	EXPECT_TRUE(board.Requests().empty());
	EXPECT_FALSE(second.Ready());
	EXPECT_EQ(1, count_of(output.Text(), "another rdx keeps it"))
		<< output.Text();
	EXPECT_EQ("4 " + board.Address() + "\n", OnDisk(path));
	if (HasFailure())
		output.Replay();
}


TEST(RelayRecovery, RecordThatCannotBeTrustedClosesOnlyABoardThatWasStored)
{
	for (bool stored : {false, true}) {
		SCOPED_TRACE(stored ? "a board stored" : "no board stored");
		TempDir base("rdx-record");
		std::string path = base.Sub("RDX/open-relays");
		ASSERT_EQ(0, mkdir(base.Sub("RDX").c_str(), 0700));
		ASSERT_TRUE(WriteFile(path, "4 127.0.0.1:1\n", 0600));
		std::string gone = "127.0.0.1:" + std::to_string(UnusedPort());
		OpenRelayRecord record(path);
		StdoutCapture output;
		RelayRecovery::AtStart(record, [&] {
			return stored ? gone : std::string(); });
		std::string text = output.Text();
		// Unanswered, all four stay to be closed at the next chance.
		std::string left;
		for (int relay = 1; relay <= 4 && stored; relay++)
			left += std::to_string(relay) + " " + gone + "\n";
		EXPECT_EQ(left, Listed(record.Entries())) << text;
		EXPECT_EQ(left, OnDisk(path));
		EXPECT_EQ(stored ? 4 : 0, count_of(text, "recovery: relay")) << text;
		EXPECT_EQ(stored ? 0 : 1, count_of(text, "no board is stored in the "
			"settings yet, so there is nothing to close")) << text;
		EXPECT_TRUE(record.Ready());
		if (HasFailure())
			output.Replay();
	}
}


class RecoveryWhileRunning : public RelayTest {};


TEST_F(RecoveryWhileRunning, WhatARecordTakenOverHoldsIsClosedAtOnce)
{
	// The record could not be trusted at start (its directory was open to
	// others): all four relays of the stored board were closed, and its
	// entry for another board was not believed. Once the directory is
	// mended, the next open takes the record over: that entry may well be
	// a relay left open, and it is closed now, not at some later chance.
	BoardSim board;
	BoardSim earlier;
	ASSERT_TRUE(board.IsListening() && earlier.IsListening());
	TempDir base("rdx-record");
	std::string directory = base.Sub("RDX");
	std::string path = directory + "/open-relays";
	ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
	ASSERT_EQ(0, chmod(directory.c_str(), 0777));
	ASSERT_TRUE(WriteFile(path, OpenRelayRecord::Format({{3,
		earlier.Address()}}), 0600));
	OpenRelayRecord record(path);
	RelayRecovery::AtStart(record, [&] { return board.Address(); });
	ASSERT_TRUE(board.WaitForRequest("GET /?6=1", 10));
	OpenRelayRecord::SetDefault(&record);

	ASSERT_EQ(0, chmod(directory.c_str(), 0700));
	Own_Thread(2, true, board.Address().c_str(), 1);
	EXPECT_TRUE(board.WaitForRequest("GET /?4=0", 10));
	EXPECT_TRUE(earlier.WaitForRequest("GET /?5=1", 10)) << fOutput->Text();
	EXPECT_TRUE(wait_for([&] { return Listed(record.Entries())
		== "2 " + board.Address() + "\n"; }, 10)) << Listed(record.Entries());
	EXPECT_TRUE(wait_for([] { return RelayRecovery::Idle(); }, 10));
	ASSERT_TRUE(WaitForWorkersToEnd(10));
	OpenRelayRecord::SetDefault(nullptr);
}


TEST_F(RecoveryWhileRunning, AnOpenMadeWhileItsCloseWasOnTheWayKeepsItsEntry)
{
	// The record holds relay 2 from a close the board missed; its close
	// goes out again, and a tag opens relay 2 while that close waits for
	// the board's answer. The board took the close first: relay 2 is open,
	// and the answer to the close must not cross it out.
	BoardSim board({"--delay-ms", "800"});
	ASSERT_TRUE(board.IsListening());
	TempDir base("rdx-record");
	std::string path = base.Sub("RDX/open-relays");
	OpenRelayRecord record(path);
	Entries entries;
	std::string problem;
	ASSERT_EQ(B_OK, record.Load(&entries, &problem));
	ASSERT_EQ(B_OK, record.Begin({{2, board.Address()}}));
	OpenRelayRecord::SetDefault(&record);

	RelayRecovery::CloseOwed();
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 10));
	Own_Thread(2, true, board.Address().c_str(), 1);
	ASSERT_TRUE(board.WaitForRequest("GET /?4=0", 10));
	EXPECT_TRUE(wait_for([] { return RelayRecovery::Idle(); }, 10));
	EXPECT_EQ("2 " + board.Address() + "\n", Listed(record.Entries()));
	EXPECT_EQ("2 " + board.Address() + "\n", OnDisk(path));
	ASSERT_TRUE(WaitForWorkersToEnd(10));
	OpenRelayRecord::SetDefault(nullptr);
}
