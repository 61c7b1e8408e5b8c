#include "AttributeStore.h"

#include <StorageDefs.h>

#include "StorageErrors.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace BPrivate {

namespace {

const char kMagic[] = "RDXATTR1";
const size_t kMagicSize = 8;
const size_t kMaxNameSize = B_ATTR_NAME_LENGTH - 1;

std::atomic<bool> sFallbackForced(false);


uint32
crc32(const std::string& data, size_t length)
{
	static uint32 table[256];
	static std::once_flag tableMade;
	std::call_once(tableMade, [] {
		for (uint32 i = 0; i < 256; i++) {
			uint32 c = i;
			for (int bit = 0; bit < 8; bit++)
				c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
			table[i] = c;
		}
	});
	uint32 crc = 0xFFFFFFFFu;
	for (size_t i = 0; i < length; i++)
		crc = table[(crc ^ (uint8)data[i]) & 0xFF] ^ (crc >> 8);
	return crc ^ 0xFFFFFFFFu;
}


void
append_uint32(std::string& data, uint32 value)
{
	for (int shift = 0; shift < 32; shift += 8)
		data += (char)(value >> shift);
}


uint32
read_uint32(const std::string& data, size_t offset)
{
	uint32 value = 0;
	for (int i = 3; i >= 0; i--)
		value = (value << 8) | (uint8)data[offset + i];
	return value;
}


// Writes all of the data, also when the kernel takes it in pieces.
status_t
write_all(int fd, const std::string& data)
{
	size_t done = 0;
	while (done < data.size()) {
		ssize_t written = write(fd, data.data() + done, data.size() - done);
		if (written < 0) {
			if (errno == EINTR)
				continue;
			return BPrivate::errno_status(errno);
		}
		done += (size_t)written;
	}
	return B_OK;
}


std::string
directory_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return ".";
	if (slash == 0)
		return "/";
	return path.substr(0, slash);
}


// Tells about each damaged store once per process and state of the file, not
// at every one of the reads that follow.
void
report_damage(const std::string& path, const struct stat& fileStat,
	const std::string& problem)
{
	static std::mutex lock;
	static std::set<std::string> reported;
	std::string key = path + ":" + std::to_string(fileStat.st_size) + ":"
		+ std::to_string(fileStat.st_mtim.tv_sec) + "."
		+ std::to_string(fileStat.st_mtim.tv_nsec);
	{
		std::lock_guard<std::mutex> guard(lock);
		if (!reported.insert(key).second)
			return;
	}
	fprintf(stderr, "Attribute store '%s' is damaged (%s): its values are "
		"ignored, and it is kept aside at the next change.\n", path.c_str(),
		problem.c_str());
}

}	// namespace


void
ForceAttributeFallback(bool force)
{
	sFallbackForced = force;
}


bool
AttributeFallbackForced()
{
	return sFallbackForced;
}


AttributeStore::AttributeStore(const std::string& nodePath)
	:
	fDamaged(false)
{
	std::string directory = directory_of(nodePath);
	std::string leaf = nodePath.substr(nodePath.rfind('/') + 1);
	fPath = (directory == "/" ? "" : directory) + "/." + leaf + ".attributes";
}


std::string
AttributeStore::TemporaryPath() const
{
	return fPath + ".tmp";
}


status_t
AttributeStore::Load()
{
	fValues.clear();
	fDamaged = false;

	int fd = open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
	if (fd < 0)
		return errno == ENOENT ? B_OK : BPrivate::errno_status(errno);

	struct stat fileStat;
	if (fstat(fd, &fileStat) != 0) {
		status_t status = BPrivate::errno_status(errno);
		close(fd);
		return status;
	}
	if (!S_ISREG(fileStat.st_mode)) {
		close(fd);
		return BPrivate::errno_status(S_ISDIR(fileStat.st_mode) ? EISDIR : EINVAL);
	}

	std::string data;
	std::string problem;
	if ((uint64)fileStat.st_size > kMaxStoreSize)
		problem = "larger than any store";
	else {
		data.resize((size_t)fileStat.st_size);
		size_t done = 0;
		while (done < data.size()) {
			ssize_t count = read(fd, data.data() + done, data.size() - done);
			if (count < 0 && errno == EINTR)
				continue;
			if (count < 0) {
				status_t status = BPrivate::errno_status(errno);
				close(fd);
				return status;
			}
			if (count == 0)
				break;
			done += (size_t)count;
		}
		data.resize(done);
	}
	close(fd);

	if (problem.empty() && Decode(data, &fValues, &problem) == B_OK)
		return B_OK;

	fValues.clear();
	fDamaged = true;
	report_damage(fPath, fileStat, problem);
	return B_OK;
}


status_t
AttributeStore::Get(const std::string& name, std::string* value) const
{
	auto found = fValues.find(name);
	if (found == fValues.end())
		return B_ENTRY_NOT_FOUND;
	*value = found->second;
	return B_OK;
}


void
AttributeStore::Set(const std::string& name, const std::string& value)
{
	fValues[name] = value;
}


bool
AttributeStore::Remove(const std::string& name)
{
	return fValues.erase(name) > 0;
}


status_t
AttributeStore::Commit()
{
	if (fDamaged) {
		status_t status = _KeepDamagedStore();
		if (status != B_OK)
			return status;
		fDamaged = false;
	}

	std::string temporary = TemporaryPath();
	// A temporary left by an interrupted writer is simply replaced: writers
	// of one node hold its lock, so nobody else is using it.
	int fd = open(temporary.c_str(),
		O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
	if (fd < 0)
		return BPrivate::errno_status(errno);

	status_t status = write_all(fd, Encode(fValues));
	if (status == B_OK && fsync(fd) != 0)
		status = BPrivate::errno_status(errno);
	if (close(fd) != 0 && status == B_OK)
		status = BPrivate::errno_status(errno);
	if (status == B_OK && rename(temporary.c_str(), fPath.c_str()) != 0)
		status = BPrivate::errno_status(errno);
	if (status != B_OK) {
		unlink(temporary.c_str());
		return status;
	}

	// The rename itself survives a crash only once the directory is synced.
	int directory = open(directory_of(fPath).c_str(),
		O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (directory >= 0) {
		fsync(directory);
		close(directory);
	}
	return B_OK;
}


status_t
AttributeStore::_KeepDamagedStore()
{
	for (int number = 0; number < 100; number++) {
		std::string kept = fPath + ".damaged";
		if (number > 0)
			kept += "." + std::to_string(number);
		// Writers of the node hold its lock, so the name stays free until
		// the rename. A hard link would keep the store in place meanwhile,
		// but the file systems that need this store often have none.
		struct stat keptStat;
		if (lstat(kept.c_str(), &keptStat) == 0)
			continue;
		if (rename(fPath.c_str(), kept.c_str()) != 0) {
			if (errno == ENOENT)
				return B_OK;
			return BPrivate::errno_status(errno);
		}
		fprintf(stderr, "Damaged attribute store '%s' kept as '%s'.\n",
			fPath.c_str(), kept.c_str());
		return B_OK;
	}
	return B_FILE_EXISTS;
}


std::string
AttributeStore::Encode(const ValueMap& values)
{
	std::string data(kMagic, kMagicSize);
	append_uint32(data, (uint32)values.size());
	for (const auto& [name, value] : values) {
		append_uint32(data, (uint32)name.size());
		append_uint32(data, (uint32)value.size());
		data += name;
		data += value;
	}
	append_uint32(data, crc32(data, data.size()));
	return data;
}


status_t
AttributeStore::Decode(const std::string& data, ValueMap* values,
	std::string* problem)
{
	values->clear();
	if (data.size() < kMagicSize + 8) {
		*problem = "too short";
		return B_BAD_DATA;
	}
	if (data.compare(0, kMagicSize, kMagic, kMagicSize) != 0) {
		*problem = "not an attribute store";
		return B_BAD_DATA;
	}
	size_t end = data.size() - 4;
	if (crc32(data, end) != read_uint32(data, end)) {
		*problem = "checksum mismatch";
		return B_BAD_DATA;
	}

	// Nothing of a damaged store reaches the caller.
	ValueMap decoded;
	uint32 count = read_uint32(data, kMagicSize);
	size_t offset = kMagicSize + 4;
	for (uint32 i = 0; i < count; i++) {
		if (end - offset < 8) {
			*problem = "entry beyond the end";
			return B_BAD_DATA;
		}
		uint32 nameSize = read_uint32(data, offset);
		uint32 valueSize = read_uint32(data, offset + 4);
		offset += 8;
		if (nameSize == 0 || nameSize > kMaxNameSize
			|| valueSize > kMaxValueSize
			|| end - offset < (size_t)nameSize + valueSize) {
			*problem = "bad entry size";
			return B_BAD_DATA;
		}
		std::string name = data.substr(offset, nameSize);
		decoded[name] = data.substr(offset + nameSize, valueSize);
		offset += nameSize + valueSize;
	}
	if (offset != end) {
		*problem = "bytes after the last entry";
		return B_BAD_DATA;
	}
	values->swap(decoded);
	return B_OK;
}

}	// namespace BPrivate
