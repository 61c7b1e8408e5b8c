// The board command line and the shell quoting of the address.

#include "BoardSim.h"
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
	char command[RDX_COMMAND_BUFFER];
	const std::string dir = "/run/user/1000/rdx-Ab12Cd";
	ASSERT_EQ(MakeBoardCommand(command, dir, "127.0.0.1:8080", 5, 0), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/run/user/1000/rdx-Ab12Cd"
		"/rdx5.tmp --delete-after --timeout=2 --tries=1 '127.0.0.1:8080/?5=0'");
	// wget needs the scheme to read an IPv6 address in brackets.
	ASSERT_EQ(MakeBoardCommand(command, dir, "[::1]:81/b", 3, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/run/user/1000/rdx-Ab12Cd"
		"/rdx3.tmp --delete-after --timeout=2 --tries=1 "
		"'http://[::1]:81/b/?3=1'");
	ASSERT_EQ(MakeBoardCommand(command, dir, "http://[::1]:81", 3, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/run/user/1000/rdx-Ab12Cd"
		"/rdx3.tmp --delete-after --timeout=2 --tries=1 'http://[::1]:81/?3=1'");
	ASSERT_EQ(MakeBoardCommand(command, dir, nullptr, 6, 1), B_OK);
	EXPECT_STREQ(command, "wget -q --output-document=/run/user/1000/rdx-Ab12Cd"
		"/rdx6.tmp --delete-after --timeout=2 --tries=1 '/?6=1'");

	// Without a directory of its own the process sends nothing.
	strcpy(command, "stale");
	EXPECT_EQ(MakeBoardCommand(command, std::string(), "127.0.0.1", 5, 0),
		B_NO_INIT);
	EXPECT_STREQ(command, "");

	// The process's own directory: private, and where the answers go.
	ASSERT_EQ(MakeBoardCommand(command, "127.0.0.1", 5, 0), B_OK);
	std::string own = AnswerDirectory::Path();
	struct stat info;
	ASSERT_EQ(lstat(own.c_str(), &info), 0) << own;
	EXPECT_TRUE(S_ISDIR(info.st_mode));
	EXPECT_EQ(info.st_mode & 0777, 0700u);
	EXPECT_EQ(info.st_uid, geteuid());
	EXPECT_NE(std::string(command).find("--output-document=" + own
		+ "/rdx5.tmp "), std::string::npos) << command;
}


TEST(BoardCommand, AnswerDirectoryOfAnyNameIsOneShellWord)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	TempDir temp("rdx-answers");
	std::string oldRuntime = getenv("XDG_RUNTIME_DIR") != nullptr
		? getenv("XDG_RUNTIME_DIR") : "";
	// The runtime directory is the user's to name; the process's own
	// directory goes below it, through the shell to wget.
	const char* names[] = {"run time", ";touch made;", "it's", "$(touch made)"};
	int output = 3;
	for (const char* name : names) {
		SCOPED_TRACE(name);
		std::string runtime = temp.Sub(name);
		ASSERT_EQ(0, mkdir(runtime.c_str(), 0700));
		AnswerDirectory::Remove();
		setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
		std::string own = AnswerDirectory::Path();
		EXPECT_EQ(0u, own.find(runtime + "/rdx-")) << own;
		char command[RDX_COMMAND_BUFFER];
		ASSERT_EQ(B_OK, MakeBoardCommand(command, board.Address().c_str(),
			output, 0));
		std::string inTemp = "cd " + ShellQuote(temp.Path().c_str()) + " && "
			+ command;
		EXPECT_EQ(0, system(inTemp.c_str())) << command;
		EXPECT_TRUE(board.WaitForRequest("GET /?" + std::to_string(output)
			+ "=0", 10)) << command;
		EXPECT_NE(0, access(temp.Sub("made").c_str(), F_OK));
		output++;
	}
	AnswerDirectory::Remove();
	if (oldRuntime.empty())
		unsetenv("XDG_RUNTIME_DIR");
	else
		setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
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
	char command[RDX_COMMAND_BUFFER];
	strcpy(command, "stale");
	EXPECT_EQ(MakeBoardCommand(command, "-e", 5, 0), B_BAD_VALUE);
	EXPECT_STREQ(command, "");
	EXPECT_EQ(MakeBoardCommand(command, "--output-document=/x", 5, 0),
		B_BAD_VALUE);
	// A dash later on is an ordinary part of a host name.
	EXPECT_EQ(MakeBoardCommand(command, "relay-board:80", 5, 0), B_OK);
}


TEST(BoardCommand, NeverCutShortAndFitsWhatFittedWhereverTheAnswersGo)
{
	// The same addresses fit, whether the answer directory has a short
	// path, the longest one allowed, or the process's own.
	const std::string directories[] = {"/tmp",
		"/" + std::string(AnswerDirectory::kMaxPath - 1, 'd'),
		AnswerDirectory::Path()};
	for (const std::string& directory : directories) {
		SCOPED_TRACE(directory);
		char command[RDX_COMMAND_BUFFER];
		std::string address;
		status_t result = B_OK;
		// Grow the address until it no longer fits: up to then every
		// command is whole, then it is refused and the buffer is left empty.
		while (result == B_OK) {
			address += 'h';
			result = MakeBoardCommand(command, directory, address.c_str(), 4,
				1);
			if (result == B_OK) {
				std::string text = command;
				ASSERT_EQ(text.substr(text.size() - 6), "/?4=1'");
			}
		}
		EXPECT_EQ(result, B_NAME_TOO_LONG);
		EXPECT_STREQ(command, "");
		// The longest that fits has 171 characters: 255 less 79 of fixed
		// text (answer file in "/tmp"), three digits and two quotes.
		EXPECT_EQ(address.size(), 172u);

		// Quotes in the address take room too.
		std::string quotes(60, '\'');
		EXPECT_EQ(MakeBoardCommand(command, directory, quotes.c_str(), 4, 1),
			B_NAME_TOO_LONG);
	}
	// A directory longer than any this process makes is never used.
	char command[RDX_COMMAND_BUFFER];
	EXPECT_EQ(MakeBoardCommand(command,
		"/" + std::string(AnswerDirectory::kMaxPath, 'd'), "h", 4, 1),
		B_NO_INIT);
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
