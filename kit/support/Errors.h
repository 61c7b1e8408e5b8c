#ifndef _ERRORS_H
#define _ERRORS_H

#include <climits>
#include <cerrno>
#include <cstring>
#include <sys/types.h>

// Status codes. The platform's own codes keep the values the system was
// written against (B_ENTRY_NOT_FOUND is 0x80006003); an error that comes from
// the C library is the negated errno, so that every failure is negative and
// keeps its text for strerror().
enum {
	B_OK = 0,
	B_ERROR = -1,
	B_GENERAL_ERROR_BASE = INT_MIN,
	B_NO_MEMORY = B_GENERAL_ERROR_BASE + 0,
	B_IO_ERROR = B_GENERAL_ERROR_BASE + 1,
	B_PERMISSION_DENIED = B_GENERAL_ERROR_BASE + 2,
	B_BAD_INDEX = B_GENERAL_ERROR_BASE + 3,
	B_BAD_TYPE = B_GENERAL_ERROR_BASE + 4,
	B_BAD_VALUE = B_GENERAL_ERROR_BASE + 5,
	B_MISMATCHED_VALUES = B_GENERAL_ERROR_BASE + 6,
	B_NAME_NOT_FOUND = B_GENERAL_ERROR_BASE + 7,
	B_NAME_IN_USE = B_GENERAL_ERROR_BASE + 8,
	B_TIMED_OUT = B_GENERAL_ERROR_BASE + 9,
	B_INTERRUPTED = B_GENERAL_ERROR_BASE + 10,
	B_WOULD_BLOCK = B_GENERAL_ERROR_BASE + 11,
	B_BAD_THREAD_ID = B_GENERAL_ERROR_BASE + 0x1000 + 1,
	B_BAD_PORT_ID = B_GENERAL_ERROR_BASE + 0x2000 + 1,
	B_BAD_HANDLER = B_GENERAL_ERROR_BASE + 0x2000 + 0x100,
	B_BAD_REPLY = B_GENERAL_ERROR_BASE + 0x2000 + 2,
	B_DUPLICATE_REPLY = B_GENERAL_ERROR_BASE + 0x2000 + 3,
	B_MESSAGE_TO_SELF = B_GENERAL_ERROR_BASE + 0x2000 + 4,
	B_BAD_DATA = B_GENERAL_ERROR_BASE + 0x2000 + 6,
	B_NOT_ALLOWED = B_GENERAL_ERROR_BASE + 0xc,
	B_NO_INIT = B_GENERAL_ERROR_BASE + 0xd,
	B_NOT_SUPPORTED = B_GENERAL_ERROR_BASE + 0x6009,
	B_FILE_ERROR = B_GENERAL_ERROR_BASE + 0x6000,
	B_FILE_NOT_FOUND = B_GENERAL_ERROR_BASE + 0x6001,
	B_FILE_EXISTS = B_GENERAL_ERROR_BASE + 0x6002,
	B_ENTRY_NOT_FOUND = B_GENERAL_ERROR_BASE + 0x6003,
	B_NAME_TOO_LONG = B_GENERAL_ERROR_BASE + 0x6004,
	B_NOT_A_DIRECTORY = B_GENERAL_ERROR_BASE + 0x6005,
	B_DEVICE_FULL = B_GENERAL_ERROR_BASE + 0x600a,
};

// A status code made from a C library errno value, and back.
inline int B_FROM_POSIX_ERROR(int error) { return error > 0 ? -error : error; }
inline int B_TO_POSIX_ERROR(int status) { return status < 0 ? -status : status; }

// The text of a status code. The C library's strerror() knows only errno
// values; this overload, chosen for the signed 64-bit counts that attribute
// and file operations return, knows both kinds.
const char* strerror(ssize_t status);
const char* status_text(long status);

#endif
