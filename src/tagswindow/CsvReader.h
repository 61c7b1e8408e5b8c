#ifndef CSV_READER_H
#define CSV_READER_H

#include <string>
#include <string_view>
#include <vector>

// A CSV file as a spreadsheet saves it, read through libcsv in its strict
// mode: records separated by CR LF, LF or CR; fields separated by ',' or
// ';' (whichever the header row uses: a German spreadsheet saves ';');
// quoted fields as RFC 4180 has them, with the separator, line breaks and
// doubled quotes inside; blanks around a field that is not quoted do not
// count; a byte order mark at the start is skipped. Anything that can be
// read in more than one way (a quote inside a field that is not quoted,
// text after a closing quote, a quote that is never closed, a header row
// with both separators or neither) refuses the whole file, with the
// number of the row as the spreadsheet counts it (the header is row 1).
class CsvReader {
public:
	struct Row {
		int				number = 0;
		std::vector<std::string> fields;
	};

	// The separator of the header row, ',' or ';'; 0 when it cannot be
	// told (both stand outside quotes, or neither).
	static	char			HeaderSeparator(std::string_view data);

	// Reads every row, the empty ones too (with no fields). false with
	// *problem saying which row cannot be read and why; *rows is then not
	// to be used. Fields must be UTF-8.
	static	bool			Read(std::string_view data,
								std::vector<Row>* rows, char* separator,
								std::string* problem);

	// Whether the text is well-formed UTF-8.
	static	bool			IsUtf8(std::string_view text);
};

#endif
