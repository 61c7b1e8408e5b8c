#include "TagExport.h"

#include "ReadHistory.h"

#include <LogFilter.h>
#include <TagFile.h>

#include <Locale.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>


std::string
TagExport::Field(const std::string& text, char separator)
{
	std::string field = text;
	if (!field.empty() && strchr("=+-@'", field[0]) != nullptr)
		field.insert(0, 1, '\'');
	if (field.find_first_of(std::string("\"\r\n") + separator)
			== std::string::npos)
		return field;
	std::string quoted = "\"";
	for (char c : field) {
		if (c == '"')
			quoted += '"';
		quoted += c;
	}
	return quoted + "\"";
}


std::string
TagExport::Text(const TagFile& file, const ReadHistory& history,
	char separator, std::vector<std::string>* left, int* rows)
{
	*rows = 0;
	std::string sep(1, separator);
	std::string text = "\xEF\xBB\xBFtag" + sep + "name" + sep + "rules" + sep
		+ "last seen\r\n";
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kTag)
			continue;
		std::string tag = line.Tag();
		const TagLine* first = file.Find(tag);
		if (first != &line) {
			left->push_back(translate_format("line %d (%s): does not count,"
				" line %d lists the tag first", line.Number(), tag.c_str(),
				first != nullptr ? first->Number() : 0));
			continue;
		}
		std::string refusal = line.Problem().empty() ? file.RefusalOf(line)
			: line.Problem();
		if (!refusal.empty()) {
			left->push_back(translate_format("line %d (%s): %s",
				line.Number(), tag.c_str(), refusal.c_str()));
			continue;
		}
		const TagRead* read = history.LastSeen(tag);
		std::string seen = read != nullptr
			? format_local_time(read->time).substr(0, 16) : std::string();
		text += Field(tag, separator) + sep + Field(line.Name(), separator)
			+ sep + Field(line.RulesText(), separator) + sep + seen + "\r\n";
		(*rows)++;
	}
	return text;
}


namespace {

// The path with its directory as the file system names it: two names of
// a file not yet there are the same place when these are equal.
std::string
resolved(const std::string& path)
{
	size_t slash = path.rfind('/');
	std::string directory = slash == std::string::npos ? "."
		: slash == 0 ? "/" : path.substr(0, slash);
	char real[PATH_MAX];
	if (realpath(directory.c_str(), real) == nullptr)
		return path;
	return std::string(real) + "/" + path.substr(slash + 1);
}


// Whether writing the path (a rename onto it) would take the place of
// the file kept or of the name it is known by.
bool
takes_place_of(const std::string& path, const std::string& keep)
{
	struct stat target;
	struct stat kept;
	if (stat(path.c_str(), &target) == 0 && stat(keep.c_str(), &kept) == 0
		&& target.st_dev == kept.st_dev && target.st_ino == kept.st_ino)
		return true;
	if (lstat(path.c_str(), &target) == 0 && lstat(keep.c_str(), &kept) == 0)
		return target.st_dev == kept.st_dev && target.st_ino == kept.st_ino;
	return resolved(path) == resolved(keep);
}

}	// namespace


char
TagExport::DefaultSeparator()
{
	locale_t numbers = newlocale(LC_NUMERIC_MASK, "", (locale_t)0);
	if (numbers == (locale_t)0)
		return ',';
	bool comma = strcmp(nl_langinfo_l(RADIXCHAR, numbers), ",") == 0;
	freelocale(numbers);
	return comma ? ';' : ',';
}


status_t
TagExport::Write(const std::string& path, const std::string& text,
	const std::vector<std::string>& keep, std::string* problem)
{
	// "--export tags" by a slip would put the rows in place of the list.
	for (const std::string& kept : keep) {
		if (kept.empty() || !takes_place_of(path, kept))
			continue;
		*problem = translate_format("%s would take the place of %s: an"
			" export is written to a file of its own; nothing was exported",
			path.c_str(), kept.c_str());
		return B_NOT_ALLOWED;
	}
	size_t slash = path.rfind('/');
	std::string directory = slash == std::string::npos ? "."
		: slash == 0 ? "/" : path.substr(0, slash);
	std::string temporary = directory + "/.rdx-tags-export.XXXXXX";
	int fd = mkostemp(&temporary[0], O_CLOEXEC);
	if (fd < 0) {
		*problem = directory + ": " + strerror(errno);
		return B_IO_ERROR;
	}
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
	if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
		if (ok)
			error = errno;
		unlink(temporary.c_str());
		*problem = path + ": " + strerror(error);
		return B_IO_ERROR;
	}
	return B_OK;
}
