// The board command line and the shell quoting of the address.

#include "ChildProcess.h"
#include "TempDir.h"

#include <BoardCommand.h>
#include <FindProgram.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the shell makes of the quoted word: printed back by the real sh.
std::string
ThroughTheShell(const std::string& text)
{
	TempDir temp;
	std::string out = temp.Sub("out");
	std::string command = "printf '%s' " + ShellQuote(text.c_str()) + " > "
		+ ShellQuote(out.c_str());
	if (system(command.c_str()) != 0)
		return "(shell failed)";
	return read_file(out);
}


void
WriteFile(const std::string& path, const std::string& text, mode_t mode)
{
	FILE* file = fopen(path.c_str(), "w");
	ASSERT_NE(file, nullptr);
	fputs(text.c_str(), file);
	fclose(file);
	chmod(path.c_str(), mode);
}

}	// namespace


TEST(BoardCommand, HasTheBoardsOptionsAndOneQuotedUrl)
{
	char command[RDX_COMMAND_SIZE];
	ASSERT_EQ(MakeBoardCommand(command, "127.0.0.1:8080", 5, 0), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/tmp/rdx5.tmp "
		"--delete-after --timeout=2 --tries=1 '127.0.0.1:8080/?5=0'");
	// wget needs the scheme to read an IPv6 address in brackets.
	ASSERT_EQ(MakeBoardCommand(command, "[::1]:81/b", 3, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/tmp/rdx3.tmp "
		"--delete-after --timeout=2 --tries=1 'http://[::1]:81/b/?3=1'");
	ASSERT_EQ(MakeBoardCommand(command, "http://[::1]:81", 3, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/tmp/rdx3.tmp "
		"--delete-after --timeout=2 --tries=1 'http://[::1]:81/?3=1'");
	ASSERT_EQ(MakeBoardCommand(command, nullptr, 6, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/tmp/rdx6.tmp "
		"--delete-after --timeout=2 --tries=1 '/?6=1'");
}


TEST(BoardCommand, QuotingSurvivesTheRealShellUnchanged)
{
	const char* texts[] = {
		"plain", "", "it's", "''", "'\\''", "a b\tc", "line\nend\n",
		"$(id)", "`id`", "\"q\"", "; rm -rf x", "*?[a]", "~root", "\\",
		"%s%d", "!", "a'b'c'd",
	};
	for (const char* text : texts)
		EXPECT_EQ(ThroughTheShell(text), text) << text;
}


TEST(BoardCommand, AddressReadAsAnOptionIsRefused)
{
	char command[RDX_COMMAND_SIZE];
	strcpy(command, "stale");
	EXPECT_EQ(MakeBoardCommand(command, "-e", 5, 0), B_BAD_VALUE);
	EXPECT_STREQ(command, "");
	EXPECT_EQ(MakeBoardCommand(command, "--output-document=/x", 5, 0),
		B_BAD_VALUE);
	// A dash later on is an ordinary part of a host name.
	EXPECT_EQ(MakeBoardCommand(command, "relay-board:80", 5, 0), B_OK);
}


TEST(BoardCommand, NeverCutShort)
{
	char command[RDX_COMMAND_SIZE];
	std::string address;
	status_t result = B_OK;
	// Grow the address until it no longer fits: up to then every command
	// is whole, then it is refused and the buffer is left empty.
	while (result == B_OK) {
		address += 'h';
		result = MakeBoardCommand(command, address.c_str(), 4, 1);
		if (result == B_OK) {
			std::string text = command;
			ASSERT_LT(text.size(), (size_t)RDX_COMMAND_SIZE);
			ASSERT_EQ(text.substr(text.size() - 6), "/?4=1'");
		}
	}
	EXPECT_EQ(result, B_NAME_TOO_LONG);
	EXPECT_STREQ(command, "");
	// The longest that fits has 171 characters: 255 less 79 of fixed
	// text, three digits and two quotes.
	EXPECT_EQ(address.size(), 172u);

	// Quotes in the address take room too.
	std::string quotes(60, '\'');
	EXPECT_EQ(MakeBoardCommand(command, quotes.c_str(), 4, 1),
		B_NAME_TOO_LONG);
}


TEST(FindProgram, TakesTheFirstExecutableOnThePath)
{
	TempDir temp;
	mkdir(temp.Sub("a").c_str(), 0755);
	mkdir(temp.Sub("b").c_str(), 0755);
	mkdir(temp.Sub("c").c_str(), 0755);
	// Not executable, then a directory of the name: both passed over.
	WriteFile(temp.Sub("a/tool"), "#!/bin/sh\n", 0644);
	mkdir(temp.Sub("b/tool").c_str(), 0755);
	WriteFile(temp.Sub("c/tool"), "#!/bin/sh\n", 0755);

	const char* saved = getenv("PATH");
	std::string savedPath = saved != nullptr ? saved : "";
	setenv("PATH", (temp.Sub("a") + ":" + temp.Sub("b") + ":"
		+ temp.Sub("c")).c_str(), 1);
	EXPECT_EQ(FindProgram("tool"), temp.Sub("c/tool"));
	EXPECT_EQ(FindProgram("missing"), "");
	EXPECT_EQ(FindProgram(""), "");

	// An empty entry is the current directory, as for the shell.
	std::filesystem::path cwd = std::filesystem::current_path();
	std::filesystem::current_path(temp.Sub("c"));
	setenv("PATH", (temp.Sub("a") + "::").c_str(), 1);
	EXPECT_EQ(FindProgram("tool"), "./tool");
	std::filesystem::current_path(cwd);

	setenv("PATH", savedPath.c_str(), 1);
	EXPECT_FALSE(FindProgram("wget").empty());
}
