#include "TagList.h"

#include <Locale.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the directories above the path that are missing, private ones as
// the user's settings directory is.
void
make_parents(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos;
			slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0700);
}


std::string
directory_of(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}


std::string
octal(mode_t mode)
{
	char text[8];
	snprintf(text, sizeof(text), "%04o", (unsigned)(mode & 07777));
	return text;
}


bool
trusted_owner(uid_t owner)
{
	return owner == geteuid() || owner == 0;
}


// Why someone else could change what the directory holds; empty when
// nobody can.
std::string
directory_doubt(const std::string& directory)
{
	struct stat status;
	if (stat(directory.c_str(), &status) != 0)
		return std::string();
	if (!trusted_owner(status.st_uid)) {
		return translate_format("the directory %s belongs to another user"
			" (uid %s): no tag passes until the list is in a directory of your"
			" own", directory.c_str(), std::to_string(status.st_uid).c_str());
	}
	// In a sticky directory only the owner of a file may replace it.
	if ((status.st_mode & 022) != 0 && (status.st_mode & S_ISVTX) == 0) {
		return translate_format("the directory %s may be written by others"
			" (mode %s): no tag passes until that is mended: chmod go-w %s",
			directory.c_str(), octal(status.st_mode).c_str(),
			directory.c_str());
	}
	return std::string();
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
	std::string normalized = tag;
	// ASCII only, whatever the locale: the list's order must not change
	// with it.
	for (char& c : normalized) {
		if (c >= 'a' && c <= 'z')
			c = (char)(c - 32);
	}
	return normalized;
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
			: directory_of(path) + "/" + target;
	}
	return path;
}


status_t
TagList::_CheckTrust(const std::string& real, std::string* problem) const
{
	std::string doubt = directory_doubt(directory_of(real));
	if (doubt.empty() && real != fPath)
		doubt = directory_doubt(directory_of(fPath));
	if (!doubt.empty()) {
		*problem = doubt;
		return B_NOT_ALLOWED;
	}
	return B_OK;
}


status_t
TagList::Load(std::string* problem)
{
	fFile = TagFile();
	fExists = false;
	fRefused = false;
	std::string real = RealPath();
	int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0) {
		if (errno == ENOENT)
			return B_OK;
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	// What was opened is what is judged, not what the name says now.
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
		*problem = B_TRANSLATE("not a regular file");
		close(fd);
		return B_IO_ERROR;
	}
	fExists = true;
	if (!trusted_owner(status.st_uid)) {
		*problem = translate_format("%s belongs to another user (uid %s): no"
			" tag passes until the list is a file of your own (copy it, then"
			" chmod 600)", real.c_str(), std::to_string(status.st_uid).c_str());
		fRefused = true;
	} else if ((status.st_mode & 022) != 0) {
		*problem = translate_format("%s may be written by others (mode %s): no"
			" tag passes until that is mended: chmod go-w %s", real.c_str(),
			octal(status.st_mode).c_str(), real.c_str());
		fRefused = true;
	} else if (_CheckTrust(real, problem) != B_OK)
		fRefused = true;
	if (fRefused) {
		close(fd);
		return B_NOT_ALLOWED;
	}

	std::string data;
	data.reserve((size_t)status.st_size);
	char buffer[65536];
	ssize_t count;
	while ((count = read(fd, buffer, sizeof(buffer))) != 0) {
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			*problem = strerror(errno);
			close(fd);
			return B_IO_ERROR;
		}
		data.append(buffer, (size_t)count);
	}
	close(fd);
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
	std::string* problem)
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
	int fd = open(fPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC,
		0600);
	if (fd < 0) {
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	// A list whose last line has no newline would swallow the tag into it.
	std::string record;
	struct stat status;
	if (fstat(fd, &status) == 0 && status.st_size > 0) {
		char last = '\n';
		if (pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
			record = "\n";
	}
	// The comment carries a device's name: it must not start a line of its
	// own in the list.
	std::string line = Normalized(tag) + " # " + Printable(comment);
	record += line + "\n";
	ssize_t written = write(fd, record.data(), record.size());
	int error = errno;
	close(fd);
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
TagList::Save(const TagFile& file, std::string* problem)
{
	if (fRefused) {
		*problem = B_TRANSLATE("the list is refused: it is not written");
		return B_NOT_ALLOWED;
	}
	std::string real = RealPath();
	make_parents(real);
	std::string temporary = directory_of(real) + "/.tags.XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	if (fd < 0) {
		*problem = directory_of(real) + ": " + strerror(errno);
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
	return B_OK;
}
