#ifndef _PORT_ADDRESS_H
#define _PORT_ADDRESS_H

#include <SupportDefs.h>

#include <string>

namespace BPrivate {

// Where the message port of an application with a given signature lives:
// $XDG_RUNTIME_DIR/rdx-kit/<signature with '/' as '_'>, or
// /tmp/rdx-kit-<uid>/<...> where no runtime directory is set.
class PortAddress {
public:
	// The directory that holds every port of this user.
	static	std::string		Directory();

	// The socket path for the signature, or B_BAD_VALUE for a signature
	// that cannot name a file (empty, "." or "..") and B_NAME_TOO_LONG for
	// a path that does not fit into a socket address.
	static	status_t		PathFor(const char* signature, std::string* path);

	// Makes sure the directory exists (created mode 0700) and that only
	// this user can reach into it: it must be a real directory, not a link,
	// owned by the effective user id, and closed to group and others.
	// On failure *problem says why in a few words, and *remedy, where
	// given, what the user does about it.
	static	status_t		PrepareDirectory(const std::string& directory,
								std::string* problem,
								std::string* remedy = nullptr);
};

}	// namespace BPrivate

#endif
