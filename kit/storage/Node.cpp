#include <Node.h>

#include <Entry.h>
#include <Path.h>

#include "AttributeStore.h"
#include "StorageErrors.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

using BPrivate::AttributeStore;

namespace {

const char* const kUserNamespace = "user.";
const size_t kTypeSize = 4;


bool
refuses_user_attributes(int error)
{
	return error == ENOTSUP || error == EOPNOTSUPP;
}


std::string
encode_value(type_code type, const std::string& bytes)
{
	std::string value;
	value += (char)(type >> 24);
	value += (char)(type >> 16);
	value += (char)(type >> 8);
	value += (char)type;
	return value + bytes;
}


// Holds an exclusive flock() on the node while a store is rewritten, so that
// two writers of one node do not lose each other's change.
class NodeLock {
public:
	NodeLock(int fd)
		:
		fFd(fd),
		fLocked(false)
	{
		while (flock(fFd, LOCK_EX) != 0) {
			if (errno != EINTR)
				return;
		}
		fLocked = true;
	}

	~NodeLock()
	{
		if (fLocked)
			flock(fFd, LOCK_UN);
	}

	bool IsLocked() const { return fLocked; }

private:
	int fFd;
	bool fLocked;
};


// Reads the whole stored value (type code and bytes) of an extended
// attribute. B_OK, B_ENTRY_NOT_FOUND, B_NOT_SUPPORTED when the file system
// refuses user attributes, or another negative code.
status_t
read_xattr(int fd, const std::string& name, std::string* value)
{
	// The value may change between asking for its size and reading it.
	for (int attempt = 0; attempt < 8; attempt++) {
		ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
		if (size >= 0) {
			value->resize((size_t)size);
			ssize_t read = fgetxattr(fd, name.c_str(), value->data(),
				value->size());
			if (read >= 0) {
				value->resize((size_t)read);
				return B_OK;
			}
		}
		if (errno == ERANGE)
			continue;
		if (errno == ENODATA)
			return B_ENTRY_NOT_FOUND;
		if (refuses_user_attributes(errno))
			return B_NOT_SUPPORTED;
		return BPrivate::errno_status(errno);
	}
	return BPrivate::errno_status(ERANGE);
}


status_t
write_xattr(int fd, const std::string& name, const std::string& value)
{
	if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0)
		return B_OK;
	if (refuses_user_attributes(errno))
		return B_NOT_SUPPORTED;
	return BPrivate::errno_status(errno);
}


status_t
remove_xattr(int fd, const std::string& name)
{
	if (fremovexattr(fd, name.c_str()) == 0)
		return B_OK;
	if (errno == ENODATA)
		return B_ENTRY_NOT_FOUND;
	if (refuses_user_attributes(errno))
		return B_NOT_SUPPORTED;
	return BPrivate::errno_status(errno);
}


status_t
check_name(const char* name)
{
	if (name == nullptr || name[0] == '\0')
		return B_BAD_VALUE;
	if (strlen(name) >= B_ATTR_NAME_LENGTH)
		return B_NAME_TOO_LONG;
	return B_OK;
}

}	// namespace


BNode::BNode()
	:
	fFd(-1),
	fStatus(B_NO_INIT)
{
}


BNode::BNode(const char* path)
	:
	fFd(-1),
	fStatus(B_NO_INIT)
{
	SetTo(path);
}


BNode::BNode(const entry_ref* ref)
	:
	fFd(-1),
	fStatus(B_NO_INIT)
{
	SetTo(ref);
}


BNode::BNode(const BEntry* entry)
	:
	fFd(-1),
	fStatus(B_NO_INIT)
{
	SetTo(entry);
}


BNode::~BNode()
{
	Unset();
}


status_t
BNode::InitCheck() const
{
	return fStatus;
}


status_t
BNode::SetTo(const char* path)
{
	Unset();
	BPath absolute;
	status_t status = absolute.SetTo(path);
	if (status != B_OK)
		return fStatus = status;
	return _Open(-1, absolute.Path(), absolute.Path(), O_RDONLY);
}


status_t
BNode::SetTo(const entry_ref* ref)
{
	Unset();
	BPath path;
	status_t status = path.SetTo(ref);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path());
}


status_t
BNode::SetTo(const BEntry* entry)
{
	Unset();
	if (entry == nullptr)
		return fStatus = B_BAD_VALUE;
	BPath path;
	status_t status = entry->GetPath(&path);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(path.Path());
}


void
BNode::Unset()
{
	if (fFd >= 0)
		close(fFd);
	fFd = -1;
	fStatus = B_NO_INIT;
	fPath.clear();
}


status_t
BNode::_Open(int dirFd, const char* path, const std::string& displayPath,
	int flags)
{
	int fd = openat(dirFd >= 0 ? dirFd : AT_FDCWD, path, flags | O_CLOEXEC,
		0666);
	if (fd < 0)
		return fStatus = BPrivate::errno_status(errno);
	fFd = fd;
	fPath = displayPath;
	return fStatus = B_OK;
}


ssize_t
BNode::ReadAttr(const char* name, type_code type, off_t pos, void* buffer,
	size_t length)
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = check_name(name);
	if (status != B_OK)
		return status;
	if (pos < 0 || (buffer == nullptr && length > 0))
		return B_BAD_VALUE;

	std::string value;
	status = B_NOT_SUPPORTED;
	if (!BPrivate::AttributeFallbackForced())
		status = read_xattr(fFd, kUserNamespace + std::string(name), &value);
	if (status == B_NOT_SUPPORTED) {
		AttributeStore store(fPath);
		status = store.Load();
		if (status == B_OK)
			status = store.Get(name, &value);
	}
	if (status != B_OK)
		return status;

	// A value too short to hold its type code was not written by us.
	if (value.size() < kTypeSize)
		return B_BAD_DATA;
	size_t size = value.size() - kTypeSize;
	if ((uint64)pos >= size)
		return 0;
	size_t count = std::min(length, size - (size_t)pos);
	memcpy(buffer, value.data() + kTypeSize + pos, count);
	return (ssize_t)count;
}


ssize_t
BNode::WriteAttr(const char* name, type_code type, off_t pos,
	const void* buffer, size_t length)
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = check_name(name);
	if (status != B_OK)
		return status;
	if (pos < 0 || (buffer == nullptr && length > 0))
		return B_BAD_VALUE;
	if ((uint64)pos + length > AttributeStore::kMaxValueSize - kTypeSize)
		return BPrivate::errno_status(E2BIG);

	std::string xattrName = kUserNamespace + std::string(name);
	const char* bytes = (const char*)buffer;
	bool useStore = BPrivate::AttributeFallbackForced();

	if (!useStore) {
		std::string old;
		if (pos > 0) {
			status = read_xattr(fFd, xattrName, &old);
			if (status != B_OK && status != B_ENTRY_NOT_FOUND
				&& status != B_NOT_SUPPORTED) {
				return status;
			}
		}
		if (status != B_NOT_SUPPORTED) {
			std::string data = old.size() > kTypeSize
				? old.substr(kTypeSize) : std::string();
			data.resize((size_t)pos, '\0');
			data.append(bytes, length);
			status = write_xattr(fFd, xattrName, encode_value(type, data));
			if (status != B_NOT_SUPPORTED)
				return status == B_OK ? (ssize_t)length : status;
		}
		useStore = true;
	}

	NodeLock lock(fFd);
	if (!lock.IsLocked())
		return BPrivate::errno_status(errno);
	AttributeStore store(fPath);
	status = store.Load();
	if (status != B_OK)
		return status;
	std::string data;
	if (pos > 0) {
		std::string old;
		if (store.Get(name, &old) == B_OK && old.size() > kTypeSize)
			data = old.substr(kTypeSize);
	}
	data.resize((size_t)pos, '\0');
	data.append(bytes, length);
	store.Set(name, encode_value(type, data));
	status = store.Commit();
	return status == B_OK ? (ssize_t)length : status;
}


status_t
BNode::RemoveAttr(const char* name)
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = check_name(name);
	if (status != B_OK)
		return status;

	if (!BPrivate::AttributeFallbackForced()) {
		status = remove_xattr(fFd, kUserNamespace + std::string(name));
		if (status != B_NOT_SUPPORTED)
			return status;
	}

	NodeLock lock(fFd);
	if (!lock.IsLocked())
		return BPrivate::errno_status(errno);
	AttributeStore store(fPath);
	status = store.Load();
	if (status != B_OK)
		return status;
	if (!store.Remove(name))
		return B_ENTRY_NOT_FOUND;
	return store.Commit();
}
