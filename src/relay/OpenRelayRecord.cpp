#include "OpenRelayRecord.h"

#include "RelayStatus.h"

#include <AccessLogFile.h>
#include <PathTrust.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The layout the record is written in, and the one an earlier version
// wrote (eight slots of up to 255 characters), which a start still reads.
struct Layout {
	const char*	header;
	size_t		slots;
	size_t		maxAddress;

	size_t		HeaderSize() const { return strlen(header); }
	// "R LLL " and the address, padded, and the newline.
	size_t		SlotSize() const { return 6 + maxAddress + 1; }
	size_t		FileSize() const { return HeaderSize() + slots * SlotSize(); }
};

const Layout kLayout = {"RDX open relays 2\n", OpenRelayRecord::kMaxEntries,
	OpenRelayRecord::kMaxAddress};
const Layout kEarlierLayout = {"RDX open relays 1\n", 8, 255};
const size_t kFileSize = kLayout.FileSize();
static_assert(OpenRelayRecord::kMaxEntries * (6 + OpenRelayRecord::kMaxAddress
	+ 1) + 18 <= 4096, "the record fits one page");


bool
parse_layout(const Layout& layout, const std::string& bytes,
	std::vector<OpenRelayRecord::Entry>* entries)
{
	size_t headerSize = layout.HeaderSize();
	size_t slotSize = layout.SlotSize();
	if (bytes.size() != layout.FileSize()
		|| bytes.compare(0, headerSize, layout.header) != 0)
		return false;
	for (size_t i = 0; i < layout.slots; i++) {
		const char* slot = bytes.data() + headerSize + i * slotSize;
		if (slot[1] != ' ' || slot[5] != ' ' || slot[slotSize - 1] != '\n')
			return false;
		size_t length = 0;
		for (int k = 2; k < 5; k++) {
			if (slot[k] < '0' || slot[k] > '9')
				return false;
			length = length * 10 + (size_t)(slot[k] - '0');
		}
		bool empty = slot[0] == '-';
		if ((!empty && (slot[0] < '1' || slot[0] > '4'))
			|| (empty && length != 0) || (!empty && length == 0)
			|| length > layout.maxAddress)
			return false;
		for (size_t k = 6 + length; k < slotSize - 1; k++) {
			if (slot[k] != ' ')
				return false;
		}
		std::string address(slot + 6, length);
		if (address.find_first_of(std::string("\n\0", 2)) != std::string::npos)
			return false;
		if (!empty)
			entries->push_back(OpenRelayRecord::Entry{slot[0] - '0', address});
	}
	return true;
}

std::atomic<OpenRelayRecord*> sDefault{nullptr};


// The directories that are missing, mode 0700, as the access log makes
// them: what the door did is nobody else's to read.
void
make_directories(const std::string& directory)
{
	for (size_t slash = directory.find('/', 1);;
			slash = directory.find('/', slash + 1)) {
		std::string part = directory.substr(0, slash);
		mkdir(part.c_str(), 0700);
		if (slash == std::string::npos)
			return;
	}
}


// A new name in a directory, or a rename into it, is on the disk only once
// the directory is.
int
sync_directory(const std::string& directory)
{
	int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return errno;
	int error = fsync(fd) == 0 ? 0 : errno;
	close(fd);
	return error;
}


// Room for the whole record, so that no later write needs a block the disk
// may no longer have. A file system that cannot reserve gets it by writing.
int
reserve(int fd)
{
	int error = posix_fallocate(fd, 0, (off_t)kFileSize);
	return error == EOPNOTSUPP || error == EINVAL ? 0 : error;
}


std::string
doubt_text(const PathTrust::Finding& finding)
{
	const char* path = finding.path.c_str();
	char text[1024];
	switch (finding.doubt) {
		case PathTrust::kOtherOwner:
			snprintf(text, sizeof(text), "the %s %s belongs to another user "
				"(uid %u)", finding.isLink ? "link" : "directory", path,
				(unsigned)finding.owner);
			break;
		case PathTrust::kWritableByOthers:
			snprintf(text, sizeof(text), "the directory %s may be written by "
				"others (mode %s): mend it with chmod go-w %s", path,
				PathTrust::Octal(finding.mode).c_str(), path);
			break;
		case PathTrust::kTooManyLinks:
			snprintf(text, sizeof(text), "the way to %s leads through too "
				"many links", path);
			break;
		default:
			snprintf(text, sizeof(text), "the directory %s cannot be used: "
				"%s", path, strerror(finding.errorCode));
			break;
	}
	return text;
}


bool
is_kept_elsewhere(status_t status)
{
	return status == B_NO_INIT || status == B_NAME_IN_USE
		|| status == B_PERMISSION_DENIED || status == B_FROM_POSIX_ERROR(EROFS);
}

}	// namespace


std::string
OpenRelayRecord::DefaultPath()
{
	std::string log = AccessLogPath();
	if (log.empty())
		return log;
	return PathTrust::DirectoryOf(log) + "/open-relays";
}


OpenRelayRecord*
OpenRelayRecord::Default()
{
	return sDefault.load();
}


void
OpenRelayRecord::SetDefault(OpenRelayRecord* record)
{
	sDefault.store(record);
}


OpenRelayRecord::OpenRelayRecord(const std::string& path)
	:
	fPath(path)
{
}


OpenRelayRecord::~OpenRelayRecord()
{
	_CloseFile();
}


std::string
OpenRelayRecord::Format(const std::vector<Entry>& entries)
{
	std::string bytes(kLayout.header);
	for (size_t i = 0; i < kLayout.slots; i++) {
		std::string slot = "- 000 ";
		if (i < entries.size()) {
			char head[8];
			snprintf(head, sizeof(head), "%d %03zu ",
				(int)entries[i].relay, entries[i].address.size());
			slot = head + entries[i].address;
		}
		slot.resize(kLayout.SlotSize() - 1, ' ');
		bytes += slot;
		bytes += '\n';
	}
	return bytes;
}


bool
OpenRelayRecord::Parse(const std::string& bytes, std::vector<Entry>* entries)
{
	entries->clear();
	if (parse_layout(kLayout, bytes, entries))
		return true;
	entries->clear();
	if (parse_layout(kEarlierLayout, bytes, entries))
		return true;
	entries->clear();
	return false;
}


status_t
OpenRelayRecord::Load(std::vector<Entry>* entries, std::string* problem)
{
	std::lock_guard<std::mutex> guard(fLock);
	return _Take(entries, problem);
}


status_t
OpenRelayRecord::Begin(const std::vector<Entry>& entries)
{
	std::lock_guard<std::mutex> guard(fLock);
	fEntries.clear();
	for (const Entry& entry : entries) {
		if (fEntries.size() < kMaxEntries
			&& entry.address.size() <= kMaxAddress)
			fEntries.push_back(entry);
	}
	std::string problem;
	status_t status = _Begin(fEntries, &problem);
	if (status != B_OK)
		_Lost(problem);
	return status;
}


bool
OpenRelayRecord::Ready(bool* tookOver)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (tookOver != nullptr)
		*tookOver = false;
	if (fKept && _StillNamed())
		return true;
	if (fKept) {
		// Written on into a file that is no longer there, the entries
		// would be lost to the next start.
		printf("the record of open relays %s was removed or replaced while "
			"rdx ran: it is written anew with the relays not yet seen "
			"closed\n", fPath.c_str());
	}

	std::vector<Entry> found;
	std::string problem;
	status_t status = _Take(&found, &problem);
	if (is_kept_elsewhere(status)) {
		_Lost(problem);
		return false;
	}
	// What the file held meanwhile may be open as well: it is kept, and
	// closed with the rest at the next chance.
	if (status == B_OK) {
		for (const Entry& entry : found) {
			bool known = false;
			for (const Entry& kept : fEntries)
				known = known || kept == entry;
			if (!known && fEntries.size() < kMaxEntries) {
				fEntries.push_back(entry);
				if (tookOver != nullptr)
					*tookOver = true;
			}
		}
	}
	if (_Begin(fEntries, &problem) != B_OK) {
		_Lost(problem);
		return false;
	}
	return true;
}


status_t
OpenRelayRecord::Opened(int32 relay, const char* address)
{
	Entry entry{relay, address != nullptr ? address : ""};
	// Cut, it would name another board; no board command is ever made for
	// an address this long.
	if (entry.address.size() > kMaxAddress)
		return B_NAME_TOO_LONG;
	std::lock_guard<std::mutex> guard(fLock);
	if (!fKept)
		return B_NOT_ALLOWED;
	for (const Entry& kept : fEntries) {
		if (kept == entry)
			return B_OK;
	}
	if (fEntries.size() >= kMaxEntries) {
		// Dropping an entry to make room would forget a relay that may be
		// open; this one stays shut until a close frees a slot.
		printf("the record of open relays holds %zu relays not yet seen "
			"closed: relay %d at %s is not opened\n", fEntries.size(),
			(int)relay, entry.address.c_str());
		return B_NO_MEMORY;
	}
	fEntries.push_back(entry);
	if (_Write())
		return B_OK;
	int error = errno;
	fEntries.pop_back();
	_Lost(strerror(error));
	return B_FROM_POSIX_ERROR(error);
}


status_t
OpenRelayRecord::Sync()
{
	int fd;
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (!fKept)
			return B_NOT_ALLOWED;
		// A descriptor of its own: the record's may be closed meanwhile,
		// and its number given to another file.
		fd = fcntl(fFD, F_DUPFD_CLOEXEC, 0);
		if (fd < 0)
			return B_FROM_POSIX_ERROR(errno);
	}
	// Outside the lock: the disk may take a while, and other workers write
	// meanwhile.
	int synced = fdatasync(fd);
	int error = errno;
	close(fd);
	if (synced == 0)
		return B_OK;
	std::lock_guard<std::mutex> guard(fLock);
	_Lost(strerror(error));
	return B_FROM_POSIX_ERROR(error);
}


void
OpenRelayRecord::Closed(int32 relay, const char* address, bool unlessReopened)
{
	Entry entry{relay, address != nullptr ? address : ""};
	std::lock_guard<std::mutex> guard(fLock);
	// Looked at under the lock: an open marks its relay before it writes
	// its entry, so it is either seen here or writes the entry again.
	if (unlessReopened && RelayMark(relay) == 'o')
		return;
	size_t before = fEntries.size();
	for (size_t i = 0; i < fEntries.size();) {
		if (fEntries[i] == entry)
			fEntries.erase(fEntries.begin() + (ptrdiff_t)i);
		else
			i++;
	}
	// An entry left on the disk is closed once more at the next start,
	// which does no harm; a record that can no longer be written must not
	// take new opens, though.
	if (fEntries.size() != before && fKept && !_Write())
		_Lost(strerror(errno));
}


std::vector<OpenRelayRecord::Entry>
OpenRelayRecord::Entries() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fEntries;
}


status_t
OpenRelayRecord::_Take(std::vector<Entry>* entries, std::string* problem)
{
	entries->clear();
	_CloseFile();
	fReplace = false;
	if (fPath.empty()) {
		*problem = "there is no state directory (neither XDG_STATE_HOME nor "
			"HOME is set)";
		return B_NO_INIT;
	}
	std::string directory = PathTrust::DirectoryOf(fPath);
	make_directories(directory);
	PathTrust::Finding finding = PathTrust::CheckDirectory(directory);
	if (!finding.Trusted()) {
		*problem = doubt_text(finding);
		return B_PERMISSION_DENIED;
	}

	// Opened, locked, and then found still to be what the name leads to:
	// another program may have put a new file in its place meanwhile.
	for (int attempt = 0; attempt < 4; attempt++) {
		bool created = false;
		int fd = open(fPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK
			| O_CLOEXEC);
		// On a file system that turned read-only the record can still be
		// read, and what it holds closed; it cannot be kept.
		bool readOnly = fd < 0 && errno == EROFS;
		if (readOnly) {
			fd = open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK
				| O_CLOEXEC);
		}
		if (fd < 0 && errno == ENOENT) {
			fd = open(fPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW
				| O_CLOEXEC, 0600);
			if (fd < 0 && errno == EEXIST)
				continue;
			created = fd >= 0;
			if (fd < 0) {
				// Nothing was there, so nothing is open; Begin() says why
				// no record can be made.
				fReplace = true;
				return B_OK;
			}
		}
		if (fd < 0) {
			int error = errno;
			fReplace = true;
			if (error == ELOOP) {
				*problem = "it is a symbolic link";
				return B_NOT_ALLOWED;
			}
			*problem = strerror(error);
			return error == EISDIR ? B_BAD_DATA : B_FROM_POSIX_ERROR(error);
		}

		struct stat status;
		if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
			close(fd);
			fReplace = true;
			*problem = "it is not a plain file";
			return B_BAD_DATA;
		}
		// Written by someone else, it may name any board, or leave out the
		// relay that is open.
		if (status.st_uid != geteuid()) {
			close(fd);
			fReplace = true;
			*problem = "it belongs to another user";
			return B_NOT_ALLOWED;
		}
		if ((status.st_mode & 022) != 0) {
			close(fd);
			fReplace = true;
			*problem = "others may write it (mode "
				+ PathTrust::Octal(status.st_mode) + ")";
			return B_NOT_ALLOWED;
		}
		if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
			close(fd);
			*problem = "another rdx keeps it";
			return B_NAME_IN_USE;
		}
		struct stat named;
		if (lstat(fPath.c_str(), &named) != 0 || named.st_dev != status.st_dev
			|| named.st_ino != status.st_ino) {
			close(fd);
			continue;
		}
		fFD = fd;
		fCreated = created;

		std::string bytes(kFileSize + 1, '\0');
		size_t filled = 0;
		while (filled < bytes.size()) {
			ssize_t count = pread(fd, &bytes[filled], bytes.size() - filled,
				(off_t)filled);
			if (count < 0 && errno == EINTR)
				continue;
			if (count <= 0)
				break;
			filled += (size_t)count;
		}
		bytes.resize(filled);
		// Made but never written: a start that was cut short before its
		// first record, which held no open relay yet.
		if (!bytes.empty() && !Parse(bytes, entries)) {
			*problem = "it cannot be read as a record of open relays";
			return B_BAD_DATA;
		}
		if (readOnly) {
			_CloseFile();
			*problem = strerror(EROFS);
			return B_FROM_POSIX_ERROR(EROFS);
		}
		return B_OK;
	}
	*problem = "it was replaced again and again while it was read";
	return B_NAME_IN_USE;
}


status_t
OpenRelayRecord::_Begin(const std::vector<Entry>& entries, std::string* problem)
{
	if (fFD < 0 && !fReplace) {
		std::vector<Entry> ignored;
		status_t status = _Take(&ignored, problem);
		if (is_kept_elsewhere(status))
			return status;
	}
	status_t status = fReplace ? _Replace(problem) : _WriteInPlace(problem);
	if (status != B_OK)
		return status;
	fEntries = entries;
	if (!_Write()) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	if (fdatasync(fFD) != 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	if (fLossSaid) {
		printf("the record of open relays %s can be kept again: relays are "
			"opened as before\n", fPath.c_str());
	}
	fLossSaid = false;
	fKept = true;
	return B_OK;
}


status_t
OpenRelayRecord::_WriteInPlace(std::string* problem)
{
	struct stat status;
	int error = fstat(fFD, &status) != 0 ? errno : 0;
	if (error == 0 && (size_t)status.st_size > kFileSize
		&& ftruncate(fFD, (off_t)kFileSize) != 0)
		error = errno;
	if (error == 0)
		error = reserve(fFD);
	if (error == 0 && fCreated)
		error = sync_directory(PathTrust::DirectoryOf(fPath));
	if (error != 0) {
		// A file this start made and cannot fill must not be found by the
		// next one as a record that cannot be read.
		if (fCreated)
			unlink(fPath.c_str());
		_CloseFile();
		*problem = strerror(error);
		return B_FROM_POSIX_ERROR(error);
	}
	fCreated = false;
	return B_OK;
}


status_t
OpenRelayRecord::_Replace(std::string* problem)
{
	// A fresh file put in place by a rename: whatever was there (a file of
	// another user, a link, garbage) is neither read nor written through.
	std::string temporary = fPath + ".XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	int error = fd < 0 ? errno : 0;
	if (fd >= 0) {
		// Locked before anyone can find it under the record's name.
		std::string bytes = Format(fEntries);
		errno = 0;
		if (flock(fd, LOCK_EX | LOCK_NB) != 0)
			error = errno;
		if (error == 0)
			error = reserve(fd);
		if (error == 0 && pwrite(fd, bytes.data(), bytes.size(), 0)
				!= (ssize_t)bytes.size())
			error = errno != 0 ? errno : ENOSPC;
		if (error == 0 && (fdatasync(fd) != 0
				|| rename(temporary.c_str(), fPath.c_str()) != 0))
			error = errno;
		if (error == 0)
			error = sync_directory(PathTrust::DirectoryOf(fPath));
		if (error != 0) {
			unlink(temporary.c_str());
			close(fd);
		}
	}
	if (error != 0) {
		*problem = strerror(error);
		return B_FROM_POSIX_ERROR(error);
	}
	_CloseFile();
	fFD = fd;
	fReplace = false;
	fCreated = false;
	return B_OK;
}


bool
OpenRelayRecord::_Write()
{
	if (fFD < 0) {
		errno = EBADF;
		return false;
	}
	std::string bytes = Format(fEntries);
	errno = 0;
	if (pwrite(fFD, bytes.data(), bytes.size(), 0) == (ssize_t)bytes.size())
		return true;
	if (errno == 0)
		errno = ENOSPC;
	return false;
}


void
OpenRelayRecord::_Lost(const std::string& problem)
{
	fKept = false;
	if (fLossSaid)
		return;
	fLossSaid = true;
	printf("cannot keep the record of open relays %s: %s; no relay is "
		"opened until it can be kept again (closes still go out)\n",
		fPath.empty() ? "(none)" : fPath.c_str(), problem.c_str());
}


bool
OpenRelayRecord::_StillNamed() const
{
	struct stat kept;
	struct stat named;
	return fFD >= 0 && fstat(fFD, &kept) == 0
		&& lstat(fPath.c_str(), &named) == 0 && named.st_dev == kept.st_dev
		&& named.st_ino == kept.st_ino;
}


void
OpenRelayRecord::_CloseFile()
{
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
	fKept = false;
}
