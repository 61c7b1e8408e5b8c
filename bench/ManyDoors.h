#ifndef BENCH_MANY_DOORS_H
#define BENCH_MANY_DOORS_H

#include "Figures.h"
#include "ReaderReport.h"

#include <vector>

// Many doors on one broker: 1, then 10, then 30 doors (an rdx and its
// rdx-mqtt each, with homes and board listeners of their own, all on one
// X server and one mosquitto on loopback), open commands published to doors
// at random at a steady rate. Prints the figure and adds its targets; false
// when it could not be measured.
bool ReportManyDoors(const BenchConfig& config, std::vector<Target>* targets);

#endif
