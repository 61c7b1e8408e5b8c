// Many doors on one broker. Each door is what a site runs per door: an rdx
// with its own home (settings, runtime directory, access log) and an
// rdx-mqtt beside it, on one X server; each rdx has a board listener of its
// own. One mosquitto on loopback carries them all. The benchmark publishes
// the open commands itself, over one kept connection, so that the figure
// is the doors' and the broker's, not the start of a mosquitto_pub.

#include "ManyDoors.h"

#include "BenchClock.h"
#include "HttpListener.h"
#include "MqttPublisher.h"
#include "SettingsHome.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kDoorCounts[] = {1, 10, 30};
// Commands per second, the same for every number of doors: the doors share
// them, so that what grows is what the broker and the machine carry, not
// the work asked of them.
const double kCommandsPerSecond = 10;


bool
write_file(const std::string& path, const std::string& text)
{
	std::ofstream out(path, std::ios::trunc);
	out << text;
	out.close();
	return !out.fail();
}


// Proportional set size: what the process costs the machine, its shared
// pages divided among all that map them, so that thirty doors' copies of
// the same libraries are not counted thirty times. -1 when unreadable.
int64_t
pss_bytes(pid_t pid)
{
	std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
	for (std::string line; std::getline(in, line);) {
		if (line.compare(0, 4, "Pss:") == 0)
			return atoll(line.c_str() + 4) * 1024;
	}
	return -1;
}


int64_t
switches_of(const Process& process)
{
	int64_t total = 0;
	for (const Process::ThreadInfo& thread : process.Threads())
		total += thread.switches;
	return total;
}


double
mib(int64_t bytes)
{
	return bytes / (1024.0 * 1024.0);
}


struct Door {
	std::string		name;
	HttpListener	board;
	SettingsHome	home;
	std::unique_ptr<Process> rdx;
	std::unique_ptr<Process> bridge;
	// The door takes the next command once the board has seen this many
	// requests (the last open and its close), and kSettleMs after that.
	size_t			idleAt = 2;
	int64_t			closedNs = 0;
};


struct Row {
	int				doors = 0;
	Samples			latency;
	// Commands sent more than a tenth of a period late because every door
	// was still busy with its last one.
	int				late = 0;
	// Per door, rdx and rdx-mqtt together.
	Samples			rssMiB;
	Samples			pssMiB;
};


class ManyDoors {
public:
							ManyDoors(const BenchConfig& config);
							~ManyDoors();

			bool			Start(std::string* error);
			bool			AddDoors(int count, std::string* error);
			bool			Measure(int commands, Row* row,
								std::string* error);
			void			MeasureIdle(double seconds, double* doorCpuMs,
								double* maxDoorCpuMs, double* switchesPerDoor,
								double* brokerCpuMs);

private:
			bool			_Idle(Door& door);

			const BenchConfig& fConfig;
			SettingsHome	fBrokerHome;
			int				fPort = 0;
			std::unique_ptr<Process> fBroker;
			MqttPublisher	fPublisher;
			std::vector<std::unique_ptr<Door>> fDoors;
			std::mt19937	fRandom{20261208};
};


ManyDoors::ManyDoors(const BenchConfig& config)
	:
	fConfig(config)
{
}


ManyDoors::~ManyDoors()
{
	// Bridges first, so that none reports a broker that went away.
	for (auto& door : fDoors) {
		if (door->bridge != nullptr)
			door->bridge->Stop(5);
	}
	for (auto& door : fDoors) {
		if (door->rdx != nullptr)
			door->rdx->Stop(5);
	}
	fPublisher.Disconnect();
	if (fBroker != nullptr)
		fBroker->Stop(5);
}


bool
ManyDoors::Start(std::string* error)
{
	fPort = free_loopback_port();
	std::string brokerConfig = fBrokerHome.Path() + "/mosquitto.conf";
	if (!fBrokerHome.IsValid() || fPort == 0
		|| !write_file(brokerConfig, "listener " + std::to_string(fPort)
			+ " 127.0.0.1\nallow_anonymous true\npersistence false\n"
			"user root\n")) {
		*error = "no home, port or configuration for the broker";
		return false;
	}
	fBroker = std::make_unique<Process>(std::vector<std::string>{"/bin/sh",
		"-c", "exec mosquitto -c '" + brokerConfig + "' 2>&1"},
		fBrokerHome.Environment(),
		fConfig.logDirectory + "/doors.broker.out");
	int64_t end = bench_now_ns() + (int64_t)(kWaitSeconds * 1e9);
	while (!fPublisher.Connect(fPort, 1)) {
		if (bench_now_ns() > end) {
			*error = "no connection to mosquitto";
			return false;
		}
		bench_sleep_ms(20);
	}
	return true;
}


bool
ManyDoors::AddDoors(int count, std::string* error)
{
	std::string bridgeProgram = fConfig.rdx.substr(0,
		fConfig.rdx.rfind("/src/app/")) + "/tools/rdx-mqtt/rdx-mqtt";
	size_t first = fDoors.size();
	while ((int)fDoors.size() < count) {
		auto door = std::make_unique<Door>();
		door->name = "door" + std::to_string(fDoors.size() + 1);
		std::string board = "127.0.0.1:" + std::to_string(door->board.Port());
		std::string bridgeConfig = door->home.Path() + "/mqtt.conf";
		if (!door->board.IsValid() || !door->home.IsValid()
			|| !door->home.SetText("rdx_ip", board)
			|| !door->home.SetBool("rdx_use", true)
			|| !door->home.SetInt32("OpenInSecs", 0)
			|| !door->home.SetInt32("TagsUseDoor", 1)
			|| !write_file(bridgeConfig, "port = " + std::to_string(fPort)
				+ "\ndoor = " + door->name + "\n")) {
			*error = "cannot seed " + door->name;
			return false;
		}
		std::string log = fConfig.logDirectory + "/doors." + door->name;
		door->rdx = std::make_unique<Process>(
			std::vector<std::string>{fConfig.rdx}, door->home.Environment(),
			log + ".rdx.out");
		door->bridge = std::make_unique<Process>(
			std::vector<std::string>{"/bin/sh", "-c", "exec '"
				+ bridgeProgram + "' --config '" + bridgeConfig + "' 2>&1"},
			door->home.Environment(), log + ".bridge.out");
		fDoors.push_back(std::move(door));
	}
	// All started at once; each one's start-up pulse of relay 1 (a second
	// open) has to be over, and its bridge has to see both sides.
	for (size_t i = first; i < fDoors.size(); i++) {
		Door& door = *fDoors[i];
		HttpListener::Request request;
		if (!door.board.WaitFor(1, kWaitSeconds + 10, &request)) {
			*error = door.name + ": the start-up pulse did not close";
			return false;
		}
		door.closedNs = request.arrivalNs;
		if (!wait_for_output(door.bridge->OutputFile(), "watching rdx", 20)
			|| !wait_for_output(door.bridge->OutputFile(),
				"connected to the broker", 20)) {
			*error = door.name + ": rdx-mqtt did not connect to both sides";
			return false;
		}
	}
	return true;
}


bool
ManyDoors::_Idle(Door& door)
{
	if (door.board.Count() < door.idleAt)
		return false;
	if (door.closedNs == 0) {
		HttpListener::Request close;
		door.board.WaitFor(door.idleAt - 1, 0, &close);
		door.closedNs = close.arrivalNs;
	}
	return bench_now_ns() - door.closedNs >= (int64_t)(kSettleMs * 1e6);
}


bool
ManyDoors::Measure(int commands, Row* row, std::string* error)
{
	struct Pending {
		Door*		door;
		size_t		index;
		int64_t		startNs;
	};
	std::vector<Pending> pending;
	auto collect = [&](bool wait) {
		for (size_t i = 0; i < pending.size();) {
			HttpListener::Request request;
			if (!pending[i].door->board.WaitFor(pending[i].index,
					wait ? kWaitSeconds : 0, &request)) {
				if (wait) {
					*error = pending[i].door->name + " saw no open";
					return false;
				}
				i++;
				continue;
			}
			if (request.target != "/?3=0") {
				*error = pending[i].door->name + " saw " + request.target
					+ " where an open was due";
				return false;
			}
			row->latency.Add(ms_between(pending[i].startNs,
				request.arrivalNs));
			pending.erase(pending.begin() + i);
		}
		return true;
	};

	const int64_t period = (int64_t)(1e9 / kCommandsPerSecond);
	int64_t due = bench_now_ns() + period;
	for (int sent = 0; sent < commands;) {
		while (bench_now_ns() < due)
			bench_sleep_ms(std::min(5.0, (due - bench_now_ns()) / 1e6));
		if (!collect(false))
			return false;
		std::vector<Door*> idle;
		for (auto& door : fDoors) {
			if (_Idle(*door))
				idle.push_back(door.get());
		}
		if (idle.empty()) {
			if (bench_now_ns() - due > (int64_t)(kWaitSeconds * 1e9)) {
				*error = "no door became free for the next command";
				return false;
			}
			bench_sleep_ms(1);
			continue;
		}
		Door* door = idle[fRandom() % idle.size()];
		size_t index = door->board.Count();
		door->idleAt = index + 2;
		door->closedNs = 0;
		int64_t start = bench_now_ns();
		if (start - due > period / 10)
			row->late++;
		if (!fPublisher.Publish("rdx/" + door->name + "/open", "PRESS")) {
			*error = "the publish failed";
			return false;
		}
		pending.push_back({door, index, start});
		sent++;
		due += period;
		// A late command does not make the next ones come in a burst.
		due = std::max(due, start + period / 2);
	}
	if (!collect(true))
		return false;

	for (auto& door : fDoors) {
		row->rssMiB.Add(mib(door->rdx->Rss() + door->bridge->Rss()));
		row->pssMiB.Add(mib(pss_bytes(door->rdx->Pid())
			+ pss_bytes(door->bridge->Pid())));
	}
	row->doors = (int)fDoors.size();
	return true;
}


void
ManyDoors::MeasureIdle(double seconds, double* doorCpuMs,
	double* maxDoorCpuMs, double* switchesPerDoor, double* brokerCpuMs)
{
	// Every request of the last commands is over by now.
	bench_sleep_ms(1000);
	std::vector<int64_t> cpuBefore, switchesBefore;
	for (auto& door : fDoors) {
		cpuBefore.push_back(door->rdx->CpuTimeNs()
			+ door->bridge->CpuTimeNs());
		switchesBefore.push_back(switches_of(*door->rdx)
			+ switches_of(*door->bridge));
	}
	int64_t brokerBefore = fBroker->CpuTimeNs();
	bench_sleep_ms(seconds * 1000);
	*brokerCpuMs = (fBroker->CpuTimeNs() - brokerBefore) / 1e6;
	double totalCpu = 0, maxCpu = 0, totalSwitches = 0;
	for (size_t i = 0; i < fDoors.size(); i++) {
		double cpu = (fDoors[i]->rdx->CpuTimeNs()
			+ fDoors[i]->bridge->CpuTimeNs() - cpuBefore[i]) / 1e6;
		totalCpu += cpu;
		maxCpu = std::max(maxCpu, cpu);
		totalSwitches += switches_of(*fDoors[i]->rdx)
			+ switches_of(*fDoors[i]->bridge) - switchesBefore[i];
	}
	*doorCpuMs = totalCpu / fDoors.size();
	*maxDoorCpuMs = maxCpu;
	*switchesPerDoor = totalSwitches / fDoors.size();
}

}	// namespace


bool
ReportManyDoors(const BenchConfig& config, std::vector<Target>* targets)
{
	int commands = std::max(20, config.tags * 3 / 4);
	fprintf(stderr, "rdx-bench: many doors, %d open commands for each of "
		"1, 10 and 30 doors\n", commands);
	std::vector<Row> rows;
	std::string error;
	double doorCpuMs = 0, maxDoorCpuMs = 0, switchesPerDoor = 0;
	double brokerCpuMs = 0;
	{
		ManyDoors doors(config);
		bool ok = doors.Start(&error);
		for (int count : kDoorCounts) {
			if (!ok)
				break;
			Row row;
			ok = doors.AddDoors(count, &error)
				&& doors.Measure(commands, &row, &error);
			if (ok)
				rows.push_back(row);
		}
		if (ok) {
			doors.MeasureIdle(config.idleSeconds, &doorCpuMs, &maxDoorCpuMs,
				&switchesPerDoor, &brokerCpuMs);
		}
	}

	printf("\n### 14. Many doors on one broker (%d open commands for each "
		"number of doors, %.0f per second to doors at random, hold time 0)"
		"\n\n", commands, kCommandsPerSecond);
	printf("Milliseconds from the command's publish (QoS 1, one kept "
		"connection) to the door's board listener taking the first bytes of "
		"the open; memory per door is its rdx and rdx-mqtt together.\n\n");
	printf("| Doors | p50 | p99 | min | max | late sends | RSS per door MiB "
		"(mean / max) | PSS per door MiB (mean) |\n"
		"|---|---|---|---|---|---|---|---|\n");
	for (const Row& row : rows) {
		printf("| %d | %.2f | %.2f | %.2f | %.2f | %d | %.2f / %.2f | %.2f |\n",
			row.doors, row.latency.Median(), row.latency.Percentile(99),
			row.latency.Min(), row.latency.Max(), row.late,
			row.rssMiB.Median(), row.rssMiB.Max(), row.pssMiB.Median());
	}
	bool ok = rows.size() == sizeof(kDoorCounts) / sizeof(kDoorCounts[0]);
	double ratio = ok && rows.front().latency.Percentile(99) > 0
		? rows.back().latency.Percentile(99)
			/ rows.front().latency.Percentile(99) : 0;
	if (ok) {
		printf("\nRatio of p99 with %d doors / 1 door: **%.3f**\n",
			rows.back().doors, ratio);
		printf("\n%d doors idle over %.0f s: %.3f ms CPU per door (at most "
			"%.3f ms), %.2f context switches per door; the broker %.3f ms."
			"\n", rows.back().doors, config.idleSeconds, doorCpuMs,
			maxDoorCpuMs, switchesPerDoor, brokerCpuMs);
	} else {
		printf("\n**Many doors: not measured: %s** (outputs in %s)\n",
			error.c_str(), config.logDirectory.c_str());
	}

	char text[64];
	snprintf(text, sizeof(text), "%.3f ×", ratio);
	targets->push_back({"30 doors p99", "≤ 1.5 × p99 with 1 door", text,
		ok && ratio <= 1.5});
	// As for rdx alone: 1 ms in 10 s, in proportion for another idle time.
	double cpuLimitMs = config.idleSeconds / 10;
	snprintf(text, sizeof(text), "< %.2g ms in %.0f s", cpuLimitMs,
		config.idleSeconds);
	std::string limit = text;
	snprintf(text, sizeof(text), "%.3f ms (most: %.3f)", doorCpuMs,
		maxDoorCpuMs);
	targets->push_back({"idle door CPU, 30 doors", limit, text,
		ok && maxDoorCpuMs < cpuLimitMs});
	// rdx-mqtt looks at its keep-alive every 15 s; more than that would be
	// a period of its own.
	double perSecond = switchesPerDoor / config.idleSeconds;
	snprintf(text, sizeof(text), "%.2f /s", perSecond);
	targets->push_back({"idle door wake-ups, 30 doors",
		"none periodic (≤ 0.2/s per door)", text, ok && perSecond <= 0.2});
	return ok;
}
