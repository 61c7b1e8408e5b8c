#ifndef _MIME_H
#define _MIME_H

#include <StorageDefs.h>

// What an application is asked to do with a file of a type.
enum app_verb {
	B_OPEN = 0,
};

// The longest type string or application signature, terminating NUL
// included.
#define B_MIME_TYPE_LENGTH	(B_ATTR_NAME_LENGTH - 15)

#include <MimeType.h>

#endif
