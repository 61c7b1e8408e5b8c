// The tag list's editor, as rdx-tags and later tools change the list: no
// change may bring a line into force that did not count before, and every
// byte it does not mean to change stays.

#include "TagListEditor.h"
#include "TagListLock.h"

#include <OS.h>

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TagEditorTest : public ::testing::Test {
protected:
	void Write(const std::string& text)
	{
		std::ofstream(fPath, std::ios::binary) << text;
		chmod(fPath.c_str(), 0600);
	}

	TempDir			fDirectory{"rdx-tag-editor"};
	std::string		fPath = fDirectory.Sub("tags");
	std::string		fProblem;
};


// A tag on two lines: the first counts. Whatever the editor does to that
// first line, the second must not silently take its place.
TEST_F(TagEditorTest, ATagListedTwiceNeverBringsItsSecondLineIntoForce)
{
	const std::string list = "7100 Visitor | off\n"
		"# kept\n"
		"7100 old card, no rules\n"
		"7200 Anna\n"
		"7100 third\n";
	struct Case {
		const char*	name;
		std::function<status_t(TagListEditor&)> change;
		status_t	status;
		// The text after the change; nullptr: unchanged.
		const char*	text;
		const char*	problem;
	};
	const std::vector<Case> cases = {
		{"removing the tag removes every line of it",
			[&](TagListEditor& editor) {
				return editor.RemoveTag("7100", &fProblem);
			}, B_OK, "# kept\n7200 Anna\n", ""},
		{"a new tag for its first line is refused",
			[&](TagListEditor& editor) {
				return editor.SetTag("7100", "7300", "Visitor", "off",
					&fProblem);
			}, B_BAD_VALUE, nullptr,
			"7100 is listed on line 3 as well: remove that line first"},
		{"the same tag with other rules stays on its line",
			[&](TagListEditor& editor) {
				return editor.SetTag("7100", "7100", "Visitor",
					"Mo 08:00-09:00", &fProblem);
			}, B_OK, "7100 Visitor | Mo 08:00-09:00\n# kept\n"
				"7100 old card, no rules\n7200 Anna\n7100 third\n", ""},
		{"one line removed by its number, whatever it is",
			[&](TagListEditor& editor) {
				return editor.RemoveLine(3, &fProblem);
			}, B_OK, "7100 Visitor | off\n# kept\n7200 Anna\n7100 third\n",
			""},
		{"a line that is not there",
			[&](TagListEditor& editor) {
				return editor.RemoveLine(6, &fProblem);
			}, B_BAD_VALUE, nullptr, "there is no line 6"},
		// Many at once, as an import writes them: its first line changes,
		// new tags go last, and one refusal changes nothing.
		{"many tags at once",
			[&](TagListEditor& editor) {
				size_t refused;
				return editor.SetTags({{"7300", "Carla", ""},
					{"7100", "Visitor", "Mo 08:00-09:00"},
					{"7400", "Dora", "off"}}, &refused, &fProblem);
			}, B_OK, "7100 Visitor | Mo 08:00-09:00\n# kept\n"
				"7100 old card, no rules\n7200 Anna\n7100 third\n"
				"7300 Carla\n7400 Dora | off\n", ""},
		{"many tags, one of them refused",
			[&](TagListEditor& editor) {
				size_t refused = 0;
				status_t status = editor.SetTags({{"7300", "Carla", ""},
					{"7400", "Dora", "off | Mo-Su 00:00-24:00"}}, &refused,
					&fProblem);
				return refused == 1 ? status : B_ERROR;
			}, B_BAD_VALUE, nullptr, "a second '|' reads two ways: a line has"
				" one '|' before its rules, whose items are separated by ';'"},
		{"many tags, one of them twice",
			[&](TagListEditor& editor) {
				size_t refused = 0;
				status_t status = editor.SetTags({{"7300", "Carla", ""},
					{"7300", "Carla", "off"}}, &refused, &fProblem);
				return refused == 1 ? status : B_ERROR;
			}, B_BAD_VALUE, nullptr, "7300 is given twice"},
		{"the line that counts is not removed alone",
			[&](TagListEditor& editor) {
				return editor.RemoveLine(1, &fProblem);
			}, B_BAD_VALUE, nullptr, "line 1 counts for 7100, which line 3"
			" lists as well: remove the tag, or that line first"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		Write(list);
		TagListEditor editor(fPath);
		ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
		fProblem.clear();
		EXPECT_EQ(test.status, test.change(editor)) << fProblem;
		EXPECT_EQ(test.problem, fProblem);
		EXPECT_EQ(test.text != nullptr ? test.text : list,
			editor.File().Text());
	}
}



// A set renamed: in the lines that use it only the name changes, every
// other byte stays (their comments, their blanks, their line ends); a line
// that names another set, or the name only in part, is not touched.
TEST_F(TagEditorTest, RenamingASetChangesOnlyItsNameInTheLinesThatUseIt)
{
	const std::string list = "@staff = Mo-Fr 07:00-19:00\n"
		"@staffer = Sa 09:00-13:00\n"
		"1111 Anna   |  @staff # keys returned\n"
		"2222 Ben\t| Mo 08:00-09:00 ;@staff;\t@staffer\r\n"
		"3333 Carl | @staffer # not @staff\n"
		"4444 Dora # @staff is no rule here\n";
	Write(list);
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.SetHours("staff", "team", "Mo-Fr 07:00-19:00",
		&fProblem)) << fProblem;
	EXPECT_EQ("@team = Mo-Fr 07:00-19:00\n"
		"@staffer = Sa 09:00-13:00\n"
		"1111 Anna   |  @team # keys returned\n"
		"2222 Ben\t| Mo 08:00-09:00 ;@team;\t@staffer\r\n"
		"3333 Carl | @staffer # not @staff\n"
		"4444 Dora # @staff is no rule here\n", editor.File().Text());
	EXPECT_TRUE(editor.File().Problems().empty());
}


// A set defined twice: the first line counts. Renaming or removing it
// must not bring the later definition into force for what still says the
// old name.
TEST_F(TagEditorTest, ASetDefinedTwiceNeverBringsItsSecondLineIntoForce)
{
	const std::string list = "@crew = Mo-Fr 07:00-\n"
		"@crew = Mo-Su 00:00-24:00\n"
		"7100 Visitor\n";
	struct Case {
		const char*	name;
		std::function<status_t(TagListEditor&)> change;
		status_t	status;
		const char*	text;
		const char*	problem;
	};
	const std::vector<Case> cases = {
		{"renamed while defined again further down",
			[&](TagListEditor& editor) {
				return editor.SetHours("crew", "team", "Mo-Fr 07:00-19:00",
					&fProblem);
			}, B_BAD_VALUE, nullptr,
			"@crew is defined on line 2 as well: remove that line first"},
		{"mended under its own name",
			[&](TagListEditor& editor) {
				return editor.SetHours("crew", "crew", "Mo-Fr 07:00-19:00",
					&fProblem);
			}, B_OK, "@crew = Mo-Fr 07:00-19:00\n@crew = Mo-Su 00:00-24:00\n"
				"7100 Visitor\n", ""},
		{"removed with every line that defines it",
			[&](TagListEditor& editor) {
				return editor.RemoveHours("crew", &fProblem);
			}, B_OK, "7100 Visitor\n", ""},
		{"a name the list cannot read back",
			[&](TagListEditor& editor) {
				return editor.SetHours("", "st\xc3\xa4" "ff", "Mo 08:00-09:00",
					&fProblem);
			}, B_BAD_VALUE, nullptr,
			"name: 1 to 64 letters, digits, '-' or '_'"},
		{"its first line is not removed alone",
			[&](TagListEditor& editor) {
				return editor.RemoveLine(1, &fProblem);
			}, B_BAD_VALUE, nullptr, "line 1 defines @crew, which line 2"
			" defines as well: remove the set, or that line first"},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		Write(list);
		TagListEditor editor(fPath);
		ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
		fProblem.clear();
		EXPECT_EQ(test.status, test.change(editor)) << fProblem;
		EXPECT_EQ(test.problem, fProblem);
		EXPECT_EQ(test.text != nullptr ? test.text : list,
			editor.File().Text());
	}
}


// A list saved by a Windows editor (a byte order mark, CRLF): its first
// line is the tag's line as it shows, for every change the editor makes.
TEST_F(TagEditorTest, AListFromAWindowsEditorIsChangedAsItShows)
{
	const std::string list = "\xEF\xBB\xBF" "0001 Anna | off\r\n0002 Ben\r\n";
	struct Case {
		const char*	name;
		std::function<status_t(TagListEditor&)> change;
		status_t	status;
		const char*	text;
		const char*	problem;
	};
	const std::vector<Case> cases = {
		{"its first tag added again",
			[&](TagListEditor& editor) {
				return editor.SetTag("", "0001", "spare", "", &fProblem);
			}, B_BAD_VALUE, nullptr, "0001 is listed already (line 1)"},
		{"its first tag removed",
			[&](TagListEditor& editor) {
				return editor.RemoveTag("0001", &fProblem);
			}, B_OK, "0002 Ben\r\n", ""},
		{"another line changed: every other byte stays",
			[&](TagListEditor& editor) {
				return editor.SetTag("0002", "0002", "Ben", "Mo 08:00-09:00",
					&fProblem);
			}, B_OK, "\xEF\xBB\xBF" "0001 Anna | off\r\n0002 Ben | Mo 08:00-09:00\n",
			""},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		Write(list);
		TagListEditor editor(fPath);
		ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
		fProblem.clear();
		EXPECT_EQ(test.status, test.change(editor)) << fProblem;
		EXPECT_EQ(test.problem, fProblem);
		EXPECT_EQ(test.text != nullptr ? test.text : list,
			editor.File().Text());
	}
}


// The check for an outside change and the rename happen under the
// writers' lock: a save waits for a writer that holds it, and gives up
// with a line, writing nothing, when it is not let go.
TEST_F(TagEditorTest, SaveTakesTheWritersLock)
{
	Write("1111 Anna\n");
	TagListEditor editor(fPath);
	ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
	ASSERT_EQ(B_OK, editor.SetTag("", "2222", "Ben", "", &fProblem));
	TagListLock other;
	ASSERT_EQ(B_OK, other.Acquire(fPath, &fProblem)) << fProblem;
	bigtime_t start = system_time();
	EXPECT_EQ(B_TIMED_OUT, editor.Save(&fProblem));
	EXPECT_GE(system_time() - start, 4000000);
	EXPECT_EQ("another program is writing the list (it holds "
		+ fDirectory.Sub(".tags.lock") + "): nothing was written, try again",
		fProblem);
	EXPECT_EQ("1111 Anna\n", read_file(fPath));
	other.Release();
	ASSERT_EQ(B_OK, editor.Save(&fProblem)) << fProblem;
	EXPECT_EQ("1111 Anna\n2222 Ben\n", read_file(fPath));

	// A lock file that is not the user's own, or a link, is not used.
	ASSERT_EQ(0, unlink(fDirectory.Sub(".tags.lock").c_str()));
	ASSERT_EQ(0, symlink(fDirectory.Sub("elsewhere").c_str(),
		fDirectory.Sub(".tags.lock").c_str()));
	ASSERT_EQ(B_OK, editor.SetTag("", "3333", "Carl", "", &fProblem));
	EXPECT_EQ(B_NOT_ALLOWED, editor.Save(&fProblem));
	EXPECT_EQ("1111 Anna\n2222 Ben\n", read_file(fPath));
	EXPECT_NE(0, access(fDirectory.Sub("elsewhere").c_str(), F_OK));
	if (geteuid() != 0)
		return;
	ASSERT_EQ(0, unlink(fDirectory.Sub(".tags.lock").c_str()));
	Write("");
	ASSERT_EQ(0, rename(fPath.c_str(), fDirectory.Sub(".tags.lock").c_str()));
	ASSERT_EQ(0, chown(fDirectory.Sub(".tags.lock").c_str(), 4242, (gid_t)-1));
	Write("1111 Anna\n2222 Ben\n");
	EXPECT_EQ(B_NOT_ALLOWED, editor.Save(&fProblem));
	EXPECT_EQ("the lock " + fDirectory.Sub(".tags.lock") + " is not a file of"
		" your own: nothing is written until it is removed", fProblem);
	EXPECT_EQ("1111 Anna\n2222 Ben\n", read_file(fPath));
}

// Another writer holds the lock and adds a line meanwhile (as learning
// does): a save started then waits, writes nothing while the other holds
// the lock, and the editor's check for an outside change comes after the
// wait, so that the other's line is never lost.
TEST_F(TagEditorTest, ALineWrittenUnderTheLockIsNeverLost)
{
	struct Case {
		const char*	name;
		std::function<status_t(TagListEditor&)> save;
		status_t	status;
	};
	const std::vector<Case> cases = {
		{"the editor's save", [&](TagListEditor& editor) {
			return editor.Save(&fProblem);
		}, B_MISMATCHED_VALUES},
		{"a save of the list on its own", [&](TagListEditor& editor)
				-> status_t {
			TagList list(fPath);
			std::string problem;
			if (list.Load(&problem) != B_OK)
				return B_ERROR;
			return list.Save(editor.File(), &problem);
		}, B_OK},
	};
	for (const Case& test : cases) {
		SCOPED_TRACE(test.name);
		Write("1111 Anna\n");
		TagListEditor editor(fPath);
		ASSERT_EQ(B_OK, editor.Load(&fProblem)) << fProblem;
		ASSERT_EQ(B_OK, editor.SetTag("", "2222", "Ben", "", &fProblem));
		TagListLock other;
		ASSERT_EQ(B_OK, other.Acquire(fPath, &fProblem)) << fProblem;
		status_t status = B_ERROR;
		std::thread saving([&] { status = test.save(editor); });
		// Long enough for a save that does not wait to have written.
		snooze(300000);
		EXPECT_EQ("1111 Anna\n", read_file(fPath));
		std::ofstream(fPath, std::ios::app) << "3333 # learned\n";
		other.Release();
		saving.join();
		EXPECT_EQ(test.status, status) << fProblem;
		std::string text = read_file(fPath);
		if (test.status == B_MISMATCHED_VALUES)
			EXPECT_EQ("1111 Anna\n3333 # learned\n", text);
		else
			EXPECT_EQ("1111 Anna\n2222 Ben\n", text);
	}
}

}	// namespace
