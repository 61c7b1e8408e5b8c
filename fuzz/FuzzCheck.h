#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test is a finding like a crash: the
// fuzzer keeps the input that led to it.
#define FUZZ_CHECK(condition) \
	do { \
		if (!(condition)) { \
			fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
				#condition); \
			abort(); \
		} \
	} while (false)

#endif
