#ifndef PATH_WATCHER_H
#define PATH_WATCHER_H

#include <cstdint>
#include <string>

// Tells, without polling, when something may have changed at a path: a
// device node that comes back, a file that an editor replaces. It watches
// the directory that holds the path with inotify, or while that is missing
// (udev removes /dev/serial/by-id with the last device) the nearest
// ancestor that exists, moving down as the directories appear. When the
// path is a symbolic link, the directory of what it leads to is watched as
// well (a file edited there, a device node whose permissions change: udev
// gives a replugged device its permissions after the by-id link is made, and
// nothing in the link's own directory changes then), and a link changed to
// lead elsewhere moves that watch.
//
// A file that programs write (the tag list) is worth reading only once its
// writer has finished with it: kFinishedWrites tells of it when it was
// closed after writing, renamed into place, removed or given other
// permissions, and of a link made in its place, never when it is created
// or while it is written.
class PathWatcher {
public:
	enum Interest {
		kAnyChange,
		kFinishedWrites,
	};

							PathWatcher(const std::string& path,
								Interest interest = kAnyChange);
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
			void			_ArmTarget();
			bool			_Concerns(uint32_t mask,
								const std::string& path) const;

			std::string		fPath;
			Interest		fInterest;
			std::string		fWatched;
			// The name below fWatched on the way to the path.
			std::string		fNext;
			int				fFD = -1;
			int				fWatch = -1;
			// Where the link leads, and the watch on its directory (-1
			// while the path is no link); may be fWatch itself.
			std::string		fTarget;
			int				fTargetWatch = -1;
};

#endif
