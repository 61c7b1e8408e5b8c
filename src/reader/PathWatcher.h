#ifndef PATH_WATCHER_H
#define PATH_WATCHER_H

#include <cstdint>
#include <string>
#include <vector>

// Tells, without polling, when something may have changed at a path: a
// device node that comes back, a file that an editor replaces. It watches
// the directory that holds the path with inotify, or while that is missing
// (udev removes /dev/serial/by-id with the last device) the nearest
// ancestor that exists, moving down as the directories appear. Every
// symbolic link on the way is watched in its own directory too, a link of
// a directory above the path and one in the middle of a chain as well as
// the path itself, and so is the directory of what the way ends at (a file
// edited there, a device node whose permissions change: udev gives a
// replugged device its permissions after the by-id link is made, and
// nothing in the link's own directory changes then); a link changed to lead
// elsewhere moves those watches.
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
	// A name on the way to the path that is watched in its directory: a
	// link, or where the way ends.
	struct Place {
		// Without links.
		std::string		directory;
		std::string		name;
		int				watch = -1;
	};

			void			_Arm();
			void			_ArmWay();
			bool			_Concerns(uint32_t mask,
								const std::string& path) const;

			std::string		fPath;
			Interest		fInterest;
			std::string		fWatched;
			// The name below fWatched on the way to the path.
			std::string		fNext;
			int				fFD = -1;
			int				fWatch = -1;
			// Every link on the way and where the way ends, with the watches
			// on their directories (which may be fWatch itself).
			std::vector<Place> fWay;
};

#endif
