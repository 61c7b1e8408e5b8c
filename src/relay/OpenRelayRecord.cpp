#include "OpenRelayRecord.h"

#include "RelayStatus.h"

#include <AccessLogFile.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHeader[] = "RDX open relays 1\n";
const size_t kHeaderSize = sizeof(kHeader) - 1;
// "R LLL " and the address, padded, and the newline.
const size_t kSlotSize = 6 + OpenRelayRecord::kMaxAddress + 1;
const size_t kFileSize = kHeaderSize
	+ OpenRelayRecord::kMaxEntries * kSlotSize;

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


std::string
directory_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos || slash == 0 ? std::string("/")
		: path.substr(0, slash);
}

}	// namespace


std::string
OpenRelayRecord::DefaultPath()
{
	std::string log = AccessLogPath();
	if (log.empty())
		return log;
	return directory_of(log) + "/open-relays";
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
	if (fFD >= 0)
		close(fFD);
}


std::string
OpenRelayRecord::Format(const std::vector<Entry>& entries)
{
	std::string bytes(kHeader);
	for (size_t i = 0; i < kMaxEntries; i++) {
		std::string slot = "- 000 ";
		if (i < entries.size()) {
			char head[8];
			snprintf(head, sizeof(head), "%d %03zu ",
				(int)entries[i].relay, entries[i].address.size());
			slot = head + entries[i].address;
		}
		slot.resize(kSlotSize - 1, ' ');
		bytes += slot;
		bytes += '\n';
	}
	return bytes;
}


bool
OpenRelayRecord::Parse(const std::string& bytes, std::vector<Entry>* entries)
{
	entries->clear();
	if (bytes.size() != kFileSize || bytes.compare(0, kHeaderSize, kHeader) != 0)
		return false;
	for (size_t i = 0; i < kMaxEntries; i++) {
		const char* slot = bytes.data() + kHeaderSize + i * kSlotSize;
		if (slot[1] != ' ' || slot[5] != ' ' || slot[kSlotSize - 1] != '\n')
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
			|| length > kMaxAddress)
			return false;
		for (size_t k = 6 + length; k < kSlotSize - 1; k++) {
			if (slot[k] != ' ')
				return false;
		}
		std::string address(slot + 6, length);
		if (address.find_first_of(std::string("\n\0", 2)) != std::string::npos)
			return false;
		if (!empty)
			entries->push_back(Entry{slot[0] - '0', address});
	}
	return true;
}


status_t
OpenRelayRecord::Load(std::vector<Entry>* entries, std::string* problem) const
{
	entries->clear();
	if (fPath.empty()) {
		*problem = "no state directory (neither XDG_STATE_HOME nor HOME)";
		return B_NO_INIT;
	}
	int fd = open(fPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK
		| O_CLOEXEC);
	if (fd < 0) {
		if (errno == ENOENT)
			return B_OK;
		*problem = strerror(errno);
		return errno == ELOOP ? B_BAD_DATA : B_FROM_POSIX_ERROR(errno);
	}
	struct stat info;
	if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
		close(fd);
		*problem = "not a plain file";
		return B_BAD_DATA;
	}
	// Written by someone else, it may name any board, or leave out the
	// relay that is open.
	if (info.st_uid != geteuid()) {
		close(fd);
		*problem = "it belongs to another user";
		return B_NOT_ALLOWED;
	}
	std::string bytes(kFileSize + 1, '\0');
	size_t filled = 0;
	while (filled < bytes.size()) {
		ssize_t count = read(fd, &bytes[filled], bytes.size() - filled);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			break;
		filled += (size_t)count;
	}
	close(fd);
	bytes.resize(filled);
	if (!Parse(bytes, entries)) {
		*problem = "it cannot be read as a record of open relays";
		return B_BAD_DATA;
	}
	return B_OK;
}


status_t
OpenRelayRecord::Begin(const std::vector<Entry>& entries)
{
	std::lock_guard<std::mutex> guard(fLock);
	fEntries = entries;
	if (fEntries.size() > kMaxEntries)
		fEntries.resize(kMaxEntries);
	if (fFD >= 0) {
		close(fFD);
		fFD = -1;
	}
	if (fPath.empty()) {
		printf("no state directory: the relays this program opens are not "
			"recorded\n");
		return B_NO_INIT;
	}

	// A fresh file put in place by a rename: whatever was there (a file of
	// another user, a link, garbage) is neither read nor written through.
	std::string directory = directory_of(fPath);
	make_directories(directory);
	std::string temporary = fPath + ".XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	std::string bytes = Format(fEntries);
	int error = fd < 0 ? errno : 0;
	errno = 0;
	if (fd >= 0 && (pwrite(fd, bytes.data(), bytes.size(), 0)
			!= (ssize_t)bytes.size() || fdatasync(fd) != 0
		|| rename(temporary.c_str(), fPath.c_str()) != 0)) {
		error = errno != 0 ? errno : ENOSPC;
		unlink(temporary.c_str());
		close(fd);
		fd = -1;
	}
	if (fd < 0) {
		printf("cannot keep the record of open relays %s: %s; the relays "
			"this program opens are not recorded\n", fPath.c_str(),
			strerror(error));
		fFailureSaid = true;
		return B_FROM_POSIX_ERROR(error);
	}
	fFD = fd;
	return B_OK;
}


void
OpenRelayRecord::Opened(int32 relay, const char* address)
{
	Entry entry{relay, address != nullptr ? address : ""};
	if (entry.address.size() > kMaxAddress)
		entry.address.resize(kMaxAddress);
	std::lock_guard<std::mutex> guard(fLock);
	for (const Entry& kept : fEntries) {
		if (kept == entry)
			return;
	}
	if (fEntries.size() >= kMaxEntries) {
		// Never reached by four relays in practice; the newest open counts
		// most, and an older one of the same relay least.
		size_t drop = 0;
		for (size_t i = 0; i < fEntries.size(); i++) {
			if (fEntries[i].relay == relay) {
				drop = i;
				break;
			}
		}
		fEntries.erase(fEntries.begin() + (ptrdiff_t)drop);
	}
	fEntries.push_back(entry);
	_Write();
}


void
OpenRelayRecord::Sync()
{
	int fd;
	{
		std::lock_guard<std::mutex> guard(fLock);
		fd = fFD;
	}
	// The descriptor stays open for the life of the record.
	if (fd >= 0)
		fdatasync(fd);
}


void
OpenRelayRecord::Closed(int32 relay, const char* address, bool unlessReopened)
{
	Entry entry{relay, address != nullptr ? address : ""};
	if (entry.address.size() > kMaxAddress)
		entry.address.resize(kMaxAddress);
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
	if (fEntries.size() != before)
		_Write();
}


std::vector<OpenRelayRecord::Entry>
OpenRelayRecord::Entries() const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fEntries;
}


void
OpenRelayRecord::_Write()
{
	if (fFD < 0)
		return;
	std::string bytes = Format(fEntries);
	if (pwrite(fFD, bytes.data(), bytes.size(), 0) == (ssize_t)bytes.size())
		return;
	if (!fFailureSaid) {
		printf("cannot write the record of open relays %s: %s\n",
			fPath.c_str(), strerror(errno));
	}
	fFailureSaid = true;
}
