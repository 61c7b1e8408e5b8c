#ifndef BENCH_PROCESS_H
#define BENCH_PROCESS_H

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// A program the benchmark starts and watches: its standard output goes to a
// file, its environment is the benchmark's with some variables replaced.
// It is killed and reaped if it still runs when the object goes.
class Process {
public:
	struct ThreadInfo {
		pid_t			id = 0;
		std::string		name;
		int64_t			switches = 0;	// voluntary + involuntary
		int64_t			cpuNs = 0;
	};

							Process(const std::vector<std::string>& argv,
								const std::map<std::string, std::string>&
									environment,
								const std::string& outputFile);
							~Process();

							Process(const Process&) = delete;
			Process&		operator=(const Process&) = delete;

			pid_t			Pid() const { return fPid; }
			bool			Running();
			// SIGTERM, then SIGKILL if it has not ended within the time.
			// True when it ended by itself after the SIGTERM.
			bool			Stop(double seconds);
			const std::string& OutputFile() const { return fOutputFile; }

			// CPU time of all its threads so far, in nanoseconds; -1 when
			// it cannot be read.
			int64_t			CpuTimeNs() const;
			// The same from /proc/PID/stat (utime + stime), in clock ticks
			// turned into nanoseconds: coarse, a cross-check only.
			int64_t			ProcCpuTimeNs() const;
			// Per thread, from /proc/PID/task/*.
			std::vector<ThreadInfo> Threads() const;
			// VmHWM and VmRSS in bytes; -1 when unreadable.
			int64_t			PeakRss() const;
			int64_t			Rss() const;

private:
			int64_t			_StatusValue(const char* key) const;

			pid_t			fPid = -1;
			bool			fReaped = false;
			std::string		fOutputFile;
};

#endif
