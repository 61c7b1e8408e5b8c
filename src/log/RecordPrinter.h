#ifndef RECORD_PRINTER_H
#define RECORD_PRINTER_H

#include "LogRecord.h"
#include "TagNames.h"

#include <cstdio>

// Prints records for a person (a table in local time), for a spreadsheet
// (CSV, RFC 4180) or for another program (the records' own JSON lines).
class RecordPrinter {
public:
	enum Format { kTable, kCsv, kJson };

							RecordPrinter(FILE* out, Format format,
								const TagNames& names);

	// The table's and the CSV's first line; nothing for JSON.
			void			PrintHeader();
			void			Print(const LogRecord& record);

private:
			FILE*			fOut;
			Format			fFormat;
			const TagNames&	fNames;
};

// One CSV field, quoted where it must be.
std::string csv_field(const std::string& text);

#endif
