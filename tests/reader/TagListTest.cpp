// The tag list, the repeat rule and the dispatcher that applies them: what
// becomes of a read, decided once for every source.

#include "Dispatcher.h"
#include "PathWatcher.h"
#include "ReaderTestSupport.h"
#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
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
			if (name != nullptr)
				EXPECT_EQ(name, found) << tag;
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
