// rdx-tags' models without a display: the list editor on a real file (every
// untouched byte kept, atomic save, an outside edit never overwritten, a
// refused list), the dialog's form and the table's rows.

#include "ColumnFit.h"
#include "LogFollower.h"
#include "ReadHistory.h"
#include "TagForm.h"
#include "TagTable.h"

#include <Looper.h>
#include <LogRecord.h>
#include <Message.h>
#include <TagDecision.h>
#include <PinHash.h>
#include <TagListEditor.h>

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <fstream>
#include <functional>
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


TEST_F(TagsModelTest, AListNotThereYetIsMadeByTheFirstSave)
{
	// On an account where nothing made ~/.config/RDX yet, the first tag
	// added (or the first import) makes the list and its directories,
	// private, as learning does.
	for (const char* name : {"fresh", "new/RDX/tags", "deeper/a/b/tags"}) {
		std::string path = fDirectory.Sub(name);
		TagListEditor editor(path);
		ASSERT_EQ(B_OK, editor.Load(&fProblem)) << name << fProblem;
		ASSERT_EQ(B_OK, editor.SetTag("", "CAFE01", "x", "", &fProblem));
		EXPECT_EQ(B_OK, editor.Save(&fProblem)) << name << fProblem;
		EXPECT_EQ("CAFE01 x\n", read_file(path)) << name;
		struct stat status;
		ASSERT_EQ(0, stat(path.c_str(), &status)) << name;
		EXPECT_EQ(0600u, status.st_mode & 07777) << name;
		std::string directory = path.substr(0, path.rfind('/'));
		ASSERT_EQ(0, stat(directory.c_str(), &status)) << name;
		EXPECT_EQ(0700u, status.st_mode & 07777) << name;
	}
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
	// Nor many at once, as an import writes them: not even in memory,
	// where a later save of another kind might take them along.
	size_t refused = 9;
	EXPECT_EQ(B_NOT_ALLOWED, editor.SetTags({{"CAFE02", "y", ""}}, &refused,
		&fProblem));
	EXPECT_EQ(nullptr, editor.File().Find("CAFE02"));
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
		// A field holds what its label says, and no more rules than that.
		{"0011223344", "Anna \xEF\xBD\x9C off", TagForm::kAlways, {}, "", "",
			"", "!\"\xEF\xBD\x9C\" looks like a '|' and reads two ways"},
		{"0011223344", "Anna", TagForm::kNamedSet, {},
			"staff ; Mo-Su 00:00-24:00", "", "", "!named set: "},
		{"0011223344", "Anna", TagForm::kHours,
			{"Mo 00:00-24:00, Su", "08:00", "09:00"}, "", "", "",
			"!hours, row 1: "},
		{"0011223344", "Anna", TagForm::kHours,
			{"Mo", "07:00-23:00 00:00", "09:00"}, "", "", "", "!hours, row 1: "},
		{"0011223344", "Anna", TagForm::kHours, {"Mo-Su", "22:00", "06:00"},
			"", "", "", "Mo-Su 22:00-06:00"},
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
	// The named set first; then by name: the unnamed, "cleaner", "front
	// desk" with its second line right after it, "line…", "spare card";
	// the line whose rules cannot be read lets its tag in never, and says
	// why and where.
	table.SortBy(TagTable::kNameColumn, true);
	EXPECT_EQ("@staff=Mo-Fr 07:00-19:00, Sa 09:00-13:00/\n"
		"AABBCC=always/\n"
		"00DEAD0001=Tu 06:00-08:00, until 31.03.2027/\n"
		"0014594826=@staff/passed-on\n"
		"0014594826=does not count: line 4 comes first (line 8)/\n"
		"THIS=never: cannot read \"is not understood\": \"is\" is not a day"
		" or a range of days (Mo Tu We Th Fr Sa Su) (line 6)/\n"
		"04A1B2C3=off/off\n", tags());
	EXPECT_FALSE(table.Rows()[4].usable);
	EXPECT_FALSE(table.Rows()[4].counts);
	EXPECT_FALSE(table.Rows()[5].usable);
	table.SortBy(TagTable::kLastSeenColumn, false);
	EXPECT_EQ("0014594826", table.Rows()[1].tag);
	EXPECT_EQ(8, table.Rows()[2].line);
	EXPECT_EQ("04A1B2C3", table.Rows()[3].tag);
	EXPECT_EQ(0, table.Rows()[4].lastSeenTime);
	table.SetSearch("CARD");
	ASSERT_EQ(1u, table.Rows().size());
	EXPECT_EQ("04A1B2C3", table.Rows()[0].tag);
	table.SetSearch("dead");
	ASSERT_EQ(1u, table.Rows().size());
	EXPECT_EQ(7u, table.CountAll());
}



// The form never keeps a rule it does not show: what it cannot hold in its
// fields is shown whole, as written, and saving gives exactly the fields.
TEST_F(TagsModelTest, FormShowsRulesItCannotHoldAsWrittenAndKeepsNothingElse)
{
	struct Case {
		const char*	rules;		// after "0055 caretaker"
		TagForm::When when;
		const char*	written;
		const char*	until;
		const char*	again;		// what Rules() gives, or "!" and why not
	} cases[] = {
		{"| off ; Mo-Su 00:00-24:00", TagForm::kWritten,
			"off ; Mo-Su 00:00-24:00", "", "off ; Mo-Su 00:00-24:00"},
		// Four windows in three rows: as written, never "always".
		{"| Mo 08:00-09:00, Tu 08:00-09:00, We 08:00-09:00, Th 08:00-09:00",
			TagForm::kWritten, "Mo 08:00-09:00, Tu 08:00-09:00, We"
			" 08:00-09:00, Th 08:00-09:00", "", "Mo 08:00-09:00, Tu"
			" 08:00-09:00, We 08:00-09:00, Th 08:00-09:00"},
		{"| @staff ; Mo-Fr 08:00-09:00 ; until 2027-03-31", TagForm::kWritten,
			"@staff ; Mo-Fr 08:00-09:00", "31.03.2027",
			"@staff ; Mo-Fr 08:00-09:00 ; until 2027-03-31"},
		{"| @staff ; @night", TagForm::kWritten, "@staff ; @night", "",
			"@staff ; @night"},
		{"| Mo-Fr 07:00-", TagForm::kWritten, "Mo-Fr 07:00-", "",
			"!as written: cannot read \"Mo-Fr 07:00-\""},
		{"|", TagForm::kWritten, "", "", "!as written: no rules"},
		// Lines that read two ways let in never, and are not "always" here.
		{"#4 | Mo-Fr 08:00-17:00", TagForm::kWritten, "", "",
			"!as written: no rules"},
		{"| off | Mo-Fr 08:00-17:00", TagForm::kWritten,
			"off | Mo-Fr 08:00-17:00", "", "!as written: cannot read"},
		{"| OFF ; until 2027-03-31", TagForm::kOff, "", "31.03.2027",
			"off ; until 2027-03-31"},
		{"| until 2027-03-31 ; Mo-Fr 08:00-12:00 13:00-17:00 # two shifts",
			TagForm::kHours, "", "31.03.2027",
			"Mo-Fr 08:00-12:00, Mo-Fr 13:00-17:00 ; until 2027-03-31"},
		{"| @staff", TagForm::kNamedSet, "", "", "@staff"},
		{"# learned", TagForm::kAlways, "", "", ""},
	};
	for (const Case& c : cases) {
		std::string text = std::string("0055 caretaker ") + c.rules;
		TagForm form = TagForm::FromLine(TagLine::Parse(1, text));
		EXPECT_EQ(c.when, form.when) << text;
		EXPECT_EQ(c.written, form.written) << text;
		EXPECT_EQ(c.until, form.validUntil) << text;
		std::string again;
		fProblem.clear();
		bool made = form.Rules(&again, &fProblem);
		if (c.again[0] == '!') {
			EXPECT_FALSE(made) << text;
			EXPECT_EQ(0u, fProblem.find(c.again + 1)) << fProblem;
		} else
			EXPECT_EQ(c.again, again) << text << ": " << fProblem;
	}

	// Hours chosen for the caretaker replace the rules: on a Monday the
	// tag stays out, on Saturday at 09:30 it passes.
	Write("@staff = Mo-Fr 07:00-19:00\n"
		"0055 caretaker | off ; Mo-Su 00:00-24:00\n"
		"0055 old card | off\n", 0600);
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem));
	TagForm form = TagForm::FromLine(*editor.File().Find("0055"));
	form.when = TagForm::kHours;
	form.rows[0] = {"Sa", "09:00", "10:00"};
	ASSERT_EQ(B_OK, form.Apply(editor, "0055", &fProblem)) << fProblem;
	EXPECT_EQ("0055 caretaker | Sa 09:00-10:00",
		editor.File().Find("0055")->Text());
	EXPECT_EQ(TagDecision::kOutsideHours, TagDecision::Decide(editor.File(),
		"0055", LocalTime(2027, 1, 4, 10 * 60)).What());
	EXPECT_TRUE(TagDecision::Decide(editor.File(), "0055",
		LocalTime(2027, 1, 9, 9 * 60 + 30)).Passes());
	// Listed twice, it keeps its tag (its later line would count then),
	// and the dialog has the library's words for why.
	form.tag = "0056";
	EXPECT_EQ(B_BAD_VALUE, form.Apply(editor, "0055", &fProblem));
	EXPECT_NE(std::string::npos, fProblem.find("line 3")) << fProblem;

	// A set with more windows than rows is shown as written, and kept so.
	TagForm set = TagForm::FromHours(" Mo 08:00-09:00 10:00-11:00 12:00-13:00"
		" 14:00-15:00");
	EXPECT_EQ(TagForm::kWritten, set.when);
	std::string hours;
	ASSERT_TRUE(set.Hours(&hours, &fProblem));
	EXPECT_EQ("Mo 08:00-09:00 10:00-11:00 12:00-13:00 14:00-15:00", hours);
	set = TagForm::FromHours("Mo-Fr 07:00-19:00, Sa 09:00-13:00");
	EXPECT_EQ(TagForm::kHours, set.when);
	EXPECT_EQ("Sa", set.rows[1].days);
}


// A tag listed twice has a row for each line; a set whose first line
// cannot be read lets in never, and its later line does not count.
TEST_F(TagsModelTest, TableShowsEveryLineOfATagAndWhyALineLetsInNever)
{
	Write("@crew = Mo-Fr 07:00-\n"
		"@crew = Mo-Su 00:00-24:00\n"
		"0001 Anna | off\n"
		"0002 Ben |\n"
		"0001 Anna, old card\n"
		"@night = Mo-Su 22:00-06:00 # guards\n"
		"@day = Mo-Fr 08:00-18:00\r\n", 0600);
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem));
	TagTable table;
	table.Fill(editor.File(), ReadHistory());
	std::string rows;
	for (const TagTable::Row& row : table.Rows()) {
		rows += row.tag + " " + std::to_string(row.line) + " "
			+ (row.counts ? "" : "x ") + (row.usable ? "" : "- ") + row.when
			+ "\n";
	}
	EXPECT_EQ("@crew 1 - never: @crew: \"07:00-\" is not a time range"
			" (HH:MM-HH:MM) (line 1)\n"
		"@crew 2 x - does not count: line 1 comes first (line 2)\n"
		"@day 7 Mo-Fr 08:00-18:00\n"
		"@night 6 Mo-Su 22:00-06:00\n"
		"0001 3 off\n"
		"0001 5 x - does not count: line 3 comes first (line 5)\n"
		"0002 4 - never: no rule after the '|' (line 4)\n", rows);

	// A set's dialog has its hours without the comment, in rows.
	for (size_t index : {5, 6}) {
		EXPECT_EQ(TagForm::kHours, TagForm::FromHours(hours_of(
			editor.File().Lines()[index])).when) << index;
	}

	// The later line goes alone; the one that counts stays as it was.
	ASSERT_EQ(B_OK, editor.RemoveLine(5, &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.Save(&fProblem)) << fProblem;
	EXPECT_EQ("@crew = Mo-Fr 07:00-\n@crew = Mo-Su 00:00-24:00\n"
		"0001 Anna | off\n0002 Ben |\n"
		"@night = Mo-Su 22:00-06:00 # guards\n@day = Mo-Fr 08:00-18:00\r\n",
		read_file(fPath));
}


// Columns as wide as their texts; where the table is too narrow the name
// and the rules wrap, at a comma where they can, and no word is cut.
TEST_F(TagsModelTest, ColumnsFitTheirTextsOrWrapWithoutCuttingAWord)
{
	// Seven pixels a byte, as a fixed font would measure.
	ColumnFit::Measure measure = [](const std::string& text) {
		return 7.0f * (float)text.size();
	};
	const std::vector<std::vector<std::string>> rows = {
		{"0011223344", "contractor", "Mo-Fr 08:00-17:00, from 14.12.2026,"
			" until 18.12.2026", "outside-hours"},
		{"0099887766", "night guard", "Mo-Su 22:00-06:00", "off"},
	};
	struct Case {
		float		width;
		float		widths[4];
		const char*	when;		// the first row's rules as shown
	} cases[] = {
		// Room for all: the rules take what is left over.
		{800, {80, 87, 532, 101}, "Mo-Fr 08:00-17:00, from 14.12.2026,"
			" until 18.12.2026"},
		// The name is whole, the rules break after a comma.
		{520, {80, 87, 252, 101}, "Mo-Fr 08:00-17:00,\n"
			"from 14.12.2026, until 18.12.2026"},
		// Narrower than the longest words: as wide as those, never less.
		{100, {80, 80, 94, 101}, "Mo-Fr\n08:00-17:00,\nfrom\n14.12.2026,\n"
			"until\n18.12.2026"},
	};
	for (const Case& c : cases) {
		ColumnFit fit(measure, 10);
		fit.AddColumn("Tag", false);
		fit.AddColumn("Name", true);
		fit.AddColumn("When", true);
		fit.AddColumn("Outcome", false);
		fit.Fit(rows, c.width);
		for (size_t i = 0; i < 4; i++)
			EXPECT_EQ(c.widths[i], fit.Width(i)) << c.width << " " << i;
		std::vector<std::string> shown = fit.Wrapped(rows[0]);
		EXPECT_EQ(c.when, shown[2]) << c.width;
		EXPECT_EQ(rows[0][3], shown[3]);
	}
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


namespace {

// A PIN in the form and through the editor: shown by when it is asked,
// never by its hash; set in place, every other byte kept.
TEST_F(TagsModelTest, PinIsAskedAsChosenAndItsHashKeptOutOfSight)
{
	std::string h, h2;
	ASSERT_TRUE(PinHash::Make("2468", 4, &h, &fProblem)) << fProblem;
	ASSERT_TRUE(PinHash::Make("1357", 4, &h2, &fProblem)) << fProblem;
	std::string text = "@staff = Mo-Fr 07:00-19:00\n"
		"0001 Anna | @staff ; pin outside @staff ; pinhash " + h + " # note\n"
		"0002 Bob | pin Mo-Fr 22:00-06:00 ; pinhash " + h + "\n"
		"0003 Carl # keys\r\n";
	Write(text, 0600);
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
	const TagFile& file = editor.File();

	TagForm anna = TagForm::FromLine(*file.Find("0001"));
	EXPECT_EQ(TagForm::kNamedSet, anna.when);
	EXPECT_EQ(TagForm::kPinOutsideSet, anna.pinWhen);
	EXPECT_EQ("staff", anna.pinSet);
	EXPECT_EQ(h, anna.pinHash);
	std::string rules;
	ASSERT_TRUE(anna.Rules(&rules, &fProblem)) << fProblem;
	EXPECT_EQ("@staff ; pin outside @staff ; pinhash " + h, rules);
	EXPECT_EQ("@staff, PIN outside @staff", when_in_words(file,
		*file.Find("0001")));
	// No PIN: the hash goes with it.
	anna.pinWhen = TagForm::kNoPin;
	ASSERT_TRUE(anna.Rules(&rules, &fProblem));
	EXPECT_EQ("@staff", rules);
	// A PIN asked but none typed is refused.
	TagForm carl = TagForm::FromLine(*file.Find("0003"));
	carl.pinWhen = TagForm::kPinAlways;
	EXPECT_FALSE(carl.Rules(&rules, &fProblem));
	EXPECT_EQ("PIN: type it, twice", fProblem);

	// Hours the PIN choice cannot hold stay as written, hash and all.
	TagForm bob = TagForm::FromLine(*file.Find("0002"));
	EXPECT_EQ(TagForm::kWritten, bob.when);
	EXPECT_EQ(TagForm::kPinWritten, bob.pinWhen);
	ASSERT_TRUE(bob.Rules(&rules, &fProblem)) << fProblem;
	EXPECT_EQ("pin Mo-Fr 22:00-06:00 ; pinhash " + h, rules);
	EXPECT_EQ(std::string::npos, when_in_words(file, *file.Find("0002"))
		.find("argon2"));

	// --set-pin's way: the hash in place, or added with "pin" before it.
	bool always = false;
	ASSERT_EQ(B_OK, editor.SetPinHash("0001", h2, &always, &fProblem));
	EXPECT_FALSE(always);
	ASSERT_EQ(B_OK, editor.SetPinHash("0003", h2, &always, &fProblem));
	EXPECT_TRUE(always);
	EXPECT_EQ(B_BAD_VALUE, editor.SetPinHash("0004", h2, &always, &fProblem));
	ASSERT_EQ(B_OK, editor.Save(&fProblem)) << fProblem;
	EXPECT_EQ("@staff = Mo-Fr 07:00-19:00\n"
		"0001 Anna | @staff ; pin outside @staff ; pinhash " + h2 + " # note\n"
		"0002 Bob | pin Mo-Fr 22:00-06:00 ; pinhash " + h + "\n"
		"0003 Carl | pin ; pinhash " + h2 + " # keys\r\n", read_file(fPath));

	// What can be a PIN.
	const std::vector<std::pair<const char*, bool>> pins = {{"2468", true},
		{"123", false}, {"12a4", false}, {"0003", false},
		{"123456789012", true}, {"1234567890123", false}};
	for (const auto& [digits, fine] : pins) {
		EXPECT_EQ(fine, PinHash::Refusal(digits, strlen(digits), "0003")
			.empty()) << digits;
	}
}

}	// namespace


// What the desk sees of lockdown and keep-open: the reads and exit presses
// refused with their word, and the state as rdx's records leave it.
TEST(ReadHistoryDesk, RefusedReadsAndTheDoorsStateFromTheRecords)
{
	ReadHistory history;
	struct Step {
		const char* line;
		int lockdown;
		int32 keptRelay;
	};
	const Step steps[] = {
		{R"({"time":"2026-12-08T09:00:00.000Z","program":"rdx","event":"keep-open","action":"start","relay":2,"seconds":60,"until":"2026-12-08T09:01:00.000Z","by":"rdx-tags"})",
			-1, 2},
		{R"({"time":"2026-12-08T09:00:10.000Z","program":"rdx","event":"keep-open","action":"end","relay":2,"why":"lockdown"})",
			-1, 0},
		{R"({"time":"2026-12-08T09:00:10.000Z","program":"rdx","event":"lockdown","lockdown":"on","by":"mqtt:front"})",
			1, 0},
		{R"({"time":"2026-12-08T09:00:20.000Z","program":"rdx","event":"tag","tag":"04a1b2c3","reader":"mqtt","board_use":true,"result":"lockdown"})",
			1, 0},
		{R"({"time":"2026-12-08T09:00:30.000Z","program":"rdx","event":"door","what":"exit","input":"exit:gpio","result":"lockdown"})",
			1, 0},
		{R"({"time":"2026-12-08T09:00:40.000Z","program":"rdx","event":"lockdown","lockdown":"off","by":"rdx-send"})",
			0, 0},
		{R"({"time":"2026-12-08T09:00:50.000Z","program":"rdx","event":"keep-open","action":"start","relay":1,"seconds":60,"until":"2026-12-08T09:01:50.000Z"})",
			0, 1},
		// A new rdx closed what the one before held open.
		{R"({"time":"2026-12-08T09:01:00.000Z","program":"rdx","event":"start"})",
			0, 0},
	};
	for (const Step& step : steps) {
		SCOPED_TRACE(step.line);
		history.Add(*LogRecord::Parse(step.line));
		EXPECT_EQ(step.lockdown, history.Desk().lockdown);
		EXPECT_EQ(step.keptRelay, history.Desk().keptRelay);
	}
	ASSERT_EQ(2u, history.Recent().size());
	EXPECT_EQ("exit: lockdown", history.Recent()[0].outcome);
	EXPECT_EQ("04A1B2C3", history.Recent()[1].tag);
	EXPECT_EQ("lockdown", history.Recent()[1].outcome);
	EXPECT_EQ("mqtt", history.Recent()[1].source);
	ASSERT_NE(nullptr, history.LastSeen("04A1B2C3"));
}


namespace {

// A PIN asked without its hash lets the tag in never: the form never saves
// one, whichever way its fields get there ("never" chosen while the PIN's
// hours stand as written, "pin" typed into the rules as written), and says
// why instead.
TEST_F(TagsModelTest, NoPinIsSavedWithoutItsHash)
{
	std::string h;
	ASSERT_TRUE(PinHash::Make("2468", 4, &h, &fProblem)) << fProblem;
	Write("0001 Bob | pin Mo-Fr 22:00-06:00 ; pinhash " + h + "\n"
		"0002 Carl | pin ; pinhash " + h + "\n", 0600);
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
	const TagFile& file = editor.File();
	struct Row {
		const char*		name;
		const char*		tag;
		std::function<void(TagForm&)> change;
		// The rules saved; empty when the form is refused.
		std::string		rules;
	};
	const std::vector<Row> rows = {
		{"as it was", "0001", [](TagForm&) {},
			"pin Mo-Fr 22:00-06:00 ; pinhash " + h},
		{"never, while the PIN's hours stand as written", "0001",
			[](TagForm& form) { form.pinWhen = TagForm::kNoPin; }, ""},
		{"never, with the hours taken out as well", "0001",
			[](TagForm& form) {
				form.pinWhen = TagForm::kNoPin;
				form.written = "Mo-Fr 08:00-17:00";
			}, "Mo-Fr 08:00-17:00"},
		{"never", "0002", [](TagForm& form) {
			form.pinWhen = TagForm::kNoPin; }, "always"},
		{"'pin' typed into the rules as written", "0002",
			[](TagForm& form) {
				form.pinWhen = TagForm::kNoPin;
				form.when = TagForm::kWritten;
				form.written = "pin";
			}, ""},
	};
	for (const Row& row : rows) {
		SCOPED_TRACE(row.name);
		TagForm form = TagForm::FromLine(*file.Find(row.tag));
		row.change(form);
		std::string rules;
		fProblem.clear();
		bool taken = form.Rules(&rules, &fProblem);
		EXPECT_EQ(!row.rules.empty(), taken) << rules;
		if (row.rules.empty()) {
			EXPECT_EQ(0u, fProblem.find("PIN: ")) << fProblem;
			continue;
		}
		EXPECT_EQ(row.rules == "always" ? "" : row.rules, rules);
	}
}

}	// namespace
