#include "CsvCommand.h"

#include "ReadHistory.h"
#include "TagExport.h"
#include "TagImport.h"

#include <LogReader.h>
#include <LogRecord.h>
#include <TagList.h>
#include <TagListEditor.h>

#include <Locale.h>
#include <OS.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const off_t kLargest = 16 * 1024 * 1024;


// "Anna Berg | Mo-Fr 08:00-17:00", as the list's line says it.
std::string
version(const std::string& name, const std::string& rules)
{
	std::string text = name.empty() ? std::string("-") : name;
	if (!rules.empty())
		text += " | " + rules;
	return TagList::Printable(text);
}

}	// namespace


status_t
CsvCommand::ReadFile(const std::string& path, std::string* data,
	std::string* problem)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	struct stat status;
	if (fd < 0 || fstat(fd, &status) != 0) {
		*problem = path + ": " + strerror(errno);
		if (fd >= 0)
			close(fd);
		return B_IO_ERROR;
	}
	if (!S_ISREG(status.st_mode) || status.st_size > kLargest) {
		close(fd);
		*problem = S_ISREG(status.st_mode)
			? translate_format("%s is larger than 16 MiB: not a list of tags",
				path.c_str())
			: translate_format("%s is not a file", path.c_str());
		return B_BAD_DATA;
	}
	data->clear();
	char buffer[65536];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			*problem = path + ": " + strerror(errno);
			close(fd);
			return B_IO_ERROR;
		}
		if (count == 0)
			break;
		// Longer than its size said (growing while it is read): cut short,
		// its last row might lose the end of its rules.
		if ((off_t)(data->size() + (size_t)count) > kLargest) {
			close(fd);
			data->clear();
			*problem = translate_format("%s is larger than 16 MiB: not a list"
				" of tags", path.c_str());
			return B_BAD_DATA;
		}
		data->append(buffer, (size_t)count);
	}
	close(fd);
	return B_OK;
}


status_t
CsvCommand::Load(TagListEditor& editor, std::string* problem)
{
	status_t status = editor.Load(problem);
	// A list that an editor is saving is done in a moment.
	for (int tries = 0; status == B_WOULD_BLOCK && tries < 20; tries++) {
		snooze(50000);
		problem->clear();
		status = editor.Load(problem);
	}
	return status;
}


int
CsvCommand::Export(const std::string& listPath, const std::string& logPath,
	const std::string& path, char separator, FILE* out, FILE* err)
{
	TagListEditor editor(listPath);
	std::string problem;
	if (Load(editor, &problem) != B_OK) {
		fprintf(err, B_TRANSLATE("rdx-tags: %s: %s; nothing was exported\n"),
			listPath.c_str(), problem.c_str());
		return 1;
	}
	ReadHistory history(1);
	LogReader log(logPath);
	std::vector<LogRecord> records;
	if (log.ReadAll(&records) != B_OK) {
		fprintf(err, B_TRANSLATE("rdx-tags: %s: the column \"last seen\" stays"
			" empty\n"), log.Error().c_str());
	}
	for (const LogRecord& record : records)
		history.Add(record);

	std::vector<std::string> left;
	int count = 0;
	std::string text = TagExport::Text(editor.File(), history, separator,
		&left, &count);
	if (TagExport::Write(path, text, {listPath, logPath}, &problem) != B_OK) {
		fprintf(err, "rdx-tags: %s\n", problem.c_str());
		return 1;
	}
	for (const std::string& line : left) {
		fprintf(err, B_TRANSLATE("rdx-tags: not exported: %s\n"),
			TagList::Printable(line).c_str());
	}
	fprintf(out, B_TRANSLATE("rdx-tags: %d tags written to %s\n"), count,
		path.c_str());
	return 0;
}


int
CsvCommand::Import(const std::string& listPath, const std::string& path,
	bool replace, FILE* out, FILE* err)
{
	std::string data;
	std::string problem;
	if (ReadFile(path, &data, &problem) != B_OK) {
		fprintf(err, B_TRANSLATE("rdx-tags: %s; nothing was imported\n"),
			problem.c_str());
		return 1;
	}
	TagListEditor editor(listPath);
	if (Load(editor, &problem) != B_OK) {
		fprintf(err, B_TRANSLATE("rdx-tags: %s: %s; nothing was imported\n"),
			listPath.c_str(), problem.c_str());
		return 1;
	}
	TagImport import;
	if (import.Read(data, editor, &problem) != B_OK) {
		fprintf(err, B_TRANSLATE("rdx-tags: %s: %s; nothing was imported\n"),
			path.c_str(), TagList::Printable(problem).c_str());
		return 1;
	}

	for (TagImport::Entry& entry : import.Entries()) {
		if (entry.kind != TagImport::kDiffers)
			continue;
		entry.takeFile = replace;
		std::string listed = entry.listProblem.empty()
			? version(entry.listName, entry.listRules)
			: translate_format("%s (cannot be used: %s)",
				version(entry.listName, entry.listRules).c_str(),
				TagList::Printable(entry.listProblem).c_str());
		fprintf(out, B_TRANSLATE("%s differs (row %d, line %d):\n"
			"  list: %s\n  file: %s\n"), entry.tag.c_str(), entry.row,
			entry.line, listed.c_str(),
			version(entry.name, entry.rules).c_str());
	}
	int added = import.Count(TagImport::kNew);
	int differing = import.Count(TagImport::kDiffers);
	if (added > 0 || (differing > 0 && replace)) {
		status_t status = import.Apply(editor, &problem);
		if (status == B_OK)
			status = editor.Save(&problem);
		if (status != B_OK) {
			fprintf(err, B_TRANSLATE("rdx-tags: %s: %s; nothing was"
				" imported\n"), listPath.c_str(), problem.c_str());
			return 1;
		}
	}
	fprintf(out, replace
		? B_TRANSLATE("rdx-tags: %s: %d added, %d unchanged, %d changed to the"
			" file's version\n")
		: B_TRANSLATE("rdx-tags: %s: %d added, %d unchanged, %d differing"
			" kept as listed (--replace takes the file's version)\n"),
		path.c_str(), added, import.Count(TagImport::kSame), differing);
	return 0;
}
