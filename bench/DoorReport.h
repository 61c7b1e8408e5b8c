#ifndef BENCH_DOOR_REPORT_H
#define BENCH_DOOR_REPORT_H

#include "Figures.h"
#include "ReaderReport.h"

#include <vector>

// Measures and prints rdx-door's figures (the exit button to the board, a
// door held open past its limit to the alarm, rdx-door idle) and adds its
// targets; false when a figure could not be measured.
bool ReportDoor(const BenchConfig& config, std::vector<Target>* targets);

#endif
