#include "PortAddress.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace BPrivate {

std::string
PortAddress::Directory()
{
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	if (runtime != nullptr && runtime[0] != '\0')
		return std::string(runtime) + "/rdx-kit";
	return "/tmp/rdx-kit-" + std::to_string((unsigned)geteuid());
}


status_t
PortAddress::PathFor(const char* signature, std::string* path)
{
	if (signature == nullptr || path == nullptr)
		return B_BAD_VALUE;
	std::string name(signature);
	if (name.empty() || name == "." || name == "..")
		return B_BAD_VALUE;
	// Only '/' must go for the name to stay one file; control characters
	// go too, so that the path prints as one line.
	for (char& c : name) {
		if (c == '/' || (unsigned char)c < 0x20 || c == 0x7f)
			c = '_';
	}
	std::string result = Directory() + "/" + name;
	if (result.size() >= sizeof(((struct sockaddr_un*)nullptr)->sun_path))
		return B_NAME_TOO_LONG;
	*path = result;
	return B_OK;
}


status_t
PortAddress::PrepareDirectory(const std::string& directory,
	std::string* problem, std::string* remedy)
{
	std::string unused;
	if (remedy == nullptr)
		remedy = &unused;
	std::string parent = directory.substr(0, directory.rfind('/'));
	if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
		int error = errno;
		*problem = std::string("cannot create it: ") + ::strerror(error);
		*remedy = "make sure " + (parent.empty() ? std::string("/") : parent)
			+ " exists and is yours";
		return B_FROM_POSIX_ERROR(error);
	}

	struct stat info;
	if (lstat(directory.c_str(), &info) != 0) {
		int error = errno;
		*problem = ::strerror(error);
		*remedy = "make sure " + directory + " is a directory of yours";
		return B_FROM_POSIX_ERROR(error);
	}
	if (S_ISLNK(info.st_mode)) {
		*problem = "it is a symbolic link";
		*remedy = "rm " + directory;
		return B_NOT_ALLOWED;
	}
	if (!S_ISDIR(info.st_mode)) {
		*problem = "it is not a directory";
		*remedy = "rm " + directory;
		return B_NOT_A_DIRECTORY;
	}
	if (info.st_uid != geteuid()) {
		*problem = "it belongs to user id "
			+ std::to_string((unsigned)info.st_uid);
		// Whoever made it first may be waiting for this user's messages;
		// only its owner or root can take it away.
		*remedy = "have root remove it (rm -r " + directory + "), or set"
			" XDG_RUNTIME_DIR to a directory of yours";
		return B_NOT_ALLOWED;
	}
	if ((info.st_mode & 077) != 0) {
		char mode[16];
		snprintf(mode, sizeof(mode), "%04o", (unsigned)(info.st_mode & 07777));
		*problem = std::string("its mode ") + mode
			+ " lets other users in";
		*remedy = "chmod 700 " + directory;
		return B_NOT_ALLOWED;
	}
	return B_OK;
}

}	// namespace BPrivate
