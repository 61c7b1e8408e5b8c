#include "TagList.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
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
	for (char& c : normalized)
		c = (char)toupper((unsigned char)c);
	return normalized;
}


status_t
TagList::Load(std::string* problem)
{
	fTags.clear();
	fExists = false;
	int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) {
		if (errno == ENOENT)
			return B_OK;
		*problem = strerror(errno);
		return B_IO_ERROR;
	}
	std::string data;
	char buffer[4096];
	ssize_t count;
	while ((count = read(fd, buffer, sizeof(buffer))) != 0) {
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			*problem = strerror(errno);
			close(fd);
			fTags.clear();
			return B_IO_ERROR;
		}
		data.append(buffer, (size_t)count);
	}
	close(fd);
	fExists = true;

	std::istringstream lines(data);
	for (std::string line; std::getline(lines, line);) {
		size_t hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		const char* blanks = " \t\r\v\f";
		size_t start = line.find_first_not_of(blanks);
		if (start == std::string::npos)
			continue;
		size_t end = line.find_first_of(blanks, start);
		std::string tag = line.substr(start, end == std::string::npos
			? std::string::npos : end - start);
		std::string name;
		if (end != std::string::npos) {
			size_t nameStart = line.find_first_not_of(blanks, end);
			if (nameStart != std::string::npos) {
				size_t nameEnd = line.find_last_not_of(blanks);
				name = line.substr(nameStart, nameEnd - nameStart + 1);
			}
		}
		fTags[Normalized(tag)] = name;
	}
	return B_OK;
}


bool
TagList::Contains(const std::string& tag, std::string* name) const
{
	auto found = fTags.find(Normalized(tag));
	if (found == fTags.end())
		return false;
	if (name != nullptr)
		*name = found->second;
	return true;
}


status_t
TagList::Append(const std::string& tag, const std::string& comment,
	std::string* problem)
{
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
	record += Normalized(tag) + " # " + comment + "\n";
	ssize_t written = write(fd, record.data(), record.size());
	int error = errno;
	close(fd);
	if (written != (ssize_t)record.size()) {
		*problem = written < 0 ? strerror(error) : "written only in part";
		return B_IO_ERROR;
	}
	fTags[Normalized(tag)] = "";
	fExists = true;
	return B_OK;
}
