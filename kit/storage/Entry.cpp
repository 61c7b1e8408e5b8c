#include <Entry.h>

#include "StorageErrors.h"

#include <Directory.h>
#include <Path.h>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// A C library failure on an entry, with the platform's code for a missing
// one.
status_t
entry_error(int error)
{
	if (error == ENOENT)
		return B_ENTRY_NOT_FOUND;
	return BPrivate::errno_status(error);
}

}	// namespace


// #pragma mark - entry_ref


entry_ref::entry_ref()
	:
	device(-1),
	directory(-1),
	name(nullptr)
{
}


entry_ref::entry_ref(dev_t device, ino_t directory, const char* name)
	:
	device(device),
	directory(directory),
	name(nullptr)
{
	set_name(name);
}


entry_ref::entry_ref(const entry_ref& other)
	:
	device(other.device),
	directory(other.directory),
	name(nullptr),
	fDirectoryPath(other.fDirectoryPath)
{
	set_name(other.name);
}


entry_ref::~entry_ref()
{
	free(name);
}


entry_ref&
entry_ref::operator=(const entry_ref& other)
{
	if (this == &other)
		return *this;
	device = other.device;
	directory = other.directory;
	fDirectoryPath = other.fDirectoryPath;
	set_name(other.name);
	return *this;
}


bool
entry_ref::operator==(const entry_ref& other) const
{
	if (device != other.device || directory != other.directory)
		return false;
	if (name == nullptr || other.name == nullptr)
		return name == other.name;
	return strcmp(name, other.name) == 0;
}


status_t
entry_ref::set_name(const char* newName)
{
	free(name);
	name = nullptr;
	if (newName == nullptr)
		return B_OK;
	name = strdup(newName);
	return name != nullptr ? B_OK : B_NO_MEMORY;
}


// #pragma mark - BEntry


BEntry::BEntry()
	:
	fStatus(B_NO_INIT)
{
}


BEntry::BEntry(const char* path, bool traverse)
	:
	fStatus(B_NO_INIT)
{
	SetTo(path, traverse);
}


BEntry::BEntry(const BDirectory* directory, const char* path, bool traverse)
	:
	fStatus(B_NO_INIT)
{
	SetTo(directory, path, traverse);
}


BEntry::BEntry(const entry_ref* ref, bool traverse)
	:
	fStatus(B_NO_INIT)
{
	SetTo(ref, traverse);
}


BEntry::~BEntry()
{
}


status_t
BEntry::InitCheck() const
{
	return fStatus;
}


status_t
BEntry::SetTo(const char* path, bool traverse)
{
	Unset();
	BPath absolute;
	status_t status = absolute.SetTo(path);
	if (status != B_OK)
		return fStatus = status;

	std::string full = absolute.Path();
	if (traverse) {
		struct stat linkStat;
		if (lstat(full.c_str(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
			char* resolved = realpath(full.c_str(), nullptr);
			if (resolved == nullptr)
				return fStatus = entry_error(errno);
			full = resolved;
			free(resolved);
		}
	}

	// An entry may be abstract, but its directory must exist.
	BPath parent;
	if (absolute.SetTo(full.c_str()) != B_OK || absolute.GetParent(&parent) != B_OK) {
		fPath = full;
		return fStatus = B_OK;
	}
	struct stat parentStat;
	if (stat(parent.Path(), &parentStat) != 0)
		return fStatus = entry_error(errno);
	if (!S_ISDIR(parentStat.st_mode))
		return fStatus = BPrivate::errno_status(ENOTDIR);

	fPath = full;
	return fStatus = B_OK;
}


status_t
BEntry::SetTo(const BDirectory* directory, const char* path, bool traverse)
{
	Unset();
	if (directory == nullptr || path == nullptr)
		return fStatus = B_BAD_VALUE;
	if (path[0] == '/')
		return SetTo(path, traverse);
	if (directory->InitCheck() != B_OK)
		return fStatus = directory->InitCheck();
	return SetTo((directory->PathName() + "/" + path).c_str(), traverse);
}


status_t
BEntry::SetTo(const entry_ref* ref, bool traverse)
{
	Unset();
	BPath path;
	status_t status = path.SetTo(ref);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path(), traverse);
}


void
BEntry::Unset()
{
	fPath.clear();
	fStatus = B_NO_INIT;
}


bool
BEntry::Exists() const
{
	struct stat entryStat;
	return fStatus == B_OK && lstat(fPath.c_str(), &entryStat) == 0;
}


bool
BEntry::IsFile() const
{
	struct stat entryStat;
	return fStatus == B_OK && lstat(fPath.c_str(), &entryStat) == 0
		&& S_ISREG(entryStat.st_mode);
}


bool
BEntry::IsDirectory() const
{
	struct stat entryStat;
	return fStatus == B_OK && lstat(fPath.c_str(), &entryStat) == 0
		&& S_ISDIR(entryStat.st_mode);
}


bool
BEntry::IsSymLink() const
{
	struct stat entryStat;
	return fStatus == B_OK && lstat(fPath.c_str(), &entryStat) == 0
		&& S_ISLNK(entryStat.st_mode);
}


status_t
BEntry::GetRef(entry_ref* ref) const
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;

	BPath path(fPath.c_str());
	BPath parent;
	status_t status = path.GetParent(&parent);
	if (status != B_OK)
		return status;
	struct stat parentStat;
	if (stat(parent.Path(), &parentStat) != 0)
		return entry_error(errno);

	ref->device = parentStat.st_dev;
	ref->directory = parentStat.st_ino;
	ref->fDirectoryPath = parent.Path();
	return ref->set_name(path.Leaf());
}


status_t
BEntry::GetPath(BPath* path) const
{
	if (path == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	return path->SetTo(fPath.c_str());
}


status_t
BEntry::GetName(char* buffer) const
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	BPath path(fPath.c_str());
	const char* leaf = path.Leaf();
	if (strlen(leaf) >= B_FILE_NAME_LENGTH)
		return B_NAME_TOO_LONG;
	strcpy(buffer, leaf);
	return B_OK;
}
