#include "Figures.h"

#include "BenchClock.h"
#include "SettingsHome.h"

#include <Messenger.h>
#include <RDXDefs.h>

#include <cstdlib>
#include <fstream>
#include <sstream>


bool
connect_to_rdx(const SettingsHome& home, BMessenger* messenger, double seconds)
{
	// The port's place follows XDG_RUNTIME_DIR, read when a messenger is made.
	setenv("XDG_RUNTIME_DIR", home.RuntimeDirectory().c_str(), 1);
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		status_t status;
		BMessenger candidate(RDX_SIGNATURE, -1, &status);
		if (status == B_OK) {
			*messenger = candidate;
			return true;
		}
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(5);
	}
}


bool
wait_for_output(const std::string& file, const std::string& text,
	double seconds)
{
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		std::ifstream in(file);
		std::stringstream contents;
		contents << in.rdbuf();
		if (contents.str().find(text) != std::string::npos)
			return true;
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(5);
	}
}
