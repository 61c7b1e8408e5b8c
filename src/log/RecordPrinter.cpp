#include "RecordPrinter.h"

#include "LogFilter.h"

#include <Locale.h>

#include <string>


std::string
csv_field(const std::string& text)
{
	if (text.find_first_of(",\"\r\n") == std::string::npos)
		return text;
	std::string quoted = "\"";
	for (char c : text) {
		if (c == '"')
			quoted += '"';
		quoted += c;
	}
	return quoted + "\"";
}


RecordPrinter::RecordPrinter(FILE* out, Format format, const TagNames& names)
	:
	fOut(out),
	fFormat(format),
	fNames(names)
{
}


void
RecordPrinter::PrintHeader()
{
	if (fFormat == kTable) {
		// The headings in the user's language; each fits its column (the
		// catalogue's translations are no wider than these widths).
		fprintf(fOut, "%-23s  %-9s  %-5s  %-14s  %-16s  %s\n",
			B_TRANSLATE("time"), B_TRANSLATE("event"), B_TRANSLATE("relay"),
			B_TRANSLATE("tag"), B_TRANSLATE("name"), B_TRANSLATE("result"));
	} else if (fFormat == kCsv)
		fprintf(fOut, "time,event,relay,tag,name,result,program\r\n");
}


void
RecordPrinter::Print(const LogRecord& record)
{
	if (fFormat == kJson) {
		fprintf(fOut, "%s\n", record.Line().c_str());
		return;
	}
	std::string time = format_local_time(record.Time());
	std::string relay = record.Relay() != 0 ? std::to_string(record.Relay())
		: std::string();
	std::string name = record.Tag().empty() ? std::string()
		: fNames.NameOf(record.Tag());
	if (fFormat == kCsv) {
		std::string line = csv_field(time) + "," + csv_field(record.Event())
			+ "," + relay + "," + csv_field(record.Tag()) + ","
			+ csv_field(name) + "," + csv_field(record.Result()) + ","
			+ csv_field(record.Program()) + "\r\n";
		fputs(line.c_str(), fOut);
		return;
	}
	// A tag or name from another program may hold anything: a line of the
	// table stays one line.
	auto flat = [](std::string text) {
		for (char& c : text) {
			if ((unsigned char)c < 0x20 || c == 0x7f)
				c = '?';
		}
		return text;
	};
	fprintf(fOut, "%-23s  %-9s  %-5s  %-14s  %-16s  %s\n", time.c_str(),
		flat(record.Event()).c_str(), relay.c_str(),
		flat(record.Tag()).c_str(), flat(name).c_str(),
		flat(record.Result()).c_str());
}
