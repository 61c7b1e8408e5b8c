// The tag list's editor, as rdx-tags and later tools change the list: no
// change may bring a line into force that did not count before, and every
// byte it does not mean to change stays.

#include "TagListEditor.h"

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sys/stat.h>

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

}	// namespace
