#ifndef TAGS_LAUNCHER_H
#define TAGS_LAUNCHER_H

#include <SupportDefs.h>

#include <string>
#include <vector>

// Starts "rdx-tags --add=TAG", which opens the dialog that adds the tag in
// the rdx-tags that runs, or starts one. The tag goes to the program as
// one argument of its own, never through a shell. rdx-tags is taken from
// beside this program (installed, or in the build tree), else from PATH.
// Under a service manager (a user unit) it is started in a scope of its
// own, so that it stays when the reader's unit stops or restarts.
class TagsLauncher {
public:
	// The command line; empty when there is no rdx-tags to start.
	static	std::vector<std::string> Command(const std::string& tag);

	// Starts it and does not wait for it: B_OK once the program runs;
	// else *problem says why not.
	static	status_t		Launch(const std::string& tag,
								std::string* problem);

	// The program on PATH (an absolute path), or empty.
	static	std::string		FindInPath(const std::string& name);
};

#endif
