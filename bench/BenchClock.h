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

#endif
