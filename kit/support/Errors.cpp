#include <Errors.h>

#include <cstdio>

namespace {

struct KnownStatus {
	long status;
	const char* text;
};

const KnownStatus kKnownStatus[] = {
	{B_ERROR, "General system error"},
	{B_NO_MEMORY, "Out of memory"},
	{B_IO_ERROR, "I/O error"},
	{B_PERMISSION_DENIED, "Permission denied"},
	{B_BAD_INDEX, "Index not in range for the data set"},
	{B_BAD_TYPE, "Bad argument type passed to function"},
	{B_BAD_VALUE, "Invalid Argument"},
	{B_MISMATCHED_VALUES, "Mismatched values passed to function"},
	{B_NAME_NOT_FOUND, "Name not found"},
	{B_NAME_IN_USE, "Name in use"},
	{B_TIMED_OUT, "Operation timed out"},
	{B_INTERRUPTED, "Interrupted system call"},
	{B_WOULD_BLOCK, "Operation would block"},
	{B_BAD_THREAD_ID, "Invalid thread_id"},
	{B_BAD_PORT_ID, "Invalid port_id"},
	{B_BAD_HANDLER, "Invalid handler"},
	{B_BAD_REPLY, "Bad reply"},
	{B_DUPLICATE_REPLY, "Duplicate reply"},
	{B_MESSAGE_TO_SELF, "Sending message to self"},
	{B_BAD_DATA, "Bad data"},
	{B_NOT_ALLOWED, "Operation not allowed"},
	{B_NO_INIT, "Initialization failed"},
	{B_NOT_SUPPORTED, "Operation not supported"},
	{B_FILE_ERROR, "File error"},
	{B_FILE_NOT_FOUND, "File not found"},
	{B_FILE_EXISTS, "File exists"},
	{B_ENTRY_NOT_FOUND, "No such file or directory"},
	{B_NAME_TOO_LONG, "File or Directory name too long"},
	{B_NOT_A_DIRECTORY, "Not a directory"},
	{B_DEVICE_FULL, "No space left on device"},
};

}	// namespace

const char*
status_text(long status)
{
	if (status == B_OK)
		return "No error";
	for (const KnownStatus& known : kKnownStatus) {
		if (known.status == status)
			return known.text;
	}
	// A negated errno value from the C library.
	if (status < 0 && status > -4096)
		return ::strerror((int)-status);
	static thread_local char unknown[48];
	snprintf(unknown, sizeof(unknown), "Unknown error %ld", status);
	return unknown;
}

const char*
strerror(ssize_t status)
{
	return status_text((long)status);
}
