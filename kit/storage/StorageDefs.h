#ifndef _STORAGE_DEFS_H
#define _STORAGE_DEFS_H

#include <SupportDefs.h>

// Name and path limits, terminating NUL included.
#define B_FILE_NAME_LENGTH		256
#define B_PATH_NAME_LENGTH		1024
#define B_ATTR_NAME_LENGTH		256

// Open modes of BFile, with the platform's values. They are translated to
// the C library's flags when a file is opened, never passed on as they are.
enum {
	B_READ_ONLY			= 0x0000,
	B_WRITE_ONLY		= 0x0001,
	B_READ_WRITE		= 0x0002,
	B_FAIL_IF_EXISTS	= 0x0100,
	B_CREATE_FILE		= 0x0200,
	B_ERASE_FILE		= 0x0400,
	B_OPEN_AT_END		= 0x0800,
};

#define B_ACCESS_MODE_MASK	0x0003

#endif
