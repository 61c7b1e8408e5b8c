#include "PinLocks.h"

#include <Locale.h>
#include <PathTrust.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A line per tag with a wrong PIN: far less than this for any list.
const off_t kMostBytes = 4 * 1024 * 1024;


// Why nobody but the user could be trusted to have written what the way
// leads to.
std::string
way_doubt(const PathTrust::Finding& finding)
{
	const char* where = finding.path.c_str();
	switch (finding.doubt) {
		case PathTrust::kTrusted:
			return std::string();
		case PathTrust::kOtherOwner:
			if (finding.isLink) {
				return translate_format("the link %s belongs to another user"
					" (uid %u)", where, (unsigned)finding.owner);
			}
			return translate_format("the directory %s belongs to another user"
				" (uid %u)", where, (unsigned)finding.owner);
		case PathTrust::kWritableByOthers:
			return translate_format("the directory %s may be written by others"
				" (mode %s): chmod go-w %s", where,
				PathTrust::Octal(finding.mode).c_str(), where);
		case PathTrust::kTooManyLinks:
			return translate_format("%s leads through too many links", where);
		case PathTrust::kUnusable:
			break;
	}
	return translate_format("cannot tell where %s is", where);
}

void
make_parents(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos;
			slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0700);
}

}	// namespace


PinLocks::PinLocks(const std::string& path, int tries, int lockSeconds)
	:
	fPath(path),
	fTries(tries),
	fLockSeconds(lockSeconds)
{
}


std::string
PinLocks::DefaultPath()
{
	const char* state = getenv("XDG_STATE_HOME");
	if (state != nullptr && state[0] == '/')
		return std::string(state) + "/RDX/pin-locks";
	const char* home = getenv("HOME");
	if (home == nullptr || home[0] != '/')
		return std::string();
	return std::string(home) + "/.local/state/RDX/pin-locks";
}


void
PinLocks::Load(std::vector<std::string>* problems)
{
	std::string why;
	if (_Read(&why)) {
		fDoubt.clear();
		return;
	}
	fDoubt = why;
	problems->push_back(translate_format("cannot use the record of wrong PINs"
		" %s (%s): no tag that wants a PIN passes until it is mended",
		fPath.c_str(), why.c_str()));
}


bool
PinLocks::IsKept(std::string* why)
{
	if (fDoubt.empty())
		return true;
	std::string doubt;
	if (_Read(&doubt)) {
		fDoubt.clear();
		return true;
	}
	fDoubt = doubt;
	*why = fDoubt;
	return false;
}


bool
PinLocks::_Read(std::string* why)
{
	fTags.clear();
	if (fPath.empty())
		return true;
	std::string doubt = way_doubt(PathTrust::CheckPath(fPath));
	if (!doubt.empty()) {
		*why = doubt;
		return false;
	}
	// Not blocking, and no link followed: a FIFO or a device in its place
	// would hold the reader up, or never end.
	int fd = open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK
		| O_CLOEXEC);
	if (fd < 0) {
		if (errno == ENOENT)
			return true;
		*why = errno == ELOOP ? B_TRANSLATE("it is a symbolic link")
			: strerror(errno);
		return false;
	}
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
		*why = B_TRANSLATE("it is not a plain file");
	else if (status.st_uid != geteuid()) {
		*why = translate_format("it belongs to another user (uid %u)",
			(unsigned)status.st_uid);
	} else if ((status.st_mode & 022) != 0) {
		*why = translate_format("others may write it (mode %s)",
			PathTrust::Octal(status.st_mode).c_str());
	} else if (status.st_size > kMostBytes)
		*why = B_TRANSLATE("it is larger than any record");
	std::string text;
	if (why->empty()) {
		text.resize((size_t)status.st_size);
		ssize_t count = pread(fd, &text[0], text.size(), 0);
		if (count != (ssize_t)text.size())
			*why = count < 0 ? strerror(errno) : B_TRANSLATE("it changed while"
				" it was read");
	}
	close(fd);
	if (!why->empty())
		return false;

	int number = 0;
	for (size_t start = 0; start < text.size();) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		start = end + 1;
		number++;
		if (line.empty() || line[0] == '#')
			continue;
		// TAG WRONG UNTIL
		char tag[80];
		int wrong = 0;
		long long until = 0;
		if (sscanf(line.c_str(), "%79s %d %lld", tag, &wrong, &until) != 3
			|| wrong < 0 || until < 0) {
			fTags.clear();
			*why = translate_format("line %d cannot be read", number);
			return false;
		}
		fTags[tag] = {wrong, (time_t)until};
	}
	return true;
}


bool
PinLocks::IsLocked(const std::string& tag, time_t now, time_t* until)
{
	auto found = fTags.find(tag);
	if (found == fTags.end() || found->second.until == 0)
		return false;
	State& state = found->second;
	// A clock set back must not make the lock last for years, nor end it.
	if (state.until - now > fLockSeconds)
		state.until = now + fLockSeconds;
	if (now >= state.until) {
		// Over: the next wrong PIN is the first of a new row.
		fTags.erase(found);
		std::string ignored;
		_Save(&ignored);
		return false;
	}
	*until = state.until;
	return true;
}


int
PinLocks::Wrong(const std::string& tag, time_t now, time_t* until,
	std::string* problem)
{
	State& state = fTags[tag];
	state.wrong++;
	*until = 0;
	if (state.wrong >= fTries) {
		state.until = now + fLockSeconds;
		*until = state.until;
	}
	int wrong = state.wrong;
	_Save(problem);
	return wrong;
}


void
PinLocks::Right(const std::string& tag, std::string* problem)
{
	if (fTags.erase(tag) > 0)
		_Save(problem);
}


bool
PinLocks::_Save(std::string* problem)
{
	if (fPath.empty()) {
		*problem = B_TRANSLATE("no place for the PIN locks (neither"
			" XDG_STATE_HOME nor HOME): a restart forgets them");
		return false;
	}
	std::string text = "# rdx-reader: wrong PINs in a row per tag, and until"
		" when (seconds since 1970) it is refused\n";
	for (const auto& [tag, state] : fTags) {
		text += tag + " " + std::to_string(state.wrong) + " "
			+ std::to_string((long long)state.until) + "\n";
	}
	make_parents(fPath);
	std::string temporary = fPath + ".XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	if (fd < 0) {
		*problem = translate_format("cannot write %s (%s): a restart"
			" forgets the PIN locks", fPath.c_str(), strerror(errno));
		return false;
	}
	bool written = write(fd, text.data(), text.size()) == (ssize_t)text.size()
		&& fchmod(fd, 0600) == 0 && fsync(fd) == 0;
	int error = errno;
	written = close(fd) == 0 && written;
	if (!written || rename(temporary.c_str(), fPath.c_str()) != 0) {
		if (written)
			error = errno;
		unlink(temporary.c_str());
		*problem = translate_format("cannot write %s (%s): a restart"
			" forgets the PIN locks", fPath.c_str(), strerror(error));
		return false;
	}
	return true;
}
