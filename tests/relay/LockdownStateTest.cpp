// The lockdown state file as every program reads it: only a plain file of
// the user's own that nobody else may write, holding exactly the state's
// lines, is believed; anything else counts as lockdown on.

#include "TempDir.h"

#include <LockdownFile.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>


TEST(LockdownState, OnlyAFileOfTheUsersOwnInItsOwnWordsIsBelieved)
{
	struct Row {
		const char* bytes;	// nullptr: no file
		mode_t mode;
		bool link;
		bool on;
		const char* problem;	// "" for none
	};
	const Row rows[] = {
		{nullptr, 0600, false, false, ""},
		{"lockdown on\nby rdx-send\nsince 2026-12-08T09:14:03.127Z\n", 0600,
			false, true, ""},
		{"lockdown off\nby rdx-tags\n", 0600, false, false, ""},
		{"lockdown off\n", 0620, false, true, "others may write it"},
		{"lockdown off\n", 0602, false, true, "others may write it"},
		{"lockdown off\n", 0600, true, true, "symbolic link"},
		{"unlocked\n", 0600, false, true, "cannot be read as a lockdown"},
		{"lockdown off", 0600, false, true, "cannot be read as a lockdown"},
		{"lockdown off\nby a\nuntil later\n", 0600, false, true,
			"cannot be read as a lockdown"},
		{"lockdown off\n\n", 0600, false, true,
			"cannot be read as a lockdown"},
	};
	int index = 0;
	for (const Row& row : rows) {
		SCOPED_TRACE(index++);
		TempDir directory("rdx-lockdown");
		std::string path = directory.Sub("lockdown");
		if (row.bytes != nullptr) {
			std::string written = row.link ? directory.Sub("elsewhere")
				: path;
			FILE* file = fopen(written.c_str(), "w");
			ASSERT_NE(file, nullptr);
			fputs(row.bytes, file);
			fclose(file);
			ASSERT_EQ(0, chmod(written.c_str(), row.mode));
			if (row.link) {
				ASSERT_EQ(0, symlink(written.c_str(), path.c_str()));
			}
		}
		LockdownFile::State state = LockdownFile(path).Read();
		EXPECT_EQ(row.on, state.on);
		if (row.problem[0] == '\0') {
			EXPECT_EQ("", state.problem);
		} else {
			EXPECT_NE(std::string::npos, state.problem.find(row.problem))
				<< state.problem;
		}
	}
}
