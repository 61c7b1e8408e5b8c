#ifndef REPORT_TABLE_H
#define REPORT_TABLE_H

#include "Samples.h"

#include <string>

// The report's table cells and rows, the same in every section.
class ReportTable {
public:
	// A figure in a cell: pattern takes one or two doubles.
	static	std::string		Format(const char* pattern, double a,
								double b = 0);
	// "| name | p50 | p99 | min | max |", in milliseconds.
	static	void			PrintRow(const char* name,
								const Samples& samples);
};

#endif
