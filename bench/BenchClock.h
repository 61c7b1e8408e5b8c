#ifndef BENCH_CLOCK_H
#define BENCH_CLOCK_H

#include <cstdint>
#include <ctime>

// One clock for every timestamp of the benchmark, in every thread: the
// monotonic clock, which no time adjustment moves.
inline int64_t
bench_now_ns()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return (int64_t)now.tv_sec * 1000000000LL + now.tv_nsec;
}


inline void
bench_sleep_ms(double milliseconds)
{
	int64_t ns = (int64_t)(milliseconds * 1e6);
	struct timespec delay = {(time_t)(ns / 1000000000LL),
		(long)(ns % 1000000000LL)};
	while (nanosleep(&delay, &delay) != 0) {
	}
}

inline double
ms_between(int64_t from, int64_t to)
{
	return (to - from) / 1e6;
}


// Every figure lets the last request's stragglers (the worker's pause and
// report, wget ending) finish before the next measurement starts, and gives
// up on a request after the same time.
constexpr double kSettleMs = 15;
constexpr double kWaitSeconds = 5;

#endif
