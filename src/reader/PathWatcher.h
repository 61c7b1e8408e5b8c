#ifndef PATH_WATCHER_H
#define PATH_WATCHER_H

#include <string>

// Tells, without polling, when something may have changed at a path: a
// device node that comes back, a file that an editor replaces. It watches
// the directory that holds the path with inotify, or while that is missing
// (udev removes /dev/serial/by-id with the last device) the nearest
// ancestor that exists, moving down as the directories appear. Where the
// path is a link (a /dev/input/by-id name), the node behind it is watched
// as well: udev gives a replugged device its permissions after the link is
// made, and nothing in the link's own directory changes then.
class PathWatcher {
public:
							PathWatcher(const std::string& path);
							~PathWatcher();

							PathWatcher(const PathWatcher&) = delete;
			PathWatcher&	operator=(const PathWatcher&) = delete;

	// false when inotify could not be set up at all.
			bool			IsValid() const { return fFD >= 0; }
	// The descriptor to wait on.
			int				FD() const { return fFD; }
	// Takes the pending events; true when one of them may concern the
	// path (it was created, replaced, written, removed, or its
	// permissions changed).
			bool			Read();

private:
			void			_Arm();
			void			_WatchNode();

			std::string		fPath;
			std::string		fWatched;
			// The name below fWatched on the way to the path.
			std::string		fNext;
			int				fFD = -1;
			int				fWatch = -1;
			// The node the path leads to, while it exists.
			int				fNodeWatch = -1;
};

#endif
