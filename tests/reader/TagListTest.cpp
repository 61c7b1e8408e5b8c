// The tag list, the repeat rule and the dispatcher that applies them: what
// becomes of a read, decided once for every source.

#include "Dispatcher.h"
#include "PathWatcher.h"
#include "ReaderTestSupport.h"
#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <functional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool
write_file(const std::string& path, const std::string& data)
{
	FILE* file = fopen(path.c_str(), "w");
	if (file == nullptr)
		return false;
	bool written = fwrite(data.data(), 1, data.size(), file) == data.size();
	return fclose(file) == 0 && written;
}


struct ListCase {
	const char*		name;
	std::string		content;
	// tag asked → listed name, or nullptr when not listed.
	std::vector<std::pair<std::string, const char*>> queries;
};


TEST(TagListTest, CommentsNamesAndCase)
{
	std::vector<ListCase> cases = {
		{"a tag and a name", "0014594826 Anna Berg, front door\n",
			{{"0014594826", "Anna Berg, front door"}, {"0014594827", nullptr}}},
		{"comments and blank lines",
			"# the staff\n\n   \n04a1b2c3   # a card\n#0000000001\n",
			{{"04A1B2C3", ""}, {"#0000000001", nullptr},
				{"0000000001", nullptr}}},
		{"case does not matter", "04a1b2c3 Key\n",
			{{"04A1B2C3", "Key"}, {"04a1b2c3", "Key"}}},
		{"tabs and CRLF", "\t12AB\tHans\r\n34CD\r\n",
			{{"12AB", "Hans"}, {"34CD", ""}}},
		{"no newline at the end", "1111", {{"1111", ""}}},
		{"a tag is a whole word", "123456 x\n",
			{{"12345", nullptr}, {"1234567", nullptr}}},
	};
	for (const ListCase& test : cases) {
		SCOPED_TRACE(test.name);
		TempDir directory("rdx-reader-tags");
		std::string path = directory.Sub("tags");
		ASSERT_TRUE(write_file(path, test.content));
		TagList list(path);
		std::string problem;
		ASSERT_EQ(B_OK, list.Load(&problem)) << problem;
		for (const auto& [tag, name] : test.queries) {
			std::string found;
			EXPECT_EQ(name != nullptr, list.Contains(tag, &found)) << tag;
			if (name != nullptr) {
				EXPECT_EQ(name, found) << tag;
			}
		}
	}
}


TEST(TagListTest, ReadAgainAfterAnEditorReplacesTheFile)
{
	TempDir directory("rdx-reader-tags");
	std::string path = directory.Sub("tags");
	ASSERT_TRUE(write_file(path, "1111\n"));
	TagList list(path);
	std::string problem;
	ASSERT_EQ(B_OK, list.Load(&problem));
	PathWatcher watcher(path);
	ASSERT_TRUE(watcher.IsValid());

	// A file of another name in the same directory says nothing.
	ASSERT_TRUE(write_file(directory.Sub("tags~"), "2222\n"));
	struct pollfd entry = {watcher.FD(), POLLIN, 0};
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	EXPECT_FALSE(watcher.Read());

	// Written aside, then renamed over the list, as editors save.
	ASSERT_TRUE(write_file(directory.Sub(".tags.swp"), "2222 new\n"));
	ASSERT_EQ(0, rename(directory.Sub(".tags.swp").c_str(), path.c_str()));
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	EXPECT_TRUE(watcher.Read());
	ASSERT_EQ(B_OK, list.Load(&problem));
	EXPECT_FALSE(list.Contains("1111"));
	EXPECT_TRUE(list.Contains("2222"));

	// Removed: the list is empty, and nothing passes.
	ASSERT_EQ(0, unlink(path.c_str()));
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	EXPECT_TRUE(watcher.Read());
	ASSERT_EQ(B_OK, list.Load(&problem));
	EXPECT_TRUE(list.IsEmpty());
	EXPECT_FALSE(list.Exists());
}


TEST(TagListTest, WatchesADirectoryThatDoesNotExistYet)
{
	TempDir directory("rdx-reader-tags");
	std::string path = directory.Sub("config/RDX/tags");
	PathWatcher watcher(path);
	ASSERT_TRUE(watcher.IsValid());
	struct pollfd entry = {watcher.FD(), POLLIN, 0};
	ASSERT_EQ(0, mkdir(directory.Sub("config").c_str(), 0700));
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	watcher.Read();
	ASSERT_EQ(0, mkdir(directory.Sub("config/RDX").c_str(), 0700));
	ASSERT_EQ(1, poll(&entry, 1, 20000));
	watcher.Read();
	ASSERT_TRUE(write_file(path, "3333\n"));
	bool concerned = false;
	for (int i = 0; i < 5 && !concerned; i++) {
		ASSERT_EQ(1, poll(&entry, 1, 20000));
		concerned = watcher.Read();
	}
	EXPECT_TRUE(concerned);
}


// A list that someone else could change decides nothing until it is
// mended; the checks run as the user (root here may hand files to others).
TEST(TagListTest, ListOthersMayWriteIsRefusedUntilMended)
{
	struct Case {
		const char*	name;
		mode_t		fileMode;
		uid_t		fileOwner;
		mode_t		directoryMode;
		uid_t		directoryOwner;
		// nullptr: taken.
		const char*	refusal;
	};
	uid_t me = geteuid();
	const std::vector<Case> cases = {
		{"private", 0600, me, 0700, me, nullptr},
		{"readable by all", 0644, me, 0755, me, nullptr},
		{"its group may write", 0620, me, 0700, me,
			"may be written by others (mode 0620): no tag passes until that"
			" is mended: chmod go-w "},
		{"others may write", 0602, me, 0700, me, "(mode 0602)"},
		{"another user's", 0600, 4242, 0700, me,
			"belongs to another user (uid 4242)"},
		{"in a directory others may write", 0600, me, 0777, me,
			"may be written by others (mode 0777)"},
		{"in a sticky directory", 0600, me, 01777, me, nullptr},
		{"in another user's directory", 0600, me, 0700, 4242,
			"belongs to another user (uid 4242)"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		TempDir directory("rdx-reader-trust");
		std::string folder = directory.Sub("RDX");
		std::string path = folder + "/tags";
		ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
		ASSERT_TRUE(write_file(path, "1111 Anna\n"));
		if (geteuid() != 0 && (test.fileOwner != me
				|| test.directoryOwner != me))
			continue;
		ASSERT_EQ(0, chmod(path.c_str(), test.fileMode));
		ASSERT_EQ(0, chown(path.c_str(), test.fileOwner, (gid_t)-1));
		ASSERT_EQ(0, chmod(folder.c_str(), test.directoryMode));
		ASSERT_EQ(0, chown(folder.c_str(), test.directoryOwner, (gid_t)-1));

		TagList list(path);
		std::string problem;
		status_t status = list.Load(&problem);
		if (test.refusal == nullptr) {
			EXPECT_EQ(B_OK, status) << problem;
			EXPECT_TRUE(list.Contains("1111"));
			continue;
		}
		EXPECT_EQ(B_NOT_ALLOWED, status);
		EXPECT_EQ(1, count_of(problem, test.refusal)) << problem;
		EXPECT_TRUE(list.IsRefused());
		EXPECT_FALSE(list.Contains("1111"));
		EXPECT_EQ(TagDecision::kUnknown, list.Decide("1111",
			LocalTime::Now()).What());
		std::string appendProblem;
		EXPECT_NE(B_OK, list.Append("2222", "learned", &appendProblem));

		ASSERT_EQ(0, chown(path.c_str(), me, (gid_t)-1));
		ASSERT_EQ(0, chmod(path.c_str(), 0600));
		ASSERT_EQ(0, chown(folder.c_str(), me, (gid_t)-1));
		ASSERT_EQ(0, chmod(folder.c_str(), 0700));
		EXPECT_EQ(B_OK, list.Load(&problem)) << problem;
		EXPECT_TRUE(list.Contains("1111"));
		EXPECT_FALSE(list.IsRefused());
	}
}


// Every directory on the way to the list counts, through every link, a
// link in the middle of a chain included: whoever may write one of them
// could put another list in its place.
TEST(TagListTest, TrustWalksEveryDirectoryThroughEveryLink)
{
	struct Case {
		const char*	name;
		// Directories made below the test's own, with their modes.
		std::vector<std::pair<const char*, mode_t>> directories;
		// Links: where, and what they say.
		std::vector<std::pair<const char*, const char*>> links;
		const char*	list;
		// The path asked for.
		const char*	path;
		// nullptr: taken; else part of the refusal, after the test's
		// directory.
		const char*	refusal;
		bool		needsRoot = false;
	};
	const std::vector<Case> cases = {
		{"a link in the middle of a chain, in a directory others may write",
			{{"cfg", 0700}, {"shared", 0777}, {"home", 0700}, {"home/x", 0700}},
			{{"cfg/tags", "@/shared/door-tags"},
				{"shared/door-tags", "@/home/x/page.txt"}},
			"home/x/page.txt", "cfg/tags",
			"/shared may be written by others (mode 0777)"},
		{"the same chain through directories of one's own",
			{{"cfg", 0700}, {"shared", 0755}, {"home", 0700}, {"home/x", 0700}},
			{{"cfg/tags", "@/shared/door-tags"},
				{"shared/door-tags", "@/home/x/page.txt"}},
			"home/x/page.txt", "cfg/tags", nullptr},
		{"a directory above the list's own",
			{{"open", 0777}, {"open/RDX", 0700}}, {}, "open/RDX/tags",
			"open/RDX/tags", "/open may be written by others (mode 0777)"},
		{"a relative link through '..' into a directory others may write",
			{{"cfg", 0700}, {"shared", 0775}},
			{{"cfg/tags", "../shared/list"}}, "shared/list", "cfg/tags",
			"/shared may be written by others (mode 0775)"},
		{"a sticky directory on the way",
			{{"sticky", 01777}, {"sticky/mine", 0700}}, {}, "sticky/mine/tags",
			"sticky/mine/tags", nullptr},
		{"another user's link in a sticky directory",
			{{"sticky", 01777}, {"home", 0700}},
			{{"sticky/tags", "@/home/tags"}}, "home/tags", "sticky/tags",
			"/sticky/tags belongs to another user (uid 4242)", true},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		if (test.needsRoot && geteuid() != 0)
			continue;
		TempDir directory("rdx-reader-trust");
		for (const auto& [name, mode] : test.directories) {
			ASSERT_EQ(0, mkdir(directory.Sub(name).c_str(), 0700));
			ASSERT_EQ(0, chmod(directory.Sub(name).c_str(), mode));
		}
		for (const auto& [name, target] : test.links) {
			// "@" stands for the test's own directory.
			std::string to = target[0] == '@'
				? directory.Path() + (target + 1) : target;
			ASSERT_EQ(0, symlink(to.c_str(), directory.Sub(name).c_str()));
			if (test.needsRoot) {
				ASSERT_EQ(0, lchown(directory.Sub(name).c_str(), 4242,
					(gid_t)-1));
			}
		}
		ASSERT_TRUE(write_file(directory.Sub(test.list), "1111 Anna\n"));
		ASSERT_EQ(0, chmod(directory.Sub(test.list).c_str(), 0600));
		TagList list(directory.Sub(test.path));
		std::string problem;
		status_t status = list.Load(&problem);
		if (test.refusal == nullptr) {
			EXPECT_EQ(B_OK, status) << problem;
			EXPECT_TRUE(list.Decide("1111", LocalTime::Now()).Passes());
			continue;
		}
		EXPECT_EQ(B_NOT_ALLOWED, status);
		EXPECT_EQ(1, count_of(problem, directory.Path() + test.refusal))
			<< problem;
		EXPECT_EQ(TagDecision::kUnknown, list.Decide("1111",
			LocalTime::Now()).What());
	}
}


// A list is taken once its writer has finished: created and written is
// not finished, closed or renamed into place is; until then the list read
// before stays in force. The kernel tells of a writer by a read lease;
// where there is none (here: a program that handles the signal a lease
// break sends), /proc tells.
void
handle_nothing(int)
{
}


TEST(TagListTest, ListIsTakenOnlyWhenItsWriterHasFinished)
{
	for (bool leases : {true, false}) {
		SCOPED_TRACE(leases ? "with leases" : "without leases");
		struct sigaction handler = {}, old;
		handler.sa_handler = handle_nothing;
		ASSERT_EQ(0, sigaction(SIGURG, leases ? nullptr : &handler, &old));
		TempDir directory("rdx-reader-tags");
		std::string path = directory.Sub("tags");
		ASSERT_TRUE(write_file(path, "7100 Visitor | off\n"));
		TagList list(path);
		std::string problem;
		ASSERT_EQ(B_OK, list.Load(&problem));
		PathWatcher watcher(path, PathWatcher::kFinishedWrites);
		ASSERT_TRUE(watcher.IsValid());
		struct pollfd entry = {watcher.FD(), POLLIN, 0};

		struct Step {
			const char*	name;
			std::function<bool()> change;
			// What the watcher says of it, and what a load then gives.
			bool		concerns;
			status_t	load;
			TagDecision::Verdict verdict;
		};
		int fd = -1;
		auto put = [&](const char* text) {
			return write(fd, text, strlen(text)) == (ssize_t)strlen(text);
		};
		const std::vector<Step> steps = {
			{"removed", [&] { return unlink(path.c_str()) == 0; }, true, B_OK,
				TagDecision::kUnknown},
			{"made again, written in part", [&] {
				fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
				return fd >= 0 && put("7100 Visitor ");
			}, false, B_WOULD_BLOCK, TagDecision::kUnknown},
			{"its mode set while open", [&] { return fchmod(fd, 0600) == 0; },
				true, B_WOULD_BLOCK, TagDecision::kUnknown},
			{"closed", [&] { return put("| off\n") && close(fd) == 0; }, true,
				B_OK, TagDecision::kOff},
			{"truncated in place", [&] {
				fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
				return fd >= 0 && put("7100 Visitor ")
					&& fchmod(fd, 0600) == 0;
			}, true, B_WOULD_BLOCK, TagDecision::kOff},
			{"closed again", [&] { return put("\n") && close(fd) == 0; },
				true, B_OK, TagDecision::kPass},
			{"removed again", [&] {
				return write_file(directory.Sub("other"), "7100 | off\n")
					&& chmod(directory.Sub("other").c_str(), 0600) == 0
					&& unlink(path.c_str()) == 0;
			}, true, B_OK, TagDecision::kUnknown},
			{"a link made in its place", [&] {
				return symlink(directory.Sub("other").c_str(), path.c_str())
					== 0;
			}, true, B_OK, TagDecision::kOff},
		};
		for (const Step& step : steps) {
			SCOPED_TRACE(step.name);
			ASSERT_TRUE(step.change());
			ASSERT_EQ(1, poll(&entry, 1, 20000));
			EXPECT_EQ(step.concerns, watcher.Read());
			EXPECT_EQ(step.load, list.Load(&problem)) << problem;
			EXPECT_EQ(step.verdict, list.Decide("7100",
				LocalTime::Now()).What());
		}
		ASSERT_EQ(0, sigaction(SIGURG, &old, nullptr));
	}
}


// A writer the user cannot see in /proc (root, editing the user's list in
// place) is told by the lease alone: the half-written list is not taken.
TEST(TagListTest, AWriterOfAnotherUserIsToldByTheLease)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to write as another user";
	const uid_t user = 4242;
	TempDir directory("rdx-reader-root");
	ASSERT_EQ(0, chmod(directory.Path().c_str(), 0755));
	std::string folder = directory.Sub("RDX");
	std::string path = folder + "/tags";
	ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
	ASSERT_TRUE(write_file(path, "7100 Visitor | off\n"));
	ASSERT_EQ(0, chmod(path.c_str(), 0600));
	ASSERT_EQ(0, chown(folder.c_str(), user, user));
	ASSERT_EQ(0, chown(path.c_str(), user, user));

	int writer = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
	ASSERT_GE(writer, 0);
	ASSERT_EQ(13, write(writer, "7100 Visitor ", 13));
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		// The user's rdx-reader: not root, and not the writer itself.
		close(writer);
		if (setgroups(0, nullptr) != 0 || setresgid(user, user, user) != 0
			|| setresuid(user, user, user) != 0)
			_exit(3);
		TagList list(path);
		std::string problem;
		status_t status = list.Load(&problem);
		_exit(status == B_WOULD_BLOCK ? 0 : status == B_OK ? 1 : 2);
	}
	int status = -1;
	ASSERT_EQ(child, waitpid(child, &status, 0));
	close(writer);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(0, WEXITSTATUS(status)) << "1: the half-written list was taken";
}


TEST(TagListTest, WatcherWakesWhenTheNodeBehindALinkChanges)
{
	// A replugged reader by its by-id name: udev makes the node, the link,
	// and only then gives the node its permissions.
	TempDir directory("rdx-reader-nodes");
	ASSERT_EQ(0, mkdir(directory.Sub("by-id").c_str(), 0700));
	std::string link = directory.Sub("by-id/usb-reader-event-kbd");
	PathWatcher watcher(link);
	ASSERT_TRUE(watcher.IsValid());
	struct pollfd entry = {watcher.FD(), POLLIN, 0};
	for (const char* node : {"event5", "event6"}) {
		SCOPED_TRACE(node);
		std::string target = directory.Sub(node);
		ASSERT_EQ(0, mkfifo(target.c_str(), 0));
		unlink(link.c_str());
		ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
		ASSERT_EQ(1, poll(&entry, 1, 20000));
		EXPECT_TRUE(watcher.Read());
		ASSERT_EQ(0, chmod(target.c_str(), 0660));
		ASSERT_EQ(1, poll(&entry, 1, 20000));
		EXPECT_TRUE(watcher.Read());
		ASSERT_EQ(0, unlink(target.c_str()));
		ASSERT_EQ(1, poll(&entry, 1, 20000));
		watcher.Read();
	}
}


// A reader's name may hold anything: what learning writes stays one line.
TEST(TagListTest, LearnedTextHoldsNoControlCharacters)
{
	TempDir directory("rdx-reader-learn");
	std::string path = directory.Sub("tags");
	TagList list(path);
	std::string problem;
	ASSERT_EQ(B_OK, list.Append("04a1b2c3", "learned 2026-12-08 from"
		" reader\n2222 | Mo-Su 00:00-24:00\r\x1b[2J\x7f", &problem))
		<< problem;
	for (const char* tag : {"33\n44", "55 66", "@staff", "77|off", "88#",
			""}) {
		EXPECT_EQ(B_BAD_VALUE, list.Append(tag, "learned", &problem)) << tag;
	}
	std::string text = read_file(path);
	EXPECT_EQ(1, count_of(text, "\n")) << text;
	// A '|' after the '#' would make the learned line refuse its tag.
	EXPECT_EQ(0u, text.find("04A1B2C3 # learned 2026-12-08 from reader?2222"
		" ? Mo-Su 00:00-24:00??[2J?\n")) << text;
	ASSERT_EQ(B_OK, list.Load(&problem));
	EXPECT_EQ(1u, list.CountTags());
	EXPECT_FALSE(list.Contains("2222"));
	EXPECT_TRUE(list.Decide("04A1B2C3", LocalTime::Now()).Passes());
}


// A disk that fills up while the list is written: a write stops part-way
// (here by a limit on the size of files, which cuts a write as a full disk
// does). What is left must be the list as it was: a learned line cut after
// two digits would list a tag that nobody presented.
TEST(TagListTest, AFullDiskLeavesTheListAsItWas)
{
	struct Case {
		const char*	name;
		const char*	list;
		// Bytes the disk still takes.
		off_t		room;
		bool		learn;
	};
	const std::vector<Case> cases = {
		{"learning, with room for three bytes", "1111 Anna\n", 3, true},
		{"learning after a last line without newline", "1111 Anna", 2, true},
		{"a save, with room for five bytes", "1111 Anna\n", 5, false},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		TempDir directory("rdx-reader-full");
		std::string path = directory.Sub("tags");
		ASSERT_TRUE(write_file(path, test.list));
		ASSERT_EQ(0, chmod(path.c_str(), 0600));
		TagList list(path);
		std::string problem;
		ASSERT_EQ(B_OK, list.Load(&problem)) << problem;
		pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0) {
			// A save writes a new file beside the list: its limit is the room.
			struct rlimit limit;
			limit.rlim_cur = limit.rlim_max = (rlim_t)(test.room
				+ (test.learn ? (off_t)strlen(test.list) : 0));
			signal(SIGXFSZ, SIG_IGN);
			if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
				_exit(3);
			status_t status;
			if (test.learn)
				status = list.Append("2222", "learned", &problem);
			else {
				TagFile edited = list.File();
				edited.AppendLine("2222 Ben");
				status = list.Save(edited, &problem);
			}
			_exit(status == B_OK ? 0 : 1);
		}
		int status = -1;
		ASSERT_EQ(child, waitpid(child, &status, 0));
		ASSERT_TRUE(WIFEXITED(status));
		EXPECT_EQ(1, WEXITSTATUS(status)) << "the write was not cut";
		EXPECT_EQ(test.list, read_file(path));
		ASSERT_EQ(B_OK, list.Load(&problem)) << problem;
		EXPECT_EQ(1u, list.CountTags());
		// Nothing is left beside it but the writers' lock.
		DIR* folder = opendir(directory.Path().c_str());
		ASSERT_NE(nullptr, folder);
		int names = 0;
		while (struct dirent* entry = readdir(folder)) {
			std::string name = entry->d_name;
			names += name != "." && name != ".." && name != ".tags.lock";
		}
		closedir(folder);
		EXPECT_EQ(1, names);
	}
}


// A writer changes one line: every other byte stays, the file is the
// user's alone, and a link stays a link to the file it led to.
TEST(TagListTest, SaveRewritesOnlyTheChangedLine)
{
	TempDir directory("rdx-reader-save");
	std::string real = directory.Sub("real-tags");
	std::string path = directory.Sub("tags");
	const std::string text = "# staff\r\n@staff = Mo-Fr 07:00-19:00\n"
		"1111   Anna\t| @staff\n2222 Ben | off ;; broken\n3333";
	ASSERT_TRUE(write_file(real, text));
	ASSERT_EQ(0, chmod(real.c_str(), 0644));
	ASSERT_EQ(0, symlink(real.c_str(), path.c_str()));
	TagList list(path);
	std::string problem;
	ASSERT_EQ(B_OK, list.Load(&problem)) << problem;
	ASSERT_EQ(1u, list.File().Problems().size());
	EXPECT_EQ(4, list.File().Problems()[0].line);

	TagFile edited = list.File();
	edited.ReplaceLine(3, TagLine::Compose("2222", "Ben\nnew", "off"));
	ASSERT_EQ(B_OK, list.Save(edited, &problem)) << problem;
	EXPECT_EQ("# staff\r\n@staff = Mo-Fr 07:00-19:00\n1111   Anna\t| @staff\n"
		"2222 Ben new | off\n3333", read_file(real));
	struct stat status;
	ASSERT_EQ(0, lstat(path.c_str(), &status));
	EXPECT_TRUE(S_ISLNK(status.st_mode));
	ASSERT_EQ(0, stat(real.c_str(), &status));
	EXPECT_EQ(0600u, status.st_mode & 07777);
	ASSERT_EQ(B_OK, list.Load(&problem));
	EXPECT_TRUE(list.File().Problems().empty());
	EXPECT_EQ(TagDecision::kOff, list.Decide("2222", LocalTime::Now()).What());
}


// The hour that happens twice when the clocks go back matches both times;
// the hour skipped when they go forward never shows on the wall clock.
TEST(TagListTest, ClockChangesAreTheTimeZonesRules)
{
	const char* old = getenv("TZ");
	std::string saved = old != nullptr ? old : "";
	setenv("TZ", "Europe/Berlin", 1);
	tzset();
	TagFile file = TagFile::Parse("1 | Su 02:00-03:00\n");
	// 2026-10-25 00:00 UTC, and 2027-03-28 00:00 UTC.
	const time_t back = 1792886400;
	const time_t forward = 1806192000;
	int passedBack = 0;
	int passedForward = 0;
	for (time_t minute = 0; minute < 4 * 3600; minute += 60) {
		passedBack += TagDecision::Decide(file, "1",
			LocalTime::FromTime(back + minute)).Passes();
		passedForward += TagDecision::Decide(file, "1",
			LocalTime::FromTime(forward + minute)).Passes();
	}
	if (old != nullptr)
		setenv("TZ", saved.c_str(), 1);
	else
		unsetenv("TZ");
	tzset();
	EXPECT_EQ(120, passedBack);
	EXPECT_EQ(0, passedForward);
}


TEST(RepeatFilterTest, SameTagSameSourceWithinTheWindow)
{
	const bigtime_t window = 1500000;
	struct Read {
		const char*	source;
		const char*	tag;
		bigtime_t	at;
		bool		repeat;
	};
	std::vector<Read> reads = {
		{"a", "1", 0, false},
		{"a", "1", 1000000, true},
		// Another tag passes at once, and so does the same from elsewhere.
		{"a", "2", 1100000, false},
		{"b", "1", 1200000, false},
		// The first tag was last read at 1.0 s: still within its window.
		{"a", "1", 2400000, true},
		// Held in the field: each repeat renews the window.
		{"a", "1", 3800000, true},
		{"a", "1", 5300001, false},
		{"a", "2", 9000000, false},
		// The window's end itself is still within it.
		{"a", "2", 10500000, true},
		{"a", "2", 12000001, false},
	};
	RepeatFilter filter(window);
	for (const Read& read : reads) {
		EXPECT_EQ(read.repeat, filter.IsRepeat(read.source, read.tag,
			read.at)) << read.source << " " << read.tag << " at " << read.at;
	}
}


// The dispatcher with a poster aimed at an application that does not run:
// a read that gets as far as passing on says "no rdx".
class DispatcherTest : public ::testing::Test {
protected:
	DispatcherTest()
		:
		fDirectory("rdx-reader-dispatch"),
		fPath(fDirectory.Sub("config/RDX/tags"))
	{
		setenv("XDG_RUNTIME_DIR", fDirectory.Path().c_str(), 1);
	}

	void TearDown() override
	{
		if (fOutput != nullptr)
			fclose(fOutput);
	}

	Dispatcher::Outcome Dispatch(const std::string& tag,
		Dispatcher::Mode mode, bigtime_t at,
		const std::string& source = "/dev/reader")
	{
		if (fDispatcher == nullptr || fMode != mode) {
			fMode = mode;
			fList = std::make_unique<TagList>(fPath);
			std::string problem;
			EXPECT_EQ(B_OK, fList->Load(&problem));
			fRepeats = std::make_unique<RepeatFilter>(1500000);
			fPoster = std::make_unique<TagPoster>("application/x-vnd-nobody");
			if (fOutput == nullptr)
				fOutput = tmpfile();
			fDispatcher = std::make_unique<Dispatcher>(*fList, *fRepeats,
				*fPoster, mode, fOutput);
		}
		return fDispatcher->Dispatch(source, tag, at);
	}

	std::string Lines()
	{
		fflush(fOutput);
		std::string text;
		rewind(fOutput);
		char buffer[512];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), fOutput)) > 0)
			text.append(buffer, count);
		return text;
	}

	TempDir			fDirectory;
	std::string		fPath;
	Dispatcher::Mode fMode = Dispatcher::kListed;
	std::unique_ptr<TagList> fList;
	std::unique_ptr<RepeatFilter> fRepeats;
	std::unique_ptr<TagPoster> fPoster;
	std::unique_ptr<Dispatcher> fDispatcher;
	FILE*			fOutput = nullptr;
};


TEST_F(DispatcherTest, MissingOrEmptyListLetsNothingPass)
{
	EXPECT_EQ(Dispatcher::kUnknown, Dispatch("1111", Dispatcher::kListed, 0));
	EXPECT_EQ(Dispatcher::kUnknown, Dispatch("2222", Dispatcher::kListed,
		10));
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config").c_str(), 0700));
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config/RDX").c_str(), 0700));
	ASSERT_TRUE(write_file(fPath, "# nobody yet\n\n"));
	fDispatcher.reset();
	EXPECT_EQ(Dispatcher::kUnknown, Dispatch("1111", Dispatcher::kListed, 0));
	std::string lines = Lines();
	EXPECT_EQ(3, count_of(lines, ": unknown (the tag list " + fPath
		+ " is empty)\n")) << lines;
	EXPECT_EQ(0, count_of(lines, "no rdx")) << lines;
}


TEST_F(DispatcherTest, ListedTagAndAnyTagGoOnToRdx)
{
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config").c_str(), 0700));
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config/RDX").c_str(), 0700));
	ASSERT_TRUE(write_file(fPath, "04a1b2c3 Anna\n"));
	EXPECT_EQ(Dispatcher::kNoRdx, Dispatch("04A1B2C3", Dispatcher::kListed,
		0));
	EXPECT_EQ(Dispatcher::kUnknown, Dispatch("04A1B2C4", Dispatcher::kListed,
		0));
	EXPECT_EQ(Dispatcher::kRepeat, Dispatch("04A1B2C3", Dispatcher::kListed,
		100000));
	EXPECT_EQ(Dispatcher::kNoRdx, Dispatch("99", Dispatcher::kAnyTag, 0));
	std::string lines = Lines();
	EXPECT_EQ(1, count_of(lines, "/dev/reader: 04A1B2C3 (Anna): no rdx: rdx"
		" does not run, the read is dropped\n")) << lines;
	EXPECT_EQ(1, count_of(lines, "/dev/reader: 04A1B2C4: unknown\n"))
		<< lines;
	EXPECT_EQ(1, count_of(lines, "/dev/reader: 04A1B2C3 (Anna): repeat\n"))
		<< lines;
	EXPECT_EQ(1, count_of(lines, "/dev/reader: 99: no rdx")) << lines;
}


TEST_F(DispatcherTest, LearningAppendsEachUnknownTagOnceAndPassesNothing)
{
	// The directory does not exist yet: learning makes it.
	EXPECT_EQ(Dispatcher::kLearned, Dispatch("0014594826",
		Dispatcher::kLearn, 0, "/dev/ttyUSB0"));
	EXPECT_EQ(Dispatcher::kRepeat, Dispatch("0014594826",
		Dispatcher::kLearn, 500000, "/dev/ttyUSB0"));
	EXPECT_EQ(Dispatcher::kListedWhileLearning, Dispatch("0014594826",
		Dispatcher::kLearn, 5000000, "/dev/ttyUSB0"));
	EXPECT_EQ(Dispatcher::kListedWhileLearning, Dispatch("0014594826",
		Dispatcher::kLearn, 5000000, "/dev/input/kbd"));
	EXPECT_EQ(Dispatcher::kLearned, Dispatch("04a1b2c3",
		Dispatcher::kLearn, 6000000, "/dev/input/kbd"));

	std::string file = read_file(fPath);
	EXPECT_EQ(1, count_of(file, "0014594826 # learned ")) << file;
	EXPECT_EQ(1, count_of(file, " from /dev/ttyUSB0\n")) << file;
	EXPECT_EQ(1, count_of(file, "04A1B2C3 # learned ")) << file;
	EXPECT_EQ(2, count_of(file, "\n")) << file;
	EXPECT_EQ(0, count_of(Lines(), "no rdx"));

	// What was learned is read back as listed, and passes when not
	// learning.
	TagList list(fPath);
	std::string problem;
	ASSERT_EQ(B_OK, list.Load(&problem));
	EXPECT_EQ(2u, list.CountTags());
	fDispatcher.reset();
	EXPECT_EQ(Dispatcher::kNoRdx, Dispatch("04A1B2C3", Dispatcher::kListed,
		0));
}


TEST_F(DispatcherTest, LearningReportsAKnownTagsRefusalAndAddsNothing)
{
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config").c_str(), 0700));
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config/RDX").c_str(), 0700));
	ASSERT_TRUE(write_file(fPath, "04A1B2C3 spare | off\n"));
	EXPECT_EQ(Dispatcher::kOff, Dispatch("04a1b2c3", Dispatcher::kLearn, 0));
	EXPECT_EQ(Dispatcher::kOff, Dispatch("04A1B2C3", Dispatcher::kListed,
		0));
	EXPECT_EQ("04A1B2C3 spare | off\n", read_file(fPath));
	EXPECT_EQ(1, count_of(Lines(), "/dev/reader: 04a1b2c3 (spare): off (line"
		" 1) (learning: listed already, not added again)\n")) << Lines();
}


TEST_F(DispatcherTest, LearningAfterALastLineWithoutNewline)
{
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config").c_str(), 0700));
	ASSERT_EQ(0, mkdir(fDirectory.Sub("config/RDX").c_str(), 0700));
	ASSERT_TRUE(write_file(fPath, "1111 Anna"));
	EXPECT_EQ(Dispatcher::kLearned, Dispatch("2222", Dispatcher::kLearn, 0));
	TagList list(fPath);
	std::string problem;
	ASSERT_EQ(B_OK, list.Load(&problem));
	std::string name;
	EXPECT_TRUE(list.Contains("1111", &name));
	EXPECT_EQ("Anna", name);
	EXPECT_TRUE(list.Contains("2222"));
}

}	// namespace
