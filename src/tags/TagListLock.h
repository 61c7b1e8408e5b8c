#ifndef TAG_LIST_LOCK_H
#define TAG_LIST_LOCK_H

#include <OS.h>
#include <SupportDefs.h>

#include <functional>
#include <string>

// The one lock that every writer of the tag list holds for its whole
// read-modify-write (learning's append, the editor's "changed on disk?"
// and its rename, whatever saves through the editor later): without it a
// learned line written between another writer's check and its rename is
// lost. An flock() on a file beside the list's real file, ".NAME.lock",
// 0600, made without following a link and used only when it is the
// user's own.
class TagListLock {
public:
							TagListLock() = default;
							~TagListLock();

							TagListLock(const TagListLock&) = delete;
			TagListLock&	operator=(const TagListLock&) = delete;

	// Takes the lock for the list whose real file (links followed) is
	// realPath, waiting up to patience for a writer that holds it;
	// waiting, if given, is called once when it must wait. B_TIMED_OUT
	// when the other did not let go; B_NOT_ALLOWED when the lock file is
	// not the user's own; B_IO_ERROR when it cannot be made.
			status_t		Acquire(const std::string& realPath,
								std::string* problem,
								const std::function<void()>& waiting = {},
								bigtime_t patience = 5000000);
			void			Release();
			bool			IsHeld() const { return fFD >= 0; }

	// ".tags.lock" beside "tags".
	static	std::string		PathFor(const std::string& realPath);

private:
			int				fFD = -1;
};

#endif
