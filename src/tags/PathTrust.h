#ifndef PATH_TRUST_H
#define PATH_TRUST_H

#include <string>

// Whether anyone but the user (or root) could change what a path leads
// to. Every directory on the way is looked at, through every symbolic
// link, a link in the middle of a chain as well as the first: a directory
// that others may write (without the sticky bit) or that belongs to
// another user could swap what lies below it, and so could another user's
// link. What the path ends at is judged by whoever opens it, on what was
// opened.
class PathTrust {
public:
	// One line that says which directory or link and how to mend it;
	// empty when nobody else can change the way.
	static	std::string		Doubt(const std::string& path);
};

#endif
