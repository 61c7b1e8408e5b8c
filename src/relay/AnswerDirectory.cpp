#include "AnswerDirectory.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// mkdtemp makes the directory with mode 0700 and fails if the name exists,
// so nobody can have prepared it.
std::string
make_under(const char* base)
{
	if (base == nullptr || base[0] != '/')
		return "";
	std::string pattern = std::string(base) + "/rdx-XXXXXX";
	// Measured as the command will hold it.
	if (AnswerDirectory::ShellWord(pattern).size() + sizeof("/rdx0.tmp")
			> AnswerDirectory::kMaxPath)
		return "";
	std::vector<char> name(pattern.begin(), pattern.end());
	name.push_back('\0');
	if (mkdtemp(name.data()) == nullptr)
		return "";
	return name.data();
}

}	// namespace


std::string
AnswerDirectory::ShellWord(const std::string& path)
{
	bool plain = !path.empty();
	for (char c : path) {
		if (c == '\0' || (!isalnum((unsigned char)c)
			&& strchr("/._-+,:@%", c) == nullptr))
			plain = false;
	}
	if (plain)
		return path;
	std::string quoted = "'";
	for (char c : path) {
		if (c == '\'')
			quoted += "'\\''";
		else
			quoted += c;
	}
	quoted += '\'';
	return quoted;
}


AnswerDirectory::~AnswerDirectory()
{
	// A worker of a program that ends without waiting for it may still be
	// asking for the path.
	std::lock_guard<std::mutex> guard(fLock);
	_Remove();
}


AnswerDirectory&
AnswerDirectory::Shared()
{
	// Lives until the process's static objects go, so that a program that
	// ends without calling Remove() leaves nothing behind either.
	static AnswerDirectory directory;
	return directory;
}


std::string
AnswerDirectory::Path()
{
	AnswerDirectory& shared = Shared();
	std::lock_guard<std::mutex> guard(shared.fLock);
	if (shared.fPath.empty() && !shared.fFailed)
		shared.fPath = shared._Make();
	return shared.fPath;
}


void
AnswerDirectory::Remove()
{
	AnswerDirectory& shared = Shared();
	std::lock_guard<std::mutex> guard(shared.fLock);
	shared._Remove();
	shared.fFailed = false;
}


std::string
AnswerDirectory::_Make()
{
	std::string path = make_under(getenv("XDG_RUNTIME_DIR"));
	if (path.empty())
		path = make_under("/tmp");
	if (path.empty()) {
		printf("no private directory for the board's answers (%s): board "
			"requests are not sent\n", strerror(errno));
		fFailed = true;
	}
	return path;
}


void
AnswerDirectory::_Remove()
{
	if (fPath.empty())
		return;
	// Only what is in our own directory goes: wget's answers, and whatever
	// else ended up there, never through a link (unlinkat removes a link
	// itself, not what it points to).
	int fd = open(fPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW
		| O_CLOEXEC);
	if (fd >= 0) {
		DIR* directory = fdopendir(fd);
		if (directory != nullptr) {
			while (struct dirent* entry = readdir(directory)) {
				if (strcmp(entry->d_name, ".") == 0
					|| strcmp(entry->d_name, "..") == 0)
					continue;
				if (strcmp(entry->d_name, kGateName) == 0)
					_RemoveGates(dirfd(directory));
				unlinkat(dirfd(directory), entry->d_name, 0);
			}
			closedir(directory);
		} else
			close(fd);
	}
	rmdir(fPath.c_str());
	fPath.clear();
}


void
AnswerDirectory::_RemoveGates(int parent)
{
	// The gates of the opens (FIFOs), left by a program that ended while
	// one was under way; never through a link.
	int fd = openat(parent, kGateName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW
		| O_CLOEXEC);
	if (fd < 0)
		return;
	DIR* directory = fdopendir(fd);
	if (directory == nullptr) {
		close(fd);
		return;
	}
	while (struct dirent* entry = readdir(directory)) {
		if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
			unlinkat(dirfd(directory), entry->d_name, 0);
	}
	closedir(directory);
	unlinkat(parent, kGateName, AT_REMOVEDIR);
}
