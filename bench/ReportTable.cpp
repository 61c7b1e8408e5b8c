#include "ReportTable.h"

#include <cstdio>


std::string
ReportTable::Format(const char* pattern, double a, double b)
{
	char text[128];
	snprintf(text, sizeof(text), pattern, a, b);
	return text;
}


void
ReportTable::PrintRow(const char* name, const Samples& samples)
{
	printf("| %s | %.2f | %.2f | %.2f | %.2f |\n", name, samples.Median(),
		samples.Percentile(99), samples.Min(), samples.Max());
}
