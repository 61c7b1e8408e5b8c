#include <Directory.h>

#include "StorageErrors.h"

#include <Entry.h>
#include <File.h>
#include <Path.h>

#include <fcntl.h>
#include <sys/stat.h>

BDirectory::BDirectory()
{
}


BDirectory::BDirectory(const char* path)
{
	SetTo(path);
}


BDirectory::BDirectory(const entry_ref* ref)
{
	SetTo(ref);
}


BDirectory::~BDirectory()
{
}


status_t
BDirectory::SetTo(const char* path)
{
	Unset();
	BPath absolute;
	status_t status = absolute.SetTo(path);
	if (status != B_OK)
		return fStatus = status;
	return _Open(-1, absolute.Path(), absolute.Path(), O_RDONLY | O_DIRECTORY);
}


status_t
BDirectory::SetTo(const entry_ref* ref)
{
	Unset();
	BPath path;
	status_t status = path.SetTo(ref);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path());
}


void
BDirectory::Unset()
{
	BNode::Unset();
}


status_t
BDirectory::FindEntry(const char* path, BEntry* entry, bool traverse) const
{
	if (path == nullptr || entry == nullptr)
		return B_BAD_VALUE;
	entry->Unset();
	if (fStatus != B_OK)
		return fStatus;

	struct stat entryStat;
	if (fstatat(fFd, path, &entryStat, traverse ? 0 : AT_SYMLINK_NOFOLLOW)
			!= 0) {
		return errno == ENOENT ? B_ENTRY_NOT_FOUND : BPrivate::errno_status(errno);
	}
	return entry->SetTo(this, path, traverse);
}


bool
BDirectory::Contains(const char* path) const
{
	struct stat entryStat;
	return fStatus == B_OK && path != nullptr
		&& fstatat(fFd, path, &entryStat, AT_SYMLINK_NOFOLLOW) == 0;
}


status_t
BDirectory::CreateFile(const char* path, BFile* file, bool failIfExists)
{
	BFile local;
	if (file == nullptr)
		file = &local;
	if (fStatus != B_OK) {
		file->Unset();
		return fStatus;
	}
	return file->SetTo(this, path, B_READ_WRITE | B_CREATE_FILE
		| (failIfExists ? B_FAIL_IF_EXISTS : B_ERASE_FILE));
}


status_t
BDirectory::CreateDirectory(const char* path, BDirectory* directory)
{
	if (path == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (mkdirat(fFd, path, 0777) != 0)
		return errno == EEXIST ? B_FILE_EXISTS : BPrivate::errno_status(errno);
	if (directory == nullptr)
		return B_OK;
	BPath absolute(fPath.c_str(), path);
	return directory->SetTo(absolute.Path());
}
