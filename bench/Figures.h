#ifndef BENCH_FIGURES_H
#define BENCH_FIGURES_H

#include "Process.h"
#include "Samples.h"

#include <cstdint>
#include <string>
#include <vector>

class BMessenger;
class SettingsHome;

struct BenchConfig {
	std::string		rdx;
	std::string		floor;
	std::string		reader;
	std::string		door;
	// Where the programs' outputs are kept for a look after the run.
	std::string		logDirectory;
	int				tags = 200;
	// Tags for the same figure while every core is kept busy; 0: none.
	int				loadedTags = 100;
	int				startRuns = 12;
	int				floodCount = 10000;
	int				floodSenders = 4;
	double			idleSeconds = 10;
};

// Tag to board: milliseconds from the write to the port (or the start of
// the direct command) to the board's listener.
struct TagResult {
	bool			ok = false;
	std::string		error;
	Samples			app;
	Samples			directWget;
	Samples			plainGet;
	// From the write to the port until the application has queued it.
	Samples			portAck;
};

// Start-up: milliseconds from exec to the window's first paint.
struct StartResult {
	bool			ok = false;
	std::string		error;
	Samples			rdx;
	Samples			floor;
	Samples			rdxMapped;
	Samples			floorMapped;
	int				rdxWidth = 0;
	int				rdxHeight = 0;
};

// Idle and memory, from one rdx and one floor window side by side.
struct IdleResult {
	bool			ok = false;
	std::string		error;
	double			seconds = 0;
	int64_t			rdxCpuNs = 0;
	int64_t			rdxProcCpuNs = 0;
	int64_t			floorCpuNs = 0;
	int64_t			rdxSwitches = 0;
	int64_t			floorSwitches = 0;
	// Per thread of rdx: switches and CPU during the idle time.
	std::vector<Process::ThreadInfo> rdxThreads;
	int64_t			rdxPeakRss = 0;
	int64_t			floorPeakRss = 0;
};

struct FloodResult {
	bool			ok = false;
	std::string		error;
	int				count = 0;
	int				sendFailures = 0;
	double			postedSeconds = 0;
	double			handledSeconds = 0;
	int64_t			peakBefore = 0;
	int64_t			peakAfter = 0;
	bool			finalAnswered = false;
	double			finalMs = 0;
};

// rdx-reader: milliseconds from the write of a read's last byte to the
// board's listener, for all reads and by kind, against the direct wget.
struct ReaderResult {
	bool			ok = false;
	std::string		error;
	Samples			reader;
	Samples			keyboard;
	Samples			serial;
	Samples			directWget;
};

// rdx-reader with a keyboard and a serial source open and nothing read.
struct ReaderIdleResult {
	bool			ok = false;
	std::string		error;
	double			seconds = 0;
	int64_t			cpuNs = 0;
	int64_t			switches = 0;
	int64_t			peakRss = 0;
	int				threads = 0;
};

// Reads back to back from one serial source, counted in rdx-reader's lines.
struct ReaderBurstResult {
	bool			ok = false;
	std::string		error;
	int				count = 0;
	int				lost = 0;
	int				doubled = 0;
	int				notPassed = 0;
	int				boardRequests = 0;
	double			seconds = 0;
};

ReaderResult MeasureReaderToBoard(const BenchConfig& config, int reads);

// Card and PIN: milliseconds from the write of the PIN's Enter to the
// board's listener; one check of the PIN's hash alone; rdx-reader's peak
// memory.
struct PinResult {
	bool			ok = false;
	std::string		error;
	Samples			toBoard;
	Samples			check;
	int64_t			peakRss = 0;
};

PinResult MeasurePinToBoard(const BenchConfig& config, int reads);
ReaderIdleResult MeasureReaderIdle(const BenchConfig& config);
class Process;
// The idle figure of a running rdx-reader, after a second for its start;
// stops it at the end.
void MeasureIdleReader(const BenchConfig& config, Process& reader,
	ReaderIdleResult* result);
ReaderBurstResult MeasureReaderBurst(const BenchConfig& config, int reads);
// PC/SC: the reader figure's samples are from the card's answer to the
// power-on; the idle figure has pcscd up and no card.
// Takes a mount namespace for pcscd's /run/pcscd; call while the benchmark
// has one thread. Empty, or why the PC/SC figures cannot be measured.
std::string PreparePcscNamespaces();
ReaderResult MeasurePcscToBoard(const BenchConfig& config, int reads);
ReaderIdleResult MeasurePcscIdle(const BenchConfig& config);

// Tag to board of two rdx at once, tags sent in turn: one writing its
// access log, one whose log directory cannot be made.
struct LogCostResult {
	bool			ok = false;
	std::string		error;
	Samples			logOn;
	Samples			logOff;
	// Relay records found in the written log afterwards.
	int				recordsWritten = 0;
};

// busyThreads threads of normal priority spin while it is measured, so that
// every path competes for the processor as on a busy machine.
TagResult MeasureTagToBoard(const BenchConfig& config, int tags,
	int busyThreads);
StartResult MeasureStartUp(const BenchConfig& config);
IdleResult MeasureIdle(const BenchConfig& config);
FloodResult MeasureFlood(const BenchConfig& config);
LogCostResult MeasureLogCost(const BenchConfig& config, int tags);

// Shared by the figures.

// Points the benchmark's own messengers at this home's message ports and
// waits until rdx takes connections.
bool connect_to_rdx(const SettingsHome& home, BMessenger* messenger,
	double seconds);
// Waits until the file holds the text.
bool wait_for_output(const std::string& file, const std::string& text,
	double seconds);
// A port of 127.0.0.1 that nobody listens on now; 0 when none was found.
int free_loopback_port();
// An RDM6300 frame (STX, ten hex characters, checksum, ETX) for the tag
// 01 followed by the id as eight hex digits.
std::string rdm6300_frame(uint32_t id);
// rdx's window background.
const uint8_t kBackground[3] = {237, 242, 235};

#endif
