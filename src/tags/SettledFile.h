#ifndef SETTLED_FILE_H
#define SETTLED_FILE_H

#include <SupportDefs.h>

#include <string>

// Reads a file only when nobody is writing it: a list caught half-written
// (an editor that truncates and writes in place, or writes a new file at
// the list's path) must never be taken for the list.
//
// The kernel knows who has a file open for writing: a read lease
// (fcntl F_SETLEASE) is refused while anybody has, and is broken by
// anybody who opens it for writing while the lease is held, so a read made
// under a lease that was still whole afterwards saw a file that nobody
// wrote meanwhile. Where there are no leases (a file system without them,
// a file of root's read by a user, leases switched off, a program that
// handles the signal a lease break sends), /proc tells which processes
// have it open for writing, and the file must look the same before and
// after the read.
class SettledFile {
public:
	// B_OK with the whole file in *data; B_WOULD_BLOCK when it is open for
	// writing, or was written while it was read; B_IO_ERROR when it cannot
	// be read, with *problem saying why. fd is open for reading only.
	static	status_t		Read(int fd, std::string* data,
								std::string* problem);
};

#endif
