#ifndef PATH_NAMES_H
#define PATH_NAMES_H

#include <string>
#include <vector>

// Walking a path name by name, through its links, as the trust check and
// the watcher of a path both do.
class PathNames {
public:
	// The directory and the name as one path ("/" stays one slash).
	static	std::string		Joined(const std::string& directory,
								const std::string& name);

	// Puts the names of the path on the back of pending, the first last,
	// so that the next is popped from the back and a link's names can be
	// put in its place.
	static	void			Push(const std::string& path,
								std::vector<std::string>* pending);
};

#endif
