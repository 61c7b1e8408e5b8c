#ifndef PATH_TRUST_H
#define PATH_TRUST_H

#include <SupportDefs.h>

#include <string>
#include <sys/types.h>

// Whether someone other than the user could change what a directory holds:
// the files that decide about the door (the tag list, the record of open
// relays) are worth only as much as the directory they are in. A directory
// is trusted when it belongs to the user (or to root) and neither its group
// nor others may write it, unless it is sticky, where only the owner of a
// file may replace it. Links are followed to the directory they lead to, and
// the directory that holds each link on the way is judged the same way: who
// may change a link may point it anywhere.
class PathTrust {
public:
	enum Doubt {
		kTrusted = 0,
		// The directory (or one holding a link on the way) belongs to
		// another user.
		kOtherOwner,
		// Its group or others may write it, and it is not sticky.
		kWritableByOthers,
		// It is not there, or not a directory; errorCode says why.
		kUnusable,
	};

	struct Finding {
		Doubt		doubt = kTrusted;
		// The directory the doubt is about.
		std::string	path;
		mode_t		mode = 0;
		uid_t		owner = 0;
		int			errorCode = 0;

		bool		Trusted() const { return doubt == kTrusted; }
	};

	// The first doubt about the directory, following its links.
	static	Finding			CheckDirectory(const std::string& directory);

	static	bool			TrustedOwner(uid_t owner);
	// The permission bits as chmod takes them: "0755".
	static	std::string		Octal(mode_t mode);
	static	std::string		DirectoryOf(const std::string& path);
};

#endif
