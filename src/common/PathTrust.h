#ifndef PATH_TRUST_H
#define PATH_TRUST_H

#include <SupportDefs.h>

#include <string>
#include <sys/types.h>

// Whether anyone but the user (or root) could change what a path leads to:
// the files that decide about the door (the tag list, the record of open
// relays) are worth only as much as the way to them. Every directory on the
// way is looked at, through every symbolic link, a link in the middle of a
// chain as well as the first: a directory that others may write (unless it
// is sticky, where only the owner of an entry may replace it) or that
// belongs to another user could swap what lies below it, and so could
// another user's link. What the path ends at is judged by whoever opens it,
// on what was opened.
class PathTrust {
public:
	enum Doubt {
		kTrusted = 0,
		// A directory on the way, or a link, belongs to another user.
		kOtherOwner,
		// A directory on the way may be written by its group or others,
		// and is not sticky.
		kWritableByOthers,
		// More links than the kernel follows.
		kTooManyLinks,
		// It is not there, or not a directory, or where a relative path
		// starts cannot be told; errorCode says why.
		kUnusable,
	};

	struct Finding {
		Doubt		doubt = kTrusted;
		// The directory or link the doubt is about.
		std::string	path;
		// Whether that is a link rather than a directory.
		bool		isLink = false;
		mode_t		mode = 0;
		uid_t		owner = 0;
		int			errorCode = 0;

		bool		Trusted() const { return doubt == kTrusted; }
	};

	// The first doubt about the way to the path. A name on the way that is
	// not there ends the walk trusted: nothing below it can be read either.
	static	Finding			CheckPath(const std::string& path);
	// The same for a directory that must be there and be one.
	static	Finding			CheckDirectory(const std::string& directory);

	static	bool			TrustedOwner(uid_t owner);
	// The permission bits as chmod takes them: "0755".
	static	std::string		Octal(mode_t mode);
	static	std::string		DirectoryOf(const std::string& path);
};

#endif
