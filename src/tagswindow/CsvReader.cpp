#include "CsvReader.h"

#include <Locale.h>

#include <csv.h>

namespace {

// What libcsv's callbacks fill in, row by row.
struct Collector {
	std::vector<CsvReader::Row>* rows;
	CsvReader::Row	current;
	bool			started = false;
	// The terminator of the row before, to tell a CR LF from an empty
	// line: libcsv reports the LF after the CR that ended a row as a line
	// of its own.
	int				lastEnd = 0;
	int				number = 1;
};


void
take_field(void* text, size_t length, void* data)
{
	Collector& collector = *static_cast<Collector*>(data);
	collector.started = true;
	collector.current.fields.emplace_back(text != nullptr
		? std::string(static_cast<const char*>(text), length) : std::string());
}


void
end_row(int terminator, void* data)
{
	Collector& collector = *static_cast<Collector*>(data);
	bool empty = !collector.started;
	int last = collector.lastEnd;
	collector.lastEnd = terminator;
	if (empty && terminator == '\n' && last == '\r')
		return;
	collector.current.number = collector.number++;
	collector.rows->push_back(std::move(collector.current));
	collector.current = CsvReader::Row();
	collector.started = false;
}


std::string
row_problem(int row, const std::string& what)
{
	return translate_format("row %d: %s", row, what.c_str());
}

}	// namespace


char
CsvReader::HeaderSeparator(std::string_view data)
{
	bool quoted = false;
	bool comma = false;
	bool semicolon = false;
	for (char c : data) {
		if (c == '"')
			quoted = !quoted;
		else if (!quoted && (c == '\r' || c == '\n'))
			break;
		else if (!quoted && c == ',')
			comma = true;
		else if (!quoted && c == ';')
			semicolon = true;
	}
	if (comma == semicolon)
		return 0;
	return comma ? ',' : ';';
}


bool
CsvReader::IsUtf8(std::string_view text)
{
	size_t i = 0;
	while (i < text.size()) {
		unsigned char c = (unsigned char)text[i];
		if (c < 0x80) {
			i++;
			continue;
		}
		size_t length;
		unsigned int low;
		if (c >= 0xC2 && c <= 0xDF) {
			length = 2;
			low = 0x80;
		} else if (c >= 0xE0 && c <= 0xEF) {
			length = 3;
			low = 0x800;
		} else if (c >= 0xF0 && c <= 0xF4) {
			length = 4;
			low = 0x10000;
		} else
			return false;
		if (i + length > text.size())
			return false;
		unsigned int code = c & (0xFF >> (length + 1));
		for (size_t k = 1; k < length; k++) {
			unsigned char next = (unsigned char)text[i + k];
			if ((next & 0xC0) != 0x80)
				return false;
			code = (code << 6) | (next & 0x3F);
		}
		// Overlong forms, surrogates and what lies beyond Unicode.
		if (code < low || (code >= 0xD800 && code <= 0xDFFF)
			|| code > 0x10FFFF)
			return false;
		i += length;
	}
	return true;
}


bool
CsvReader::Read(std::string_view data, std::vector<Row>* rows,
	char* separator, std::string* problem)
{
	rows->clear();
	if (data.substr(0, 3) == "\xEF\xBB\xBF")
		data.remove_prefix(3);
	*separator = HeaderSeparator(data);
	if (*separator == 0) {
		*problem = row_problem(1, B_TRANSLATE("the separator cannot be told:"
			" the header row names the columns (tag, name, rules), separated"
			" by ',' or by ';', not by both"));
		return false;
	}

	struct csv_parser parser;
	if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
		*problem = B_TRANSLATE("out of memory");
		return false;
	}
	csv_set_delim(&parser, (unsigned char)*separator);
	Collector collector;
	collector.rows = rows;
	size_t parsed = csv_parse(&parser, data.data(), data.size(), take_field,
		end_row, &collector);
	int error = parsed == data.size() ? 0 : csv_error(&parser);
	if (error == 0 && csv_fini(&parser, take_field, end_row, &collector) != 0)
		error = csv_error(&parser);
	csv_free(&parser);
	if (error != 0) {
		*problem = row_problem(collector.number, error == CSV_EPARSE
			? B_TRANSLATE("the quotes cannot be read: a field with a quote,"
				" a separator or a line break in it is put in quotes as a"
				" whole, and a quote in it is doubled (\"\")")
			: csv_strerror(error));
		return false;
	}
	for (const Row& row : *rows) {
		for (const std::string& field : row.fields) {
			if (IsUtf8(field))
				continue;
			*problem = row_problem(row.number, B_TRANSLATE("not UTF-8 text"
				" (save the file as \"CSV UTF-8\")"));
			return false;
		}
	}
	return true;
}
