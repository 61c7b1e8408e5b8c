// Feeds arbitrary files to the access log's reader as rdx-log reads them:
// the input up to its first NUL byte is the rotated access.log.1, the rest
// the current access.log (an input without NUL has no rotated file).
//
// Every line must come out once: as a record holding that very line, or
// counted as damaged; a half line at the end of the current log waits for
// its writer. The records come in time order, each is matched by a filter
// made of its own fields, and each prints as exactly one line of the table
// (nothing a line could hold breaks it), one CSV row that a CSV reader
// takes back to the same fields, and its own JSON line.

#include "FuzzCheck.h"

#include <LogFilter.h>
#include <LogReader.h>
#include <RecordPrinter.h>
#include <TagNames.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string sDirectory;


void
remove_directory()
{
	unlink((sDirectory + "/access.log").c_str());
	unlink((sDirectory + "/access.log.1").c_str());
	rmdir(sDirectory.c_str());
}


void
write_file(const std::string& path, const std::string& data)
{
	FILE* file = fopen(path.c_str(), "wb");
	if (file == nullptr || fwrite(data.data(), 1, data.size(), file)
			!= data.size() || fclose(file) != 0) {
		perror(path.c_str());
		abort();
	}
}


// The non-empty lines of a file; a rotated file's last line counts even
// without its end.
std::vector<std::string>
lines_of(const std::string& data, bool rotated)
{
	std::vector<std::string> lines;
	size_t start = 0;
	for (size_t end; (end = data.find('\n', start)) != std::string::npos;
			start = end + 1) {
		if (end > start)
			lines.push_back(data.substr(start, end - start));
	}
	if (rotated && start < data.size())
		lines.push_back(data.substr(start));
	return lines;
}


std::string
printed(const LogRecord& record, RecordPrinter::Format format)
{
	char* buffer = nullptr;
	size_t length = 0;
	FILE* out = open_memstream(&buffer, &length);
	if (out == nullptr)
		abort();
	TagNames names;
	RecordPrinter(out, format, names).Print(record);
	fclose(out);
	std::string text(buffer, length);
	free(buffer);
	return text;
}


// One row of RFC 4180 CSV, ended by CRLF; false for anything else.
bool
read_csv_row(const std::string& text, std::vector<std::string>* fields)
{
	std::string field;
	size_t i = 0;
	for (;;) {
		if (i < text.size() && text[i] == '"') {
			for (i++;; i++) {
				if (i >= text.size())
					return false;
				if (text[i] == '"') {
					if (i + 1 < text.size() && text[i + 1] == '"')
						i++;
					else
						break;
				}
				field += text[i];
			}
			i++;
		} else {
			for (; i < text.size() && text[i] != ',' && text[i] != '\r'
					&& text[i] != '\n' && text[i] != '"'; i++)
				field += text[i];
		}
		fields->push_back(field);
		field.clear();
		if (i < text.size() && text[i] == ',') {
			i++;
			continue;
		}
		return text.compare(i, std::string::npos, "\r\n") == 0;
	}
}

}	// namespace


extern "C" int
LLVMFuzzerInitialize(int* argc, char*** argv)
{
	// Local times with summer time, as most users see them.
	setenv("TZ", "Europe/Berlin", 1);
	tzset();
	const char* temporary = getenv("TMPDIR");
	std::string pattern = std::string(temporary != nullptr && temporary[0]
		== '/' ? temporary : "/tmp") + "/rdx-fuzz-log-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr) {
		perror("mkdtemp");
		abort();
	}
	sDirectory = pattern;
	atexit(remove_directory);
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string input(reinterpret_cast<const char*>(data), size);
	size_t nul = input.find('\0');
	std::string rotated = nul == std::string::npos ? "" : input.substr(0, nul);
	std::string current = nul == std::string::npos ? input
		: input.substr(nul + 1);
	std::string path = sDirectory + "/access.log";
	if (nul == std::string::npos)
		unlink((path + ".1").c_str());
	else
		write_file(path + ".1", rotated);
	write_file(path, current);

	LogReader reader(path);
	std::vector<LogRecord> records;
	FUZZ_CHECK(reader.ReadAll(&records) == B_OK);

	std::vector<std::string> lines = lines_of(rotated, true);
	std::vector<std::string> currentLines = lines_of(current, false);
	lines.insert(lines.end(), currentLines.begin(), currentLines.end());
	FUZZ_CHECK(records.size() + (size_t)reader.Damaged() == lines.size());
	std::multiset<std::string> unclaimed(lines.begin(), lines.end());
	for (size_t i = 0; i < records.size(); i++) {
		const LogRecord& record = records[i];
		if (i > 0)
			FUZZ_CHECK(records[i - 1].Time() <= record.Time());
		// Each record is a line of the files, none taken twice.
		auto line = unclaimed.find(record.Line());
		FUZZ_CHECK(line != unclaimed.end());
		unclaimed.erase(line);

		LogFilter filter;
		filter.since = record.Time();
		filter.until = record.Time() + 1;
		filter.event = record.Event();
		std::string tag = record.Tag();
		for (char& c : tag) {
			if (c >= 'A' && c <= 'Z')
				c = (char)(c - 'A' + 'a');
		}
		filter.tag = tag;
		if (record.Relay() != 0)
			filter.relay = record.Relay();
		FUZZ_CHECK(filter.Matches(record));
		filter.until = record.Time();
		FUZZ_CHECK(!filter.Matches(record));

		std::string table = printed(record, RecordPrinter::kTable);
		FUZZ_CHECK(!table.empty() && table.back() == '\n');
		for (size_t c = 0; c + 1 < table.size(); c++)
			FUZZ_CHECK((unsigned char)table[c] >= 0x20 && table[c] != 0x7f);

		std::vector<std::string> row;
		FUZZ_CHECK(read_csv_row(printed(record, RecordPrinter::kCsv), &row));
		std::vector<std::string> expected = {format_local_time(record.Time()),
			record.Event(), record.Relay() != 0
				? std::to_string(record.Relay()) : "", record.Tag(), "",
			record.Result(), record.Program()};
		FUZZ_CHECK(row == expected);

		FUZZ_CHECK(printed(record, RecordPrinter::kJson)
			== record.Line() + "\n");
	}
	return 0;
}
