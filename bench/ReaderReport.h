#ifndef BENCH_READER_REPORT_H
#define BENCH_READER_REPORT_H

#include "Figures.h"

#include <string>
#include <vector>

struct Target {
	std::string		name;
	std::string		limit;
	std::string		measured;
	bool			met = false;
};

// Measures and prints rdx-reader's figures and adds its targets; false
// when a figure could not be measured.
bool ReportReader(const BenchConfig& config, std::vector<Target>* targets);
// The same for PC/SC readers; pcscProblem is what PreparePcscNamespaces
// gave.
bool ReportPcsc(const BenchConfig& config, const std::string& pcscProblem,
	std::vector<Target>* targets);
// The tag list with rules at 10,000 tags: the decision, a reload and
// rdx-reader's peak memory.
bool ReportTagList(const BenchConfig& config, std::vector<Target>* targets);

#endif
