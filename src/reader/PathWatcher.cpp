#include "PathWatcher.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string
parent_of(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	if (slash == std::string::npos)
		return ".";
	if (slash == 0)
		return "/";
	return path.substr(0, slash);
}


std::string
name_of(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}


// Where a chain of links ends: the path itself when it is no link. The
// end need not exist.
std::string
resolved(const std::string& path)
{
	std::string end = path;
	for (int hop = 0; hop < 40; hop++) {
		char target[PATH_MAX];
		ssize_t length = readlink(end.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			break;
		target[length] = '\0';
		end = target[0] == '/' ? std::string(target)
			: parent_of(end) + "/" + target;
	}
	return end;
}


const uint32_t kMask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
	| IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF
	| IN_ONLYDIR;

}	// namespace


PathWatcher::PathWatcher(const std::string& path, Interest interest)
	:
	fPath(path),
	fInterest(interest)
{
	fFD = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
	if (fFD >= 0) {
		_Arm();
		_ArmTarget();
	}
}


PathWatcher::~PathWatcher()
{
	if (fFD >= 0)
		close(fFD);
}


void
PathWatcher::_Arm()
{
	if (fWatch >= 0) {
		inotify_rm_watch(fFD, fWatch);
		if (fTargetWatch == fWatch) {
			fTargetWatch = -1;
			fTarget.clear();
		}
		fWatch = -1;
	}
	// The directory of the path, or the nearest ancestor that exists.
	std::string below = fPath;
	std::string directory = parent_of(fPath);
	for (;;) {
		fWatch = inotify_add_watch(fFD, directory.c_str(), kMask);
		if (fWatch >= 0 || directory == "/" || directory == ".")
			break;
		below = directory;
		directory = parent_of(directory);
	}
	fWatched = directory;
	fNext = name_of(below);
}


void
PathWatcher::_ArmTarget()
{
	std::string target = resolved(fPath);
	if (target == fTarget && (fTargetWatch >= 0 || target == fPath))
		return;
	// A watch shared with the path's own directory stays with it.
	if (fTargetWatch >= 0 && fTargetWatch != fWatch)
		inotify_rm_watch(fFD, fTargetWatch);
	fTargetWatch = -1;
	fTarget = target;
	if (target == fPath)
		return;
	// The same directory gives the same watch, with the same mask.
	fTargetWatch = inotify_add_watch(fFD, parent_of(target).c_str(), kMask);
}


bool
PathWatcher::_Concerns(uint32_t mask, const std::string& path) const
{
	if (fInterest == kAnyChange)
		return true;
	// Created is not written: the writer may be half-way. A link is made
	// whole at once.
	if ((mask & IN_CREATE) != 0) {
		struct stat status;
		return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
	}
	return (mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
		| IN_ATTRIB)) != 0;
}


bool
PathWatcher::Read()
{
	if (fFD < 0)
		return false;
	bool concerns = false;
	bool rearm = false;
	alignas(struct inotify_event) char buffer[4096];
	for (;;) {
		ssize_t count = read(fFD, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			break;
		for (ssize_t offset = 0; offset < count;) {
			const struct inotify_event* event
				= (const struct inotify_event*)(buffer + offset);
			offset += sizeof(struct inotify_event) + event->len;
			// Events of a watch given up before (its IN_IGNORED above
			// all) are old news.
			// What the link leads to changed, or its directory's
			// permissions did.
			if (fTargetWatch >= 0 && event->wd == fTargetWatch
				&& (event->len == 0 ? (event->mask & IN_ATTRIB) != 0
					: name_of(fTarget) == event->name
						&& _Concerns(event->mask, fTarget))) {
				concerns = true;
			}
			if (fTargetWatch >= 0 && event->wd == fTargetWatch
				&& fTargetWatch != fWatch && (event->mask & (IN_DELETE_SELF
					| IN_MOVE_SELF | IN_IGNORED)) != 0) {
				// Its directory went: watched again once it is back.
				fTargetWatch = -1;
				fTarget.clear();
				concerns = true;
			}
			if (event->wd != fWatch)
				continue;
			if (event->len == 0 && (event->mask & IN_ATTRIB) != 0
				&& fWatched == parent_of(fPath)) {
				concerns = true;
				continue;
			}
			if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
					!= 0) {
				// The watched directory itself went: watch higher up.
				rearm = true;
				concerns = true;
				continue;
			}
			if (event->len == 0 || fNext != event->name)
				continue;
			// A directory on the way appeared: watch further down.
			if (fWatched != parent_of(fPath)) {
				rearm = true;
				concerns = true;
				continue;
			}
			if (_Concerns(event->mask, fPath))
				concerns = true;
		}
	}
	if (rearm)
		_Arm();
	// The link may lead elsewhere now.
	if (concerns)
		_ArmTarget();
	return concerns;
}
