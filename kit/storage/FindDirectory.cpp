#include <FindDirectory.h>

#include "StorageErrors.h"

#include <Path.h>

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// $HOME, or the password database's entry for the user when it is not set.
status_t
home_directory(std::string* home)
{
	const char* variable = getenv("HOME");
	if (variable != nullptr && variable[0] == '/') {
		*home = variable;
		return B_OK;
	}

	long size = sysconf(_SC_GETPW_R_SIZE_MAX);
	std::vector<char> buffer(size > 0 ? (size_t)size : 16384);
	struct passwd entry;
	struct passwd* found = nullptr;
	int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(),
		&found);
	if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/')
		return error != 0 ? BPrivate::errno_status(error) : B_ENTRY_NOT_FOUND;
	*home = found->pw_dir;
	return B_OK;
}


// Makes the directory and its missing parents, each private to the user.
status_t
make_directories(const std::string& path)
{
	struct stat existing;
	if (stat(path.c_str(), &existing) == 0) {
		return S_ISDIR(existing.st_mode)
			? B_OK : BPrivate::errno_status(ENOTDIR);
	}
	if (errno != ENOENT)
		return BPrivate::errno_status(errno);

	size_t slash = path.rfind('/');
	if (slash != std::string::npos && slash > 0) {
		status_t status = make_directories(path.substr(0, slash));
		if (status != B_OK)
			return status;
	}
	if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
		return BPrivate::errno_status(errno);
	return B_OK;
}

}	// namespace


status_t
find_directory(directory_which which, BPath* path, bool createIt,
	BVolume* volume)
{
	if (path == nullptr)
		return B_BAD_VALUE;

	std::string directory;
	status_t status = B_OK;
	switch (which) {
		case B_USER_DIRECTORY:
			status = home_directory(&directory);
			break;
		case B_USER_SETTINGS_DIRECTORY:
		{
			// Relative values are invalid by the XDG rules and ignored.
			const char* config = getenv("XDG_CONFIG_HOME");
			if (config != nullptr && config[0] == '/') {
				directory = config;
				break;
			}
			status = home_directory(&directory);
			if (status == B_OK)
				directory += "/.config";
			break;
		}
		default:
			status = B_BAD_VALUE;
			break;
	}
	if (status != B_OK)
		return status;

	status = path->SetTo(directory.c_str());
	if (status != B_OK || !createIt)
		return status;
	return make_directories(path->Path());
}
