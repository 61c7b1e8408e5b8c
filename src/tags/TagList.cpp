#include "TagList.h"

#include <PathTrust.h>
#include "SettledFile.h"
#include "TagKey.h"
#include "TagListLock.h"

#include <Locale.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor however the function that opened it ends.
class FileDescriptor {
public:
	explicit FileDescriptor(int fd) : fFD(fd) {}
	~FileDescriptor()
	{
		if (fFD >= 0)
			close(fFD);
	}
	FileDescriptor(const FileDescriptor&) = delete;
	FileDescriptor& operator=(const FileDescriptor&) = delete;

	int Get() const { return fFD; }
	// Closes now; false when the close reports a failed write.
	bool Close()
	{
		int fd = fFD;
		fFD = -1;
		return close(fd) == 0;
	}

private:
	int fFD;
};


// Makes the directories above the path that are missing, private ones as
// the user's settings directory is.
void
make_parents(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos;
			slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0700);
}


// A rename is on the disk only once its directory is: without this, a
// power cut after a save may bring back the list from before it.
bool
sync_directory(const std::string& directory, int* error)
{
	int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		*error = errno;
		return false;
	}
	// A file system that cannot sync a directory keeps its names at once.
	bool synced = fsync(fd) == 0 || errno == EINVAL;
	*error = errno;
	close(fd);
	return synced;
}



// One line that says which directory or link on the way to the list others
// could change, and how to mend it; empty when nobody else can.
std::string
way_doubt(const std::string& path)
{
	PathTrust::Finding finding = PathTrust::CheckPath(path);
	const char* where = finding.path.c_str();
	std::string owner = std::to_string(finding.owner);
	switch (finding.doubt) {
		case PathTrust::kTrusted:
			return std::string();
		case PathTrust::kOtherOwner:
			if (finding.isLink) {
				return translate_format("the link %s belongs to another user"
					" (uid %s): no tag passes until the list is reached"
					" through links of your own", where, owner.c_str());
			}
			return translate_format("the directory %s belongs to another"
				" user (uid %s): no tag passes until the list is in a"
				" directory of your own", where, owner.c_str());
		case PathTrust::kWritableByOthers:
			return translate_format("the directory %s may be written by"
				" others (mode %s): no tag passes until that is mended:"
				" chmod go-w %s", where,
				PathTrust::Octal(finding.mode).c_str(), where);
		case PathTrust::kTooManyLinks:
			return translate_format("%s leads through more than %d links",
				path.c_str(), 40);
		case PathTrust::kUnusable:
			break;
	}
	return translate_format("cannot tell where %s is", path.c_str());
}

}	// namespace


TagList::TagList(const std::string& path)
	:
	fPath(path)
{
}


std::string
TagList::DefaultPath()
{
	const char* config = getenv("XDG_CONFIG_HOME");
	if (config != nullptr && config[0] == '/')
		return std::string(config) + "/RDX/tags";
	const char* home = getenv("HOME");
	return std::string(home != nullptr ? home : "") + "/.config/RDX/tags";
}


std::string
TagList::Normalized(const std::string& tag)
{
	return TagKey::Normalized(tag);
}


std::string
TagList::Printable(const std::string& text)
{
	std::string printable = text;
	for (char& c : printable) {
		if ((unsigned char)c < 0x20 || c == 0x7f)
			c = '?';
	}
	return printable;
}


std::string
TagList::RealPath() const
{
	std::string path = fPath;
	// A chain of links, each relative to its own directory; a loop ends
	// where the kernel's own limit would.
	for (int hop = 0; hop < 40; hop++) {
		char target[PATH_MAX];
		ssize_t length = readlink(path.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			break;
		target[length] = '\0';
		path = target[0] == '/' ? std::string(target)
			: PathTrust::DirectoryOf(path) + "/" + target;
	}
	return path;
}


void
TagList::_Take(TagFile file, bool exists, bool refused)
{
	fFile = std::move(file);
	fExists = exists;
	fRefused = refused;
}


status_t
TagList::Load(std::string* problem)
{
	std::string real = RealPath();
	FileDescriptor fd(open(fPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK
		| O_NOCTTY));
	if (fd.Get() < 0) {
		// Removed, and not written again: a list without tags.
		if (errno == ENOENT) {
			_Take(TagFile(), false, false);
			return B_OK;
		}
		// Another program holds a lease to write it.
		if (errno == EWOULDBLOCK) {
			*problem = translate_format("%s is being written by another"
				" program", real.c_str());
			return B_WOULD_BLOCK;
		}
		*problem = strerror(errno);
		_Take(TagFile(), false, false);
		return B_IO_ERROR;
	}
	// What was opened is what is judged, not what the name says now.
	struct stat status;
	if (fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
		*problem = B_TRANSLATE("not a regular file");
		_Take(TagFile(), false, false);
		return B_IO_ERROR;
	}
	std::string doubt;
	if (!PathTrust::TrustedOwner(status.st_uid)) {
		doubt = translate_format("%s belongs to another user (uid %s): no"
			" tag passes until the list is a file of your own (copy it, then"
			" chmod 600)", real.c_str(), std::to_string(status.st_uid).c_str());
	} else if ((status.st_mode & 022) != 0) {
		doubt = translate_format("%s may be written by others (mode %s): no"
			" tag passes until that is mended: chmod go-w %s", real.c_str(),
			PathTrust::Octal(status.st_mode).c_str(), real.c_str());
	} else
		doubt = way_doubt(fPath);
	if (!doubt.empty()) {
		*problem = doubt;
		_Take(TagFile(), true, true);
		return B_NOT_ALLOWED;
	}

	// A list caught while it is written is not taken: the one read before
	// stays in force until its writer has finished.
	std::string data;
	status_t read = SettledFile::Read(fd.Get(), &data, problem);
	if (read == B_WOULD_BLOCK) {
		*problem = translate_format("%s is being written by another program",
			real.c_str());
		return B_WOULD_BLOCK;
	}
	// The old list goes before the new one is made: a list of ten
	// thousand lines is not held twice.
	_Take(TagFile(), true, false);
	if (read != B_OK)
		return B_IO_ERROR;
	fFile = TagFile::Parse(data);
	return B_OK;
}


bool
TagList::Contains(const std::string& tag, std::string* name) const
{
	const TagLine* line = fFile.Find(tag);
	if (line == nullptr)
		return false;
	if (name != nullptr)
		*name = line->Name();
	return true;
}


TagDecision
TagList::Decide(const std::string& tag, const LocalTime& time) const
{
	return TagDecision::Decide(fFile, tag, time);
}


status_t
TagList::Append(const std::string& tag, const std::string& comment,
	std::string* problem, const std::function<void()>& waiting)
{
	if (fRefused) {
		*problem = B_TRANSLATE("the list is refused: nothing is added to it");
		return B_NOT_ALLOWED;
	}
	if (!TagLine::IsWritableTag(tag)) {
		*problem = translate_format("the tag \"%s\" could not be read back"
			" from the list", Printable(tag).c_str());
		return B_BAD_VALUE;
	}
	make_parents(fPath);
	make_parents(RealPath());
	TagListLock lock;
	status_t locked = lock.Acquire(RealPath(), problem, waiting);
	if (locked != B_OK)
		return locked;
	FileDescriptor fd(open(fPath.c_str(), O_RDWR | O_APPEND | O_CREAT
		| O_CLOEXEC | O_NOCTTY, 0600));
	if (fd.Get() < 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	// A list whose last line has no newline would swallow the tag into it.
	std::string record;
	struct stat status;
	if (fstat(fd.Get(), &status) != 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	if (status.st_size > 0) {
		char last = '\n';
		if (pread(fd.Get(), &last, 1, status.st_size - 1) == 1
			&& last != '\n')
			record = "\n";
	}
	// The comment carries a device's name: it must not start a line of its
	// own in the list, nor hold a '|', which after the '#' would make the
	// learned line refuse its own tag.
	std::string shown = Printable(comment);
	for (char& c : shown) {
		if (c == '|')
			c = '?';
	}
	std::string line = Normalized(tag) + " # " + shown;
	record += line + "\n";
	ssize_t written = write(fd.Get(), record.data(), record.size());
	int error = errno;
	// A disk that filled up took part of the line: "2222" cut to "22"
	// would list a tag that nobody presented. What was written goes again,
	// unless someone else wrote after it meanwhile.
	struct stat after;
	if (written > 0 && written < (ssize_t)record.size()
		&& fstat(fd.Get(), &after) == 0
		&& after.st_size == status.st_size + written)
		ftruncate(fd.Get(), status.st_size);
	if (!fd.Close() && written == (ssize_t)record.size()) {
		written = -1;
		error = errno;
	}
	if (written != (ssize_t)record.size()) {
		*problem = written < 0 ? strerror(error)
			: B_TRANSLATE("written only in part");
		return B_IO_ERROR;
	}
	fFile.AppendLine(line);
	fExists = true;
	return B_OK;
}


status_t
TagList::Save(const TagFile& file, std::string* problem,
	const TagListLock* held)
{
	if (fRefused) {
		*problem = B_TRANSLATE("the list is refused: it is not written");
		return B_NOT_ALLOWED;
	}
	std::string real = RealPath();
	make_parents(real);
	TagListLock lock;
	if (held == nullptr || !held->IsHeld()) {
		status_t locked = lock.Acquire(real, problem);
		if (locked != B_OK)
			return locked;
	}
	std::string directory = PathTrust::DirectoryOf(real);
	std::string temporary = directory + "/.tags.XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	if (fd < 0) {
		*problem = directory + ": " + strerror(errno);
		return B_IO_ERROR;
	}
	std::string text = file.Text();
	size_t done = 0;
	while (done < text.size()) {
		ssize_t written = write(fd, text.data() + done, text.size() - done);
		if (written < 0 && errno == EINTR)
			continue;
		if (written <= 0)
			break;
		done += (size_t)written;
	}
	bool ok = done == text.size() && fchmod(fd, 0600) == 0 && fsync(fd) == 0;
	int error = errno;
	ok = close(fd) == 0 && ok;
	if (!ok || rename(temporary.c_str(), real.c_str()) != 0) {
		if (ok)
			error = errno;
		unlink(temporary.c_str());
		*problem = real + ": " + strerror(error);
		return B_IO_ERROR;
	}
	fFile = file;
	fExists = true;
	if (!sync_directory(directory, &error)) {
		*problem = translate_format("%s is written, but its directory could"
			" not be synced (%s): a power cut now may bring back the list"
			" from before", real.c_str(), strerror(error));
		return B_IO_ERROR;
	}
	return B_OK;
}
