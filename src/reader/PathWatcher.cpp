#include "PathWatcher.h"

#include <PathNames.h>

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


// Every link on the way to the path, each in the directory that holds it
// (without links), and where the way ends: the path's file, or the first
// name on the way that is not there yet. The kernel's own limit ends a
// loop.
std::vector<std::pair<std::string, std::string>>
way_of(const std::string& path)
{
	std::vector<std::pair<std::string, std::string>> places;
	std::vector<std::string> pending;
	PathNames::Push(path, &pending);
	std::string current = "/";
	if (path.empty() || path[0] != '/') {
		char here[PATH_MAX];
		current = getcwd(here, sizeof(here)) != nullptr ? here : ".";
	}
	int links = 0;
	while (!pending.empty()) {
		std::string name = pending.back();
		pending.pop_back();
		if (name == ".")
			continue;
		if (name == "..") {
			current = parent_of(current);
			continue;
		}
		std::string next = PathNames::Joined(current, name);
		struct stat status;
		bool there = lstat(next.c_str(), &status) == 0;
		if (there && S_ISDIR(status.st_mode) && !pending.empty()) {
			current = next;
			continue;
		}
		places.emplace_back(current, name);
		if (!there || !S_ISLNK(status.st_mode) || ++links > 40)
			break;
		char target[PATH_MAX];
		ssize_t length = readlink(next.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			break;
		target[length] = '\0';
		PathNames::Push(target, &pending);
		if (target[0] == '/')
			current = "/";
	}
	return places;
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
		_ArmWay();
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
		// A place on the way in the same directory shared the watch.
		for (Place& place : fWay) {
			if (place.watch == fWatch)
				place.watch = -1;
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
PathWatcher::_ArmWay()
{
	std::vector<std::pair<std::string, std::string>> places = way_of(fPath);
	bool same = places.size() == fWay.size();
	for (size_t i = 0; same && i < places.size(); i++) {
		same = fWay[i].watch >= 0 && fWay[i].directory == places[i].first
			&& fWay[i].name == places[i].second;
	}
	if (same)
		return;
	// The same directory gives the same watch, with the same mask: the new
	// ones are made before the old ones go.
	std::vector<Place> way;
	for (const auto& [directory, name] : places) {
		Place place;
		place.directory = directory;
		place.name = name;
		place.watch = inotify_add_watch(fFD, directory.c_str(), kMask);
		way.push_back(place);
	}
	for (const Place& old : fWay) {
		bool kept = old.watch < 0 || old.watch == fWatch;
		for (const Place& place : way)
			kept = kept || place.watch == old.watch;
		if (!kept)
			inotify_rm_watch(fFD, old.watch);
	}
	fWay = std::move(way);
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
			for (Place& place : fWay) {
				if (place.watch < 0 || event->wd != place.watch)
					continue;
				// A link on the way or the file it ends at changed, or
				// their directory's permissions did.
				if (event->len == 0 ? (event->mask & IN_ATTRIB) != 0
						: place.name == event->name && _Concerns(event->mask,
							PathNames::Joined(place.directory, place.name)))
					concerns = true;
				if (place.watch != fWatch && (event->mask & (IN_DELETE_SELF
						| IN_MOVE_SELF | IN_IGNORED)) != 0) {
					// Its directory went: watched again once it is back.
					place.watch = -1;
					concerns = true;
				}
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
	// A link may lead elsewhere now.
	if (concerns)
		_ArmWay();
	return concerns;
}
