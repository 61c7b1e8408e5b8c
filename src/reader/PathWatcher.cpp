#include "PathWatcher.h"

#include <cerrno>
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

}	// namespace


PathWatcher::PathWatcher(const std::string& path)
	:
	fPath(path)
{
	fFD = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
	if (fFD >= 0)
		_Arm();
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
		fWatch = -1;
	}
	// The directory of the path, or the nearest ancestor that exists.
	std::string below = fPath;
	std::string directory = parent_of(fPath);
	for (;;) {
		const uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM
			| IN_DELETE | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF
			| IN_MOVE_SELF | IN_ONLYDIR;
		fWatch = inotify_add_watch(fFD, directory.c_str(), mask);
		if (fWatch >= 0 || directory == "/" || directory == ".")
			break;
		below = directory;
		directory = parent_of(directory);
	}
	fWatched = directory;
	fNext = name_of(below);
	_WatchNode();
}


void
PathWatcher::_WatchNode()
{
	// inotify follows the link; the same node keeps its watch, a new one
	// (the link now leads elsewhere) takes the place of the old. Added to,
	// never replacing, the mask of a watch that the node may already have
	// (a link that leads to the watched directory itself).
	int watch = inotify_add_watch(fFD, fPath.c_str(), IN_ATTRIB | IN_MASK_ADD);
	if (watch >= 0 && watch == fWatch)
		watch = -1;
	if (fNodeWatch >= 0 && fNodeWatch != watch)
		inotify_rm_watch(fFD, fNodeWatch);
	fNodeWatch = watch;
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
			if (event->wd == fNodeWatch && fNodeWatch >= 0) {
				// Its permissions changed, or it went.
				if ((event->mask & IN_IGNORED) != 0)
					fNodeWatch = -1;
				concerns = true;
				continue;
			}
			// Events of a watch given up before (its IN_IGNORED above
			// all) are old news.
			if (event->wd != fWatch)
				continue;
			if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
					!= 0) {
				// The watched directory itself went: watch higher up.
				rearm = true;
				concerns = true;
				continue;
			}
			if (event->len == 0 || fNext != event->name)
				continue;
			concerns = true;
			// A directory on the way appeared: watch further down.
			if (fWatched != parent_of(fPath))
				rearm = true;
		}
	}
	if (rearm)
		_Arm();
	else if (concerns)
		_WatchNode();
	return concerns;
}
