// Start-up, idle cost and memory of rdx, each against a minimal FLTK
// program that shows one window of the same size and background.

#include "Figures.h"

#include "BenchClock.h"
#include "HttpListener.h"
#include "SettingsHome.h"
#include "WindowWatcher.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

const double kWindowSeconds = 15;


// A settings home with board use off: no request is involved. The board
// address still names a listener of ours, which must see nothing.
bool
seed_board_off(SettingsHome& home, const HttpListener& listener)
{
	return home.IsValid() && listener.IsValid()
		&& home.SetText("rdx_ip", "127.0.0.1:"
			+ std::to_string(listener.Port()))
		&& home.SetBool("rdx_use", false);
}


// Waits for the program's window to be mapped and then painted: a pixel
// near its bottom right corner, where rdx shows only its background, takes
// the background colour.
bool
wait_painted(WindowWatcher& watcher, WindowWatcher::Mapped* mapped,
	int64_t* paintedNs, std::string* error)
{
	if (!watcher.WaitForMap(kWindowSeconds, mapped)) {
		*error = "no window was mapped";
		return false;
	}
	if (!watcher.WaitForColor(mapped->window, mapped->width - 30,
			mapped->height - 10, kBackground[0], kBackground[1],
			kBackground[2], kWindowSeconds, paintedNs)) {
		*error = "the window was not painted in its background colour";
		return false;
	}
	return true;
}


// One start: exec to first paint, and exec to map, in milliseconds.
bool
start_once(WindowWatcher& watcher, const std::string& program,
	const std::map<std::string, std::string>& environment,
	const std::string& log, double* paintedMs, double* mappedMs,
	WindowWatcher::Mapped* mapped, std::string* error)
{
	watcher.Reset();
	int64_t start = bench_now_ns();
	Process process({program}, environment, log);
	if (process.Pid() <= 0) {
		*error = "cannot start " + program;
		return false;
	}
	int64_t painted;
	if (!wait_painted(watcher, mapped, &painted, error)) {
		*error = program + ": " + *error;
		return false;
	}
	*paintedMs = (painted - start) / 1e6;
	*mappedMs = (mapped->mappedNs - start) / 1e6;
	process.Stop(10);
	return true;
}

}	// namespace


StartResult
MeasureStartUp(const BenchConfig& config)
{
	StartResult result;
	WindowWatcher watcher(nullptr);
	HttpListener listener;
	SettingsHome home;
	if (!watcher.IsValid() || !seed_board_off(home, listener)) {
		result.error = "no X connection, listener or settings home";
		return result;
	}
	std::map<std::string, std::string> rdxEnvironment = home.Environment();
	std::map<std::string, std::string> floorEnvironment;
	std::string rdxLog = config.logDirectory + "/start-up.rdx.out";
	std::string floorLog = config.logDirectory + "/start-up.floor.out";

	// Run 0 of each warms the caches and lets rdx write its default settings;
	// it is not counted. The order alternates so that neither program always
	// follows the other.
	for (int run = 0; run <= config.startRuns; run++) {
		for (int turn = 0; turn < 2; turn++) {
			bool rdxTurn = (turn == 0) == (run % 2 == 0);
			double painted, mapped;
			WindowWatcher::Mapped window;
			if (!start_once(watcher, rdxTurn ? config.rdx : config.floor,
					rdxTurn ? rdxEnvironment : floorEnvironment,
					rdxTurn ? rdxLog : floorLog, &painted, &mapped, &window,
					&result.error))
				return result;
			if (run == 0)
				continue;
			if (rdxTurn) {
				result.rdx.Add(painted);
				result.rdxMapped.Add(mapped);
				result.rdxWidth = window.width;
				result.rdxHeight = window.height;
			} else {
				result.floor.Add(painted);
				result.floorMapped.Add(mapped);
			}
		}
	}
	if (listener.Count() != 0) {
		result.error = "rdx sent a board request with board use off";
		return result;
	}
	result.ok = true;
	return result;
}


IdleResult
MeasureIdle(const BenchConfig& config)
{
	IdleResult result;
	WindowWatcher watcher(nullptr);
	HttpListener listener;
	SettingsHome home;
	if (!watcher.IsValid() || !seed_board_off(home, listener)) {
		result.error = "no X connection, listener or settings home";
		return result;
	}

	watcher.Reset();
	Process rdx({config.rdx}, home.Environment(),
		config.logDirectory + "/idle.rdx.out");
	WindowWatcher::Mapped window;
	int64_t painted;
	if (!wait_painted(watcher, &window, &painted, &result.error))
		return result;
	watcher.Reset();
	Process floor({config.floor}, {}, config.logDirectory + "/idle.floor.out");
	if (!wait_painted(watcher, &window, &painted, &result.error))
		return result;

	// Start-up is over once both are painted; a second more for anything
	// either starts right after its first paint.
	bench_sleep_ms(1000);

	std::vector<Process::ThreadInfo> rdxBefore = rdx.Threads();
	std::vector<Process::ThreadInfo> floorBefore = floor.Threads();
	int64_t rdxCpu = rdx.CpuTimeNs();
	int64_t rdxProcCpu = rdx.ProcCpuTimeNs();
	int64_t floorCpu = floor.CpuTimeNs();
	int64_t start = bench_now_ns();
	bench_sleep_ms(config.idleSeconds * 1000);
	result.rdxCpuNs = rdx.CpuTimeNs() - rdxCpu;
	result.rdxProcCpuNs = rdx.ProcCpuTimeNs() - rdxProcCpu;
	result.floorCpuNs = floor.CpuTimeNs() - floorCpu;
	result.seconds = (bench_now_ns() - start) / 1e9;
	std::vector<Process::ThreadInfo> rdxAfter = rdx.Threads();
	std::vector<Process::ThreadInfo> floorAfter = floor.Threads();

	// A thread that began meanwhile counts from zero; one that ended is
	// missed, which the thread count below reports.
	auto difference = [](const std::vector<Process::ThreadInfo>& before,
		const std::vector<Process::ThreadInfo>& after) {
		std::vector<Process::ThreadInfo> changes;
		for (const Process::ThreadInfo& now : after) {
			Process::ThreadInfo change = now;
			for (const Process::ThreadInfo& then : before) {
				if (then.id == now.id) {
					change.switches -= then.switches;
					change.cpuNs -= then.cpuNs;
				}
			}
			changes.push_back(change);
		}
		return changes;
	};
	result.rdxThreads = difference(rdxBefore, rdxAfter);
	for (const Process::ThreadInfo& thread : result.rdxThreads)
		result.rdxSwitches += thread.switches;
	for (const Process::ThreadInfo& thread : difference(floorBefore,
			floorAfter))
		result.floorSwitches += thread.switches;

	result.rdxPeakRss = rdx.PeakRss();
	result.floorPeakRss = floor.PeakRss();
	if (rdxAfter.size() != rdxBefore.size()) {
		fprintf(stderr, "  idle: rdx had %zu threads before and %zu after\n",
			rdxBefore.size(), rdxAfter.size());
	}
	rdx.Stop(10);
	floor.Stop(10);
	if (listener.Count() != 0) {
		result.error = "rdx sent a board request with board use off";
		return result;
	}
	result.ok = true;
	return result;
}
