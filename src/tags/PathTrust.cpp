#include "PathTrust.h"

#include <Locale.h>

#include <climits>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The kernel gives up after as many.
const int kMostLinks = 40;


std::string
octal(mode_t mode)
{
	char text[8];
	snprintf(text, sizeof(text), "%04o", (unsigned)(mode & 07777));
	return text;
}


bool
trusted_owner(uid_t owner)
{
	return owner == geteuid() || owner == 0;
}


std::string
parent_of(const std::string& directory)
{
	size_t slash = directory.find_last_of('/');
	return slash == 0 || slash == std::string::npos ? "/"
		: directory.substr(0, slash);
}


std::string
joined(const std::string& directory, const std::string& name)
{
	return directory == "/" ? "/" + name : directory + "/" + name;
}


// The names of a path, the first last, so that the next is popped from the
// back and a link's names can be put in its place.
void
push_names(const std::string& path, std::vector<std::string>* pending)
{
	std::vector<std::string> names;
	size_t start = 0;
	while (start <= path.size()) {
		size_t slash = path.find('/', start);
		if (slash == std::string::npos)
			slash = path.size();
		if (slash > start)
			names.push_back(path.substr(start, slash - start));
		start = slash + 1;
	}
	pending->insert(pending->end(), names.rbegin(), names.rend());
}


std::string
directory_doubt(const std::string& directory, const struct stat& status)
{
	if (!trusted_owner(status.st_uid)) {
		return translate_format("the directory %s belongs to another user"
			" (uid %s): no tag passes until the list is in a directory of your"
			" own", directory.c_str(), std::to_string(status.st_uid).c_str());
	}
	// In a sticky directory only the owner of an entry may replace it, and
	// every entry on the way is looked at by itself.
	if ((status.st_mode & 022) != 0 && (status.st_mode & S_ISVTX) == 0) {
		return translate_format("the directory %s may be written by others"
			" (mode %s): no tag passes until that is mended: chmod go-w %s",
			directory.c_str(), octal(status.st_mode).c_str(),
			directory.c_str());
	}
	return std::string();
}

}	// namespace


std::string
PathTrust::Doubt(const std::string& path)
{
	if (path.empty())
		return std::string();
	std::vector<std::string> pending;
	push_names(path, &pending);
	if (path[0] != '/') {
		char here[PATH_MAX];
		if (getcwd(here, sizeof(here)) == nullptr)
			return translate_format("cannot tell where %s is",
				path.c_str());
		push_names(here, &pending);
	}

	std::string current = "/";
	struct stat status;
	if (lstat("/", &status) == 0) {
		std::string doubt = directory_doubt("/", status);
		if (!doubt.empty())
			return doubt;
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
		std::string next = joined(current, name);
		// Nothing there: nothing below it can be read either.
		if (lstat(next.c_str(), &status) != 0)
			return std::string();
		if (S_ISDIR(status.st_mode)) {
			std::string doubt = directory_doubt(next, status);
			if (!doubt.empty())
				return doubt;
			current = next;
			continue;
		}
		if (!S_ISLNK(status.st_mode))
			return std::string();
		if (!trusted_owner(status.st_uid)) {
			return translate_format("the link %s belongs to another user (uid"
				" %s): no tag passes until the list is reached through links"
				" of your own", next.c_str(),
				std::to_string(status.st_uid).c_str());
		}
		if (++links > kMostLinks) {
			return translate_format("%s leads through more than %d links",
				path.c_str(), kMostLinks);
		}
		char target[PATH_MAX];
		ssize_t length = readlink(next.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			return std::string();
		target[length] = '\0';
		// What the link says is walked next, from its own directory or
		// from the root.
		push_names(target, &pending);
		if (target[0] == '/')
			current.assign(1, '/');
	}
	return std::string();
}
