#ifndef _FIND_DIRECTORY_H
#define _FIND_DIRECTORY_H

#include <SupportDefs.h>

class BPath;
class BVolume;

typedef enum {
	// The user's home directory.
	B_USER_DIRECTORY = 3000,
	// Where programs keep the user's settings: $XDG_CONFIG_HOME, or
	// $HOME/.config when that is not set.
	B_USER_SETTINGS_DIRECTORY = 3006,
} directory_which;

// Sets the path to the directory asked for. With createIt the directory (and
// any missing parent) is made, mode 0700, when it does not exist yet; when
// that fails, the error is returned and the path still names the directory.
// The volume is accepted for the platform's signature and ignored: there is one
// tree.
status_t find_directory(directory_which which, BPath* path,
	bool createIt = false, BVolume* volume = nullptr);

#endif
