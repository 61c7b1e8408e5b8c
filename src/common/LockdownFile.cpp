#include "LockdownFile.h"

#include "PathTrust.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// More than any state file holds; a longer one is not one.
const size_t kMaxSize = 1024;


std::string
doubt_of(const PathTrust::Finding& finding)
{
	std::string path = finding.path;
	switch (finding.doubt) {
		case PathTrust::kOtherOwner:
			return "the " + std::string(finding.isLink ? "link " : "directory ")
				+ path + " on the way to it belongs to another user (uid "
				+ std::to_string(finding.owner) + "); mend that";
		case PathTrust::kWritableByOthers:
			return "the directory " + path + " may be written by others"
				" (mode " + PathTrust::Octal(finding.mode) + "); mend it with"
				" chmod go-w " + path;
		case PathTrust::kTooManyLinks:
			return "the way to it leads through too many links; mend that";
		default:
			return "the directory " + path + " cannot be used: "
				+ strerror(finding.errorCode);
	}
}


// The directories that are missing, mode 0700, as the access log makes
// them.
void
make_directories(const std::string& directory)
{
	for (size_t slash = directory.find('/', 1);;
			slash = directory.find('/', slash + 1)) {
		mkdir(directory.substr(0, slash).c_str(), 0700);
		if (slash == std::string::npos)
			return;
	}
}

}	// namespace


std::string
LockdownFile::DefaultPath()
{
	const char* state = getenv("XDG_STATE_HOME");
	if (state != nullptr && state[0] == '/')
		return std::string(state) + "/RDX/lockdown";
	const char* home = getenv("HOME");
	if (home == nullptr || home[0] == '\0')
		return std::string();
	return std::string(home) + "/.local/state/RDX/lockdown";
}


LockdownFile::LockdownFile(const std::string& path)
	:
	fPath(path)
{
}


std::string
LockdownFile::Format(bool on, const std::string& by, const std::string& since)
{
	std::string bytes = on ? "lockdown on\n" : "lockdown off\n";
	// One line each, whatever a sender calls itself.
	auto line = [](const char* key, const std::string& value) {
		std::string text;
		for (char c : value.substr(0, 200))
			text += (unsigned char)c < 0x20 || c == 0x7f ? '?' : c;
		return text.empty() ? std::string() : key + text + "\n";
	};
	return bytes + line("by ", by) + line("since ", since);
}


bool
LockdownFile::Parse(const std::string& bytes, State* state)
{
	*state = State();
	if (bytes.size() > kMaxSize || bytes.empty() || bytes.back() != '\n')
		return false;
	size_t start = 0;
	bool first = true;
	while (start < bytes.size()) {
		size_t end = bytes.find('\n', start);
		std::string line = bytes.substr(start, end - start);
		start = end + 1;
		if (first) {
			first = false;
			if (line != "lockdown on" && line != "lockdown off")
				return false;
			state->on = line == "lockdown on";
			continue;
		}
		if (line.compare(0, 3, "by ") == 0 && state->by.empty())
			state->by = line.substr(3);
		else if (line.compare(0, 6, "since ") == 0 && state->since.empty())
			state->since = line.substr(6);
		else
			return false;
	}
	return true;
}


LockdownFile::State
LockdownFile::Read() const
{
	State state;
	auto doubt = [&](const std::string& why, const char* mend) {
		state = State();
		state.on = true;
		state.problem = "the lockdown state " + fPath + " cannot be trusted ("
			+ why + "): lockdown counts as on until " + mend;
		return state;
	};
	const char* lift = "it is lifted (rdx-send --lockdown off, or rdx-tags),"
		" which writes it anew";
	if (fPath.empty()) {
		state.problem = "there is no state directory (neither XDG_STATE_HOME"
			" nor HOME is set): lockdown is never kept";
		return state;
	}

	PathTrust::Finding finding = PathTrust::CheckPath(fPath);
	if (!finding.Trusted()) {
		doubt(doubt_of(finding), "that is mended");
		state.wayDoubted = true;
		// Whether there is one, not what it says.
		struct stat status;
		state.found = lstat(fPath.c_str(), &status) == 0;
		return state;
	}
	int fd = open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK
		| O_CLOEXEC);
	if (fd < 0 && errno == ENOENT)
		return state;
	if (fd < 0) {
		return doubt(errno == ELOOP ? "it is a symbolic link"
			: strerror(errno), lift);
	}
	state.found = true;
	struct stat status;
	std::string bytes;
	std::string problem;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
		problem = "it is not a plain file";
	else if (status.st_uid != geteuid())
		problem = "it belongs to another user";
	else if ((status.st_mode & 022) != 0)
		problem = "others may write it (mode "
			+ PathTrust::Octal(status.st_mode) + ")";
	else {
		char buffer[kMaxSize + 1];
		ssize_t count;
		while ((count = read(fd, buffer, sizeof(buffer))) > 0
			&& bytes.size() <= kMaxSize)
			bytes.append(buffer, (size_t)count);
		if (count < 0)
			problem = strerror(errno);
	}
	close(fd);
	if (!problem.empty())
		return doubt(problem, lift);
	if (!Parse(bytes, &state))
		return doubt("it cannot be read as a lockdown state", lift);
	state.found = true;
	return state;
}


status_t
LockdownFile::Write(bool on, const std::string& by, const std::string& since,
	std::string* problem) const
{
	if (fPath.empty()) {
		*problem = "there is no state directory (neither XDG_STATE_HOME nor"
			" HOME is set)";
		return B_NO_INIT;
	}
	std::string directory = PathTrust::DirectoryOf(fPath);
	make_directories(directory);
	PathTrust::Finding finding = PathTrust::CheckDirectory(directory);
	if (!finding.Trusted()) {
		*problem = doubt_of(finding);
		return B_PERMISSION_DENIED;
	}

	std::string temporary = fPath + ".XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	if (fd < 0) {
		*problem = strerror(errno);
		return B_FROM_POSIX_ERROR(errno);
	}
	std::string bytes = Format(on, by, since);
	int error = 0;
	errno = 0;
	if (write(fd, bytes.data(), bytes.size()) != (ssize_t)bytes.size())
		error = errno != 0 ? errno : ENOSPC;
	if (error == 0 && fsync(fd) != 0)
		error = errno;
	if (close(fd) != 0 && error == 0)
		error = errno;
	if (error == 0 && rename(temporary.c_str(), fPath.c_str()) != 0)
		error = errno;
	if (error != 0) {
		unlink(temporary.c_str());
		*problem = strerror(error);
		return B_FROM_POSIX_ERROR(error);
	}
	// The rename is on the disk only once the directory is.
	int directoryFD = open(directory.c_str(), O_RDONLY | O_DIRECTORY
		| O_CLOEXEC);
	if (directoryFD < 0 || fsync(directoryFD) != 0) {
		error = errno;
		if (directoryFD >= 0)
			close(directoryFD);
		*problem = std::string("the directory was not synced: ")
			+ strerror(error);
		return B_FROM_POSIX_ERROR(error);
	}
	close(directoryFD);
	return B_OK;
}
