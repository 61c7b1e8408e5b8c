#include "PinLocks.h"

#include <Locale.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
	fTags.clear();
	if (fPath.empty())
		return;
	FILE* file = fopen(fPath.c_str(), "re");
	if (file == nullptr) {
		if (errno != ENOENT) {
			problems->push_back(translate_format("cannot read %s (%s): no"
				" earlier lock is known", fPath.c_str(), strerror(errno)));
		}
		return;
	}
	char text[256];
	int number = 0;
	while (fgets(text, sizeof(text), file) != nullptr) {
		number++;
		if (text[0] == '#' || text[0] == '\n')
			continue;
		// TAG WRONG UNTIL
		char tag[80];
		int wrong = 0;
		long long until = 0;
		if (sscanf(text, "%79s %d %lld", tag, &wrong, &until) != 3
			|| wrong < 0 || until < 0) {
			problems->push_back(translate_format("%s, line %d cannot be read:"
				" skipped", fPath.c_str(), number));
			continue;
		}
		fTags[tag] = {wrong, (time_t)until};
	}
	fclose(file);
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
