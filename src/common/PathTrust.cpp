#include "PathTrust.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel's own limit on links followed in one path.
const int kMaxLinks = 40;


PathTrust::Finding
judge(const std::string& path, const struct stat& status)
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
unusable(const std::string& path, int error)
{
	PathTrust::Finding finding;
	finding.doubt = PathTrust::kUnusable;
	finding.path = path;
	finding.errorCode = error;
	return finding;
}

}	// namespace


PathTrust::Finding
PathTrust::CheckDirectory(const std::string& directory)
{
	std::string path = directory;
	for (int hop = 0; hop < kMaxLinks; hop++) {
		struct stat status;
		if (lstat(path.c_str(), &status) != 0)
			return unusable(path, errno);
		if (!S_ISLNK(status.st_mode)) {
			if (!S_ISDIR(status.st_mode))
				return unusable(path, ENOTDIR);
			return judge(path, status);
		}

		// Whoever may write where the link is may point it elsewhere.
		std::string holder = DirectoryOf(path);
		struct stat holderStatus;
		if (stat(holder.c_str(), &holderStatus) != 0)
			return unusable(holder, errno);
		Finding finding = judge(holder, holderStatus);
		if (!finding.Trusted())
			return finding;

		char target[PATH_MAX];
		ssize_t length = readlink(path.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			return unusable(path, errno);
		target[length] = '\0';
		path = target[0] == '/' ? std::string(target)
			: holder + "/" + target;
	}
	return unusable(directory, ELOOP);
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
