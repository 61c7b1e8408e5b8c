#include "PathTrust.h"

#include "PathNames.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The kernel's own limit on links followed in one path.
const int kMaxLinks = 40;


PathTrust::Finding
judge_directory(const std::string& path, const struct stat& status)
{
	PathTrust::Finding finding;
	finding.path = path;
	finding.mode = status.st_mode;
	finding.owner = status.st_uid;
	if (!PathTrust::TrustedOwner(status.st_uid))
		finding.doubt = PathTrust::kOtherOwner;
	else if ((status.st_mode & 022) != 0 && (status.st_mode & S_ISVTX) == 0)
		finding.doubt = PathTrust::kWritableByOthers;
	return finding;
}


PathTrust::Finding
doubt_of(PathTrust::Doubt doubt, const std::string& path, int error = 0)
{
	PathTrust::Finding finding;
	finding.doubt = doubt;
	finding.path = path;
	finding.errorCode = error;
	return finding;
}


std::string
parent_of(const std::string& directory)
{
	size_t slash = directory.find_last_of('/');
	return slash == 0 || slash == std::string::npos ? "/"
		: directory.substr(0, slash);
}


}	// namespace


PathTrust::Finding
PathTrust::CheckPath(const std::string& path)
{
	if (path.empty())
		return Finding();
	std::vector<std::string> pending;
	PathNames::Push(path, &pending);
	if (path[0] != '/') {
		char here[PATH_MAX];
		if (getcwd(here, sizeof(here)) == nullptr)
			return doubt_of(kUnusable, path, errno);
		PathNames::Push(here, &pending);
	}

	std::string current = "/";
	struct stat status;
	if (lstat("/", &status) == 0) {
		Finding finding = judge_directory("/", status);
		if (!finding.Trusted())
			return finding;
	}
	int links = 0;
	while (!pending.empty()) {
		std::string name = pending.back();
		pending.pop_back();
		if (name == ".")
			continue;
		if (name == "..") {
			// Its directories are on the way already.
			current = parent_of(current);
			continue;
		}
		std::string next = PathNames::Joined(current, name);
		if (lstat(next.c_str(), &status) != 0)
			return Finding();
		if (S_ISDIR(status.st_mode)) {
			Finding finding = judge_directory(next, status);
			if (!finding.Trusted())
				return finding;
			current = next;
			continue;
		}
		if (!S_ISLNK(status.st_mode))
			return Finding();
		// Whoever owns a link may point it anywhere.
		if (!TrustedOwner(status.st_uid)) {
			Finding finding = doubt_of(kOtherOwner, next);
			finding.isLink = true;
			finding.owner = status.st_uid;
			finding.mode = status.st_mode;
			return finding;
		}
		if (++links > kMaxLinks)
			return doubt_of(kTooManyLinks, path, ELOOP);
		char target[PATH_MAX];
		ssize_t length = readlink(next.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			return Finding();
		target[length] = '\0';
		// What the link says is walked next, from its own directory or
		// from the root.
		PathNames::Push(target, &pending);
		if (target[0] == '/')
			current.assign(1, '/');
	}
	return Finding();
}


PathTrust::Finding
PathTrust::CheckDirectory(const std::string& directory)
{
	Finding finding = CheckPath(directory);
	if (!finding.Trusted())
		return finding;
	struct stat status;
	if (stat(directory.c_str(), &status) != 0)
		return doubt_of(kUnusable, directory, errno);
	if (!S_ISDIR(status.st_mode))
		return doubt_of(kUnusable, directory, ENOTDIR);
	return finding;
}


bool
PathTrust::TrustedOwner(uid_t owner)
{
	return owner == geteuid() || owner == 0;
}


std::string
PathTrust::Octal(mode_t mode)
{
	char text[8];
	snprintf(text, sizeof(text), "%04o", (unsigned)(mode & 07777));
	return text;
}


std::string
PathTrust::DirectoryOf(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}
