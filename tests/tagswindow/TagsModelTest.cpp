// rdx-tags' models without a display: the list editor on a real file (every
// untouched byte kept, atomic save, an outside edit never overwritten, a
// refused list), the dialog's form and the table's rows.

#include "LogFollower.h"
#include "ReadHistory.h"
#include "TagForm.h"
#include "TagTable.h"

#include <Looper.h>
#include <LogRecord.h>
#include <Message.h>
#include <TagListEditor.h>

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sys/stat.h>

namespace {

const char* const kList =
	"# who may open the door\n"
	"@staff    = Mo-Fr 07:00-19:00, Sa 09:00-13:00\n"
	"\n"
	"0014594826 front desk       | @staff\n"
	"04A1B2C3   spare card       | off\n"
	"this line | is not understood ;;\n"
	"00DEAD0001 cleaner          | Tu 06:00-08:00 ; until 2027-03-31\n"
	"0014594826 second line for the same tag\n"
	"   # an indented comment\r\n"
	"AABBCC";


class TagsModelTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fPath = fDirectory.Sub("tags");
		Write(kList, 0600);
	}

	void Write(const std::string& text, mode_t mode)
	{
		std::ofstream(fPath, std::ios::binary) << text;
		chmod(fPath.c_str(), mode);
	}

	// The names in the list's directory, to see no temporary file is left
	// (the writers' lock file stays, as it must).
	int CountFiles()
	{
		int count = 0;
		DIR* directory = opendir(fDirectory.Path().c_str());
		while (struct dirent* entry = readdir(directory))
			count += (entry->d_name[0] != '.' || strlen(entry->d_name) > 2)
				&& strcmp(entry->d_name, ".tags.lock") != 0;
		closedir(directory);
		return count;
	}

	TempDir			fDirectory{"rdx-tags-model"};
	std::string		fPath;
	std::string		fProblem;
};


TEST_F(TagsModelTest, SaveChangesOnlyTheEditedLinesByteForByte)
{
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.SetTag("04a1b2c3", "04A1B2C3", "Anna Berg",
		"Mo-Fr 08:00-17:00", &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.RemoveTag("00DEAD0001", &fProblem)) << fProblem;
	EXPECT_EQ(B_BAD_VALUE, editor.SetTag("", "0011223344", "contractor",
		"@cleaning ; from 2026-12-14", &fProblem));
	EXPECT_EQ("@cleaning is not defined", fProblem);
	ASSERT_EQ(B_OK, editor.SetHours("", "cleaning", "Tu 06:00-08:00",
		&fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.SetTag("", "0011223344", "contractor",
		"@cleaning ; from 2026-12-14", &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.Save(&fProblem)) << fProblem;

	EXPECT_EQ("# who may open the door\n"
		"@staff    = Mo-Fr 07:00-19:00, Sa 09:00-13:00\n"
		"@cleaning = Tu 06:00-08:00\n"
		"\n"
		"0014594826 front desk       | @staff\n"
		"04A1B2C3 Anna Berg | Mo-Fr 08:00-17:00\n"
		"this line | is not understood ;;\n"
		"0014594826 second line for the same tag\n"
		"   # an indented comment\r\n"
		"AABBCC\n"
		"0011223344 contractor | @cleaning ; from 2026-12-14\n",
		read_file(fPath));
	struct stat status;
	ASSERT_EQ(0, stat(fPath.c_str(), &status));
	EXPECT_EQ(0600u, status.st_mode & 07777);
	EXPECT_EQ(1, CountFiles()) << "a temporary file was left";

	// Renaming a set takes its users along; a set in use stays.
	ASSERT_EQ(B_OK, editor.SetHours("staff", "office", "Mo-Fr 08:00-18:00",
		&fProblem)) << fProblem;
	EXPECT_NE(B_OK, editor.RemoveHours("office", &fProblem));
	EXPECT_EQ("@office is used by 1 tag", fProblem);
	EXPECT_EQ("front desk", editor.File().Find("0014594826")->Name());
	EXPECT_EQ("@office", editor.File().Find("0014594826")->RulesText());
}


TEST_F(TagsModelTest, AnOutsideEditIsNeverOverwritten)
{
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem));
	ASSERT_EQ(B_OK, editor.SetTag("", "CAFE01", "visitor", "", &fProblem));
	EXPECT_FALSE(editor.ChangedOnDisk());

	std::string outside = std::string(kList) + "\nBEEF02 added in an editor\n";
	Write(outside, 0600);
	EXPECT_TRUE(editor.ChangedOnDisk());
	EXPECT_EQ(B_MISMATCHED_VALUES, editor.Save(&fProblem));
	EXPECT_NE(std::string::npos, fProblem.find("changed on disk"));
	EXPECT_EQ(outside, read_file(fPath));

	// Loaded again, the other's line is there and the next change saves.
	ASSERT_EQ(B_OK, editor.Load(&fProblem));
	ASSERT_NE(nullptr, editor.File().Find("BEEF02"));
	ASSERT_EQ(B_OK, editor.SetTag("", "CAFE01", "visitor", "", &fProblem));
	ASSERT_EQ(B_OK, editor.Save(&fProblem)) << fProblem;
	EXPECT_EQ(outside + "CAFE01 visitor\n", read_file(fPath));
}


TEST_F(TagsModelTest, AListOthersMayWriteIsShownWithTheReasonAndNotWritten)
{
	Write(kList, 0664);
	TagListEditor editor(fPath);
	EXPECT_EQ(B_NOT_ALLOWED, editor.Load(&fProblem));
	EXPECT_NE(std::string::npos, fProblem.find("may be written by others"))
		<< fProblem;
	EXPECT_TRUE(editor.IsRefused());
	EXPECT_EQ(B_NOT_ALLOWED, editor.SetTag("", "CAFE01", "x", "", &fProblem));
	EXPECT_NE(B_OK, editor.Save(&fProblem));
	EXPECT_EQ(kList, read_file(fPath));
}


TEST_F(TagsModelTest, FormRefusesWhatTheListCannotHold)
{
	struct Case {
		const char*	tag;
		const char*	name;
		TagForm::When when;
		TagForm::HoursRow row;
		const char*	set;
		const char*	from;
		const char*	until;
		const char*	expected;	// the rules, or "!" and the refusal
	} cases[] = {
		{"0011223344", "Anna", TagForm::kHours, {"Mo-Fr", "07:00", "19:00"},
			"", "", "31.03.2027", "Mo-Fr 07:00-19:00 ; until 2027-03-31"},
		{"0011223344", "Anna", TagForm::kNamedSet, {}, "staff", "14.12.2026",
			"2026-12-18", "@staff ; from 2026-12-14 ; until 2026-12-18"},
		{"0011223344", "Anna", TagForm::kOff, {}, "", "", "", "off"},
		{"0011223344", "Anna", TagForm::kAlways, {}, "", "", "", ""},
		{"0011223344", "Anna # B", TagForm::kAlways, {}, "", "", "",
			"!name: no '#' (it starts a comment)"},
		{"0011223344", "A | B", TagForm::kAlways, {}, "", "", "",
			"!name: no '|' (it starts the rules)"},
		{"00 11", "Anna", TagForm::kAlways, {}, "", "", "", "!tag: one word"},
		{"0011223344", "Anna", TagForm::kHours, {"Mo-Fr", "07:00", "25:00"},
			"", "", "", "!hours, row 1: "},
		{"0011223344", "Anna", TagForm::kHours, {"Xy", "07:00", "09:00"},
			"", "", "", "!hours, row 1: "},
		{"0011223344", "Anna", TagForm::kHours, {}, "", "", "",
			"!hours: at least one row"},
		{"0011223344", "Anna", TagForm::kAlways, {}, "", "31.02.2027", "",
			"!valid from: not a date"},
		{"0011223344", "Anna", TagForm::kAlways, {}, "", "2027-01-02",
			"01.01.2027", "!valid from: after valid until"},
		{"0011223344", "Anna", TagForm::kNamedSet, {}, "nope", "", "",
			"!@nope is not defined"},
		{"0014594826", "Anna", TagForm::kAlways, {}, "", "", "",
			"!0014594826 is listed already (line 4)"},
	};
	for (const Case& c : cases) {
		TagListEditor editor(fPath);
		ASSERT_EQ(B_OK, editor.Load(&fProblem));
		TagForm form;
		form.tag = c.tag;
		form.name = c.name;
		form.when = c.when;
		form.rows[0] = c.row;
		form.namedSet = c.set;
		form.validFrom = c.from;
		form.validUntil = c.until;
		fProblem.clear();
		status_t status = form.Apply(editor, "", &fProblem);
		std::string expected = c.expected;
		if (!expected.empty() && expected[0] == '!') {
			EXPECT_NE(B_OK, status) << c.name << " " << c.until;
			EXPECT_EQ(0u, fProblem.find(expected.substr(1))) << fProblem;
			EXPECT_FALSE(editor.IsModified());
			continue;
		}
		ASSERT_EQ(B_OK, status) << fProblem;
		const TagLine* line = editor.File().Find(c.tag);
		ASSERT_NE(nullptr, line);
		EXPECT_EQ(expected, line->RulesText());
		// The form of the line written says the same again.
		std::string again;
		ASSERT_TRUE(TagForm::FromLine(*line).Rules(&again, &fProblem));
		EXPECT_EQ(expected, again);
	}
}


TEST_F(TagsModelTest, TableShowsWhenInWordsAndLastSeenSortedAndSearched)
{
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem));
	ReadHistory history(2);
	const char* lines[] = {
		R"({"time":"2026-12-08T09:00:00.000Z","event":"read","tag":"04a1b2c3","source":"s","outcome":"off"})",
		R"({"time":"2026-12-08T09:05:00.000Z","event":"relay","relay":1})",
		R"({"time":"2026-12-08T09:10:00.000Z","event":"read","tag":"0014594826","source":"s","outcome":"passed-on"})",
		R"({"time":"2026-12-08T09:20:00.000Z","event":"read","tag":"FFFF","source":"s","outcome":"unknown"})",
	};
	for (const char* line : lines)
		history.Add(*LogRecord::Parse(line));
	ASSERT_EQ(2u, history.Recent().size());
	EXPECT_EQ("FFFF", history.Recent()[0].tag);
	EXPECT_EQ("unknown", history.Recent()[0].outcome);

	TagTable table;
	table.Fill(editor.File(), history);
	auto tags = [&] {
		std::string text;
		for (const TagTable::Row& row : table.Rows())
			text += row.tag + "=" + row.when + "/" + row.outcome + "\n";
		return text;
	};
	// The named set first; then by name: the unnamed, "cleaner", "front desk", "line…", "spare
	// card"; the line whose rules cannot be read lets its tag in never.
	table.SortBy(TagTable::kNameColumn, true);
	EXPECT_EQ("@staff=Mo-Fr 07:00-19:00, Sa 09:00-13:00/\n"
		"AABBCC=always/\n"
		"00DEAD0001=Tu 06:00-08:00, until 31.03.2027/\n"
		"0014594826=@staff/passed-on\n"
		"THIS=never: cannot read \"is not understood\": \"is\" is not a day"
		" or a range of days (Mo Tu We Th Fr Sa Su): THIS is let in never/\n"
		"04A1B2C3=off/off\n", tags());
	EXPECT_FALSE(table.Rows()[4].usable);
	table.SortBy(TagTable::kLastSeenColumn, false);
	EXPECT_EQ("0014594826", table.Rows()[1].tag);
	EXPECT_EQ("04A1B2C3", table.Rows()[2].tag);
	EXPECT_EQ(0, table.Rows()[3].lastSeenTime);
	table.SetSearch("CARD");
	ASSERT_EQ(1u, table.Rows().size());
	EXPECT_EQ("04A1B2C3", table.Rows()[0].tag);
	table.SetSearch("dead");
	ASSERT_EQ(1u, table.Rows().size());
	EXPECT_EQ(6u, table.CountAll());
}



// Keeps the "line" of every message it is sent; says when it is gone.
class LineCollector : public BLooper {
public:
	explicit LineCollector(std::atomic<bool>* gone) : fGone(gone) {}
	~LineCollector() override { *fGone = true; }

	void MessageReceived(BMessage* message) override
	{
		const char* line = nullptr;
		if (message->FindString("line", &line) != B_OK)
			return BLooper::MessageReceived(message);
		std::lock_guard<std::mutex> lock(fLock);
		fLines.push_back(line);
	}

	std::vector<std::string> Lines()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fLines;
	}

private:
	std::atomic<bool>* fGone;
	std::mutex		fLock;
	std::vector<std::string> fLines;
};


TEST_F(TagsModelTest, FollowerReadsTheLogThenPostsNewReadsAndEndsWhenAsked)
{
	std::string log = fDirectory.Sub("access.log");
	const std::string old = R"({"time":"2026-12-08T09:00:00.000Z",)"
		R"("event":"read","tag":"04a1b2c3","source":"s","outcome":"off"})";
	const std::string relay = R"({"time":"2026-12-08T09:01:00.000Z",)"
		R"("event":"relay","relay":1})";
	const std::string fresh = R"({"time":"2026-12-08T09:02:00.000Z",)"
		R"("event":"read","tag":"FFFF","source":"s","outcome":"unknown"})";
	std::ofstream(log) << old << "\n";

	std::atomic<bool> gone{false};
	LineCollector* collector = new LineCollector(&gone);
	collector->Run();
	BMessenger target(collector);
	ReadHistory history;
	{
		LogFollower follower(log, target, 'lgrc');
		ASSERT_EQ(B_OK, follower.Start(&history));
		ASSERT_EQ(1u, history.Recent().size());
		EXPECT_EQ("04A1B2C3", history.Recent()[0].tag);

		// Only reads are posted, as they are appended.
		std::ofstream(log, std::ios::app) << relay << "\n" << fresh << "\n";
		EXPECT_TRUE(wait_for([&] { return !collector->Lines().empty(); }, 10));
		EXPECT_EQ(std::vector<std::string>{fresh}, collector->Lines());
		// Going, it ends its watch and joins its thread at once.
	}
	collector->PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(wait_for([&] { return gone.load(); }, 10));
}

}	// namespace
