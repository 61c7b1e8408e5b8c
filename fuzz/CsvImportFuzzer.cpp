// Feeds arbitrary bytes to the CSV import of rdx-tags, against a list
// with a named set, a card that is off, a line that cannot be read and a
// tag listed twice.
//
// The first byte chooses what is held: either the bytes are a file to
// import, or they are fields that the export writes and the reader reads
// back.
//
// A file taken is one where every row's tag is one the list can hold, no
// tag comes twice, and applying it (every differing tag taking the file's
// version) leaves each tag's counting line saying exactly its row's name
// and rules, usable; the list exported then and imported again differs in
// nothing. A refused file names a row that exists and leaves nothing to
// apply. Fields written by the export read back as they were, whatever
// separators, quotes and line breaks they hold.

#include "FuzzCheck.h"

#include <CsvReader.h>
#include <ReadHistory.h>
#include <TagExport.h>
#include <TagImport.h>
#include <TagListEditor.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const char* const kList =
	"@staff = Mo-Fr 07:00-19:00\n"
	"0014594826 front desk | @staff # keys returned\n"
	"04A1B2C3 spare card | off\n"
	"0001 nobody |\n"
	"0014594826 again\n";


// An editor holding kList, read from a file of the process's own once.
const TagListEditor&
list()
{
	static TagListEditor* editor = [] {
		// In the target's own work directory (fuzz-run sets TMPDIR).
		const char* directory = getenv("TMPDIR");
		std::string path = std::string(directory != nullptr ? directory
			: "/tmp") + "/fuzz-csv-import-XXXXXX";
		int fd = mkstemp(&path[0]);
		FUZZ_CHECK(fd >= 0);
		FUZZ_CHECK(write(fd, kList, strlen(kList)) == (ssize_t)strlen(kList));
		close(fd);
		TagListEditor* loaded = new TagListEditor(path);
		std::string problem;
		FUZZ_CHECK(loaded->Load(&problem) == B_OK);
		unlink(path.c_str());
		return loaded;
	}();
	return *editor;
}


void
import_file(const std::string& data)
{
	TagImport import;
	std::string problem;
	if (import.Read(data, list(), &problem) != B_OK) {
		FUZZ_CHECK(import.Entries().empty());
		FUZZ_CHECK(problem.compare(0, 4, "row ") == 0);
		FUZZ_CHECK(atoi(problem.c_str() + 4) >= 1);
		return;
	}
	for (TagImport::Entry& entry : import.Entries()) {
		FUZZ_CHECK(TagLine::IsWritableTag(entry.tag));
		FUZZ_CHECK(entry.tag == TagList::Normalized(entry.tag));
		entry.takeFile = true;
	}
	TagListEditor editor = list();
	FUZZ_CHECK(import.Apply(editor, &problem) == B_OK);
	const TagFile& file = editor.File();
	for (const TagImport::Entry& entry : import.Entries()) {
		const TagLine* line = file.Find(entry.tag);
		FUZZ_CHECK(line != nullptr);
		if (entry.kind == TagImport::kSame)
			continue;
		FUZZ_CHECK(line->Name() == entry.name);
		FUZZ_CHECK(line->RulesText() == entry.rules);
		FUZZ_CHECK(line->HasRules() == !entry.rules.empty());
		FUZZ_CHECK(line->Problem().empty() && file.RefusalOf(*line).empty());
	}

	// The list as it is now, exported and read back: all the same.
	std::vector<std::string> left;
	int rows = 0;
	std::string exported = TagExport::Text(file, ReadHistory(),
		data.size() % 2 == 0 ? ',' : ';', &left, &rows);
	TagImport back;
	FUZZ_CHECK(back.Read(exported, editor, &problem) == B_OK);
	FUZZ_CHECK(back.Count(TagImport::kSame) == rows);
	FUZZ_CHECK((int)back.Entries().size() == rows);
}


// The bytes as fields, three to a row, split at NUL; what the export
// writes of them reads back as they were (the reader does not keep blanks
// around a field, nor the export's guard).
void
write_fields(const std::string& data, char separator)
{
	std::vector<std::string> fields;
	size_t start = 0;
	while (start <= data.size() && fields.size() < 30) {
		size_t end = data.find('\0', start);
		std::string field = data.substr(start, end == std::string::npos
			? std::string::npos : end - start);
		fields.push_back(TagImport::Unguarded(field));
		if (end == std::string::npos)
			break;
		start = end + 1;
	}
	while (fields.size() % 3 != 0)
		fields.push_back("x");
	std::string text = "tag" + std::string(1, separator) + "name"
		+ std::string(1, separator) + "rules\r\n";
	for (size_t i = 0; i < fields.size(); i++) {
		text += TagExport::Field(fields[i], separator);
		text += i % 3 == 2 ? "\r\n" : std::string(1, separator);
	}
	std::vector<CsvReader::Row> rows;
	char found = 0;
	std::string problem;
	bool utf8 = true;
	for (const std::string& field : fields)
		utf8 = utf8 && CsvReader::IsUtf8(field);
	bool read = CsvReader::Read(text, &rows, &found, &problem);
	FUZZ_CHECK(read == utf8);
	if (!read)
		return;
	FUZZ_CHECK(found == separator);
	size_t next = 0;
	for (const CsvReader::Row& row : rows) {
		if (row.number == 1 || row.fields.empty())
			continue;
		FUZZ_CHECK(row.fields.size() == 3);
		for (const std::string& field : row.fields) {
			FUZZ_CHECK(next < fields.size());
			FUZZ_CHECK(TagImport::Unguarded(field) == fields[next]);
			next++;
		}
	}
	FUZZ_CHECK(next == fields.size());
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
	if (size == 0)
		return 0;
	std::string data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
	switch (bytes[0] % 3) {
		case 0:
			import_file(data);
			break;
		case 1:
			write_fields(data, ',');
			break;
		case 2:
			write_fields(data, ';');
			break;
	}
	return 0;
}
