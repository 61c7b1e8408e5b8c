#include <File.h>

#include "StorageErrors.h"

#include <Directory.h>
#include <Entry.h>
#include <Path.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uint32 kKnownModes = B_ACCESS_MODE_MASK | B_FAIL_IF_EXISTS
	| B_CREATE_FILE | B_ERASE_FILE | B_OPEN_AT_END;


// The C library's flags for an open mode, or -1 for a mode that means
// nothing.
int
open_flags(uint32 openMode)
{
	if ((openMode & ~kKnownModes) != 0)
		return -1;

	int flags;
	switch (openMode & B_ACCESS_MODE_MASK) {
		case B_READ_ONLY:
			flags = O_RDONLY;
			break;
		case B_WRITE_ONLY:
			flags = O_WRONLY;
			break;
		case B_READ_WRITE:
			flags = O_RDWR;
			break;
		default:
			return -1;
	}
	if ((openMode & B_CREATE_FILE) != 0)
		flags |= O_CREAT;
	// Failing when the file exists only makes sense for a creation.
	if ((openMode & B_FAIL_IF_EXISTS) != 0)
		flags |= O_CREAT | O_EXCL;
	if ((openMode & B_ERASE_FILE) != 0)
		flags |= O_TRUNC;
	if ((openMode & B_OPEN_AT_END) != 0)
		flags |= O_APPEND;
	return flags | O_NOCTTY;
}

}	// namespace


BFile::BFile()
	:
	fMode(0)
{
}


BFile::BFile(const char* path, uint32 openMode)
	:
	fMode(0)
{
	SetTo(path, openMode);
}


BFile::BFile(const entry_ref* ref, uint32 openMode)
	:
	fMode(0)
{
	SetTo(ref, openMode);
}


BFile::BFile(const BEntry* entry, uint32 openMode)
	:
	fMode(0)
{
	SetTo(entry, openMode);
}


BFile::BFile(const BDirectory* directory, const char* path, uint32 openMode)
	:
	fMode(0)
{
	SetTo(directory, path, openMode);
}


BFile::~BFile()
{
}


status_t
BFile::SetTo(const char* path, uint32 openMode)
{
	return SetTo(nullptr, path, openMode);
}


status_t
BFile::SetTo(const entry_ref* ref, uint32 openMode)
{
	Unset();
	BPath path;
	status_t status = path.SetTo(ref);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path(), openMode);
}


status_t
BFile::SetTo(const BEntry* entry, uint32 openMode)
{
	Unset();
	if (entry == nullptr)
		return fStatus = B_BAD_VALUE;
	BPath path;
	status_t status = entry->GetPath(&path);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path(), openMode);
}


status_t
BFile::SetTo(const BDirectory* directory, const char* path, uint32 openMode)
{
	Unset();
	int flags = open_flags(openMode);
	if (path == nullptr || path[0] == '\0' || flags < 0)
		return fStatus = B_BAD_VALUE;

	int dirFd = -1;
	BPath absolute;
	if (directory != nullptr && path[0] != '/') {
		if (directory->InitCheck() != B_OK)
			return fStatus = directory->InitCheck();
		dirFd = directory->Fd();
		absolute.SetTo(directory->PathName().c_str(), path);
	} else
		absolute.SetTo(path);
	if (absolute.InitCheck() != B_OK)
		return fStatus = absolute.InitCheck();

	if (_Open(dirFd, path, absolute.Path(), flags) != B_OK)
		return fStatus;

	// Linux opens a directory for reading; a file object must not.
	struct stat fileStat;
	int error = 0;
	if (fstat(fFd, &fileStat) != 0)
		error = errno;
	else if (S_ISDIR(fileStat.st_mode))
		error = EISDIR;
	if (error != 0) {
		Unset();
		return fStatus = BPrivate::errno_status(error);
	}
	fMode = openMode;
	return B_OK;
}


void
BFile::Unset()
{
	BNode::Unset();
	fMode = 0;
}


bool
BFile::IsReadable() const
{
	uint32 access = fMode & B_ACCESS_MODE_MASK;
	return fStatus == B_OK && (access == B_READ_ONLY || access == B_READ_WRITE);
}


bool
BFile::IsWritable() const
{
	uint32 access = fMode & B_ACCESS_MODE_MASK;
	return fStatus == B_OK
		&& (access == B_WRITE_ONLY || access == B_READ_WRITE);
}


ssize_t
BFile::Read(void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	for (;;) {
		ssize_t count = read(fFd, buffer, size);
		if (count >= 0)
			return count;
		if (errno != EINTR)
			return BPrivate::errno_status(errno);
	}
}


ssize_t
BFile::Write(const void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	size_t done = 0;
	while (done < size) {
		ssize_t count = write(fFd, (const char*)buffer + done, size - done);
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0)
			return done > 0 ? (ssize_t)done : BPrivate::errno_status(errno);
		done += (size_t)count;
	}
	return (ssize_t)done;
}


ssize_t
BFile::ReadAt(off_t location, void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	for (;;) {
		ssize_t count = pread(fFd, buffer, size, location);
		if (count >= 0)
			return count;
		if (errno != EINTR)
			return BPrivate::errno_status(errno);
	}
}


ssize_t
BFile::WriteAt(off_t location, const void* buffer, size_t size)
{
	if (fStatus != B_OK)
		return fStatus;
	size_t done = 0;
	while (done < size) {
		ssize_t count = pwrite(fFd, (const char*)buffer + done, size - done,
			location + (off_t)done);
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0)
			return done > 0 ? (ssize_t)done : BPrivate::errno_status(errno);
		done += (size_t)count;
	}
	return (ssize_t)done;
}


status_t
BFile::GetSize(off_t* size) const
{
	if (size == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	struct stat fileStat;
	if (fstat(fFd, &fileStat) != 0)
		return BPrivate::errno_status(errno);
	*size = fileStat.st_size;
	return B_OK;
}
