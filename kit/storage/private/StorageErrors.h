#ifndef _STORAGE_ERRORS_H
#define _STORAGE_ERRORS_H

#include <SupportDefs.h>

namespace BPrivate {

// The status of a failed C library call. EPERM negated is -1, which is
// B_ERROR's value and would print as a general error; it gets the platform's
// own code for a refused operation instead.
inline status_t
errno_status(int error)
{
	if (error == EPERM)
		return B_NOT_ALLOWED;
	return B_FROM_POSIX_ERROR(error);
}

}	// namespace BPrivate

#endif
