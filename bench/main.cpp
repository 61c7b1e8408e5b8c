// rdx-bench: the benchmarks of rdx. Every figure is set against a floor
// measured in the same run, because absolute times drift with the machine's
// load. Runs only inside a network namespace with loopback alone (bench/run
// arranges it) and sends to 127.0.0.1 only.

#include "DoorReport.h"
#include "Figures.h"
#include "ManyDoors.h"
#include "MqttFigures.h"
#include "ReaderReport.h"
#include "ReportTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

void
usage()
{
	fprintf(stderr, "usage: rdx-bench --rdx PATH --floor PATH --logs DIR"
		" [--reader PATH] [--door PATH] [--tags N] [--busy-tags N] [--runs N] [--flood N]"
		" [--idle SECONDS] [--only tag,busy,start,idle,flood,reader,pcsc,mqtt,doors,log,rules,door]\n");
}


double
mib(int64_t bytes)
{
	return bytes / (1024.0 * 1024.0);
}


// The table of one tag-to-board measurement; the ratio of medians.
double
print_tag(const TagResult& tag)
{
	printf("Milliseconds from the start of the request to the board's "
		"listener taking its first bytes.\n\n");
	printf("| Path | p50 | p99 | min | max |\n|---|---|---|---|---|\n");
	ReportTable::PrintRow("rdx: tag written to its port → GET at the board",
		tag.app);
	ReportTable::PrintRow("floor: the same wget through system()",
		tag.directWget);
	ReportTable::PrintRow("floor: plain GET on a socket", tag.plainGet);
	ReportTable::PrintRow("(rdx: tag written → queued by the application)",
		tag.portAck);
	double ratio = tag.directWget.Median() > 0
		? tag.app.Median() / tag.directWget.Median() : 0;
	printf("\nRatio of medians rdx / direct wget: **%.3f**\n", ratio);
	return ratio;
}


}	// namespace


int
main(int argc, char** argv)
{
	BenchConfig config;
	std::set<std::string> only;
	for (int i = 1; i < argc; i++) {
		std::string option = argv[i];
		if (i + 1 >= argc) {
			usage();
			return 2;
		}
		std::string value = argv[++i];
		if (option == "--rdx")
			config.rdx = value;
		else if (option == "--floor")
			config.floor = value;
		else if (option == "--reader")
			config.reader = value;
		else if (option == "--door")
			config.door = value;
		else if (option == "--logs")
			config.logDirectory = value;
		else if (option == "--tags")
			config.tags = atoi(value.c_str());
		else if (option == "--busy-tags")
			config.loadedTags = atoi(value.c_str());
		else if (option == "--runs")
			config.startRuns = atoi(value.c_str());
		else if (option == "--flood")
			config.floodCount = atoi(value.c_str());
		else if (option == "--idle")
			config.idleSeconds = atof(value.c_str());
		else if (option == "--only") {
			for (size_t start = 0; start <= value.size();) {
				size_t end = value.find(',', start);
				if (end == std::string::npos)
					end = value.size();
				only.insert(value.substr(start, end - start));
				start = end + 1;
			}
		} else {
			usage();
			return 2;
		}
	}
	if (config.rdx.empty() || config.floor.empty()
		|| config.logDirectory.empty() || config.tags < 1
		|| config.loadedTags < 0 || config.startRuns < 1 || config.floodCount < 1
		|| config.idleSeconds <= 0) {
		usage();
		return 2;
	}
	auto wanted = [&](const char* name) {
		return only.empty() || only.count(name) > 0;
	};
	// While this is the only thread: pcscd needs namespaces of its own.
	std::string pcscProblem = wanted("pcsc") && !config.reader.empty()
		? PreparePcscNamespaces() : "";

	std::vector<Target> targets;
	bool failed = false;
	auto failure = [&](const char* figure, const std::string& error) {
		printf("\n**%s: not measured: %s** (outputs in %s)\n", figure,
			error.c_str(), config.logDirectory.c_str());
		failed = true;
	};

	if (wanted("tag")) {
		fprintf(stderr, "rdx-bench: tag to board, %d tags\n", config.tags);
		TagResult tag = MeasureTagToBoard(config, config.tags, 0);
		printf("\n### 1. Tag to board (%zu tags, hold time 0)\n\n",
			tag.app.Count());
		double ratio = print_tag(tag);
		if (!tag.ok)
			failure("Tag to board", tag.error);
		targets.push_back({"tag to board p50", "≤ 1.15 × direct wget",
			ReportTable::Format("%.3f ×", ratio), tag.ok && ratio <= 1.15});
		targets.push_back({"tag to board p99", "< 25 ms",
			ReportTable::Format("%.2f ms", tag.app.Percentile(99)),
			tag.ok && tag.app.Percentile(99) < 25});
	}

	if (wanted("busy") && config.loadedTags > 0) {
		int busy = (int)std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
		fprintf(stderr, "rdx-bench: tag to board with %d busy threads, %d "
			"tags\n", busy, config.loadedTags);
		TagResult tag = MeasureTagToBoard(config, config.loadedTags, busy);
		printf("\n### 1b. Tag to board while every core is busy (%zu tags, "
			"%d threads of normal priority computing meanwhile)\n\n",
			tag.app.Count(), busy);
		double ratio = print_tag(tag);
		if (!tag.ok)
			failure("Tag to board, cores busy", tag.error);
		targets.push_back({"tag to board p50, cores busy",
			"≤ 1.15 × direct wget", ReportTable::Format("%.3f ×", ratio),
			tag.ok && ratio <= 1.15});
	}

	if (wanted("start")) {
		fprintf(stderr, "rdx-bench: start-up, %d runs each\n",
			config.startRuns);
		StartResult start = MeasureStartUp(config);
		printf("\n### 2. Start-up (%zu runs each, interleaved, board use off)"
			"\n\n", start.rdx.Count());
		printf("Milliseconds from exec to the window's first paint (a pixel "
			"of the background 237,242,235 read back from the X server).\n\n");
		printf("| Program | median | p99 | min | max |\n|---|---|---|---|---|\n");
		ReportTable::PrintRow("rdx", start.rdx);
		ReportTable::PrintRow("floor: minimal FLTK window", start.floor);
		ReportTable::PrintRow("(rdx: exec → window mapped)", start.rdxMapped);
		ReportTable::PrintRow("(floor: exec → window mapped)",
			start.floorMapped);
		double ratio = start.floor.Median() > 0
			? start.rdx.Median() / start.floor.Median() : 0;
		printf("\nrdx's window: %d × %d. Ratio of medians rdx / floor: "
			"**%.3f**\n", start.rdxWidth, start.rdxHeight, ratio);
		if (!start.ok)
			failure("Start-up", start.error);
		targets.push_back({"start-up", "≤ 1.25 × minimal FLTK window",
			ReportTable::Format("%.3f ×", ratio), start.ok && ratio <= 1.25});
	}

	if (wanted("idle")) {
		fprintf(stderr, "rdx-bench: idle, %.0f s\n", config.idleSeconds);
		IdleResult idle = MeasureIdle(config);
		printf("\n### 3. Idle (%.1f s, from 1 s after the first paint, "
			"board use off)\n\n", idle.seconds);
		printf("| Program | CPU ms | CPU ms (/proc ticks) | context switches |"
			" per second |\n|---|---|---|---|---|\n");
		printf("| rdx | %.3f | %.0f | %lld | %.2f |\n", idle.rdxCpuNs / 1e6,
			idle.rdxProcCpuNs / 1e6, (long long)idle.rdxSwitches,
			idle.seconds > 0 ? idle.rdxSwitches / idle.seconds : 0);
		printf("| floor: minimal FLTK window | %.3f | | %lld | %.2f |\n",
			idle.floorCpuNs / 1e6, (long long)idle.floorSwitches,
			idle.seconds > 0 ? idle.floorSwitches / idle.seconds : 0);
		printf("\nrdx by thread:\n\n| Thread | switches | CPU ms |\n"
			"|---|---|---|\n");
		for (const Process::ThreadInfo& thread : idle.rdxThreads) {
			printf("| %s (%d) | %lld | %.3f |\n", thread.name.c_str(),
				(int)thread.id, (long long)thread.switches,
				thread.cpuNs / 1e6);
		}
		if (!idle.ok)
			failure("Idle", idle.error);
		// 1 ms in 10 s, in proportion for another idle time.
		double cpuLimitMs = idle.seconds / 10;
		targets.push_back({"idle CPU",
			ReportTable::Format("< %.2g ms in %.0f s",
				cpuLimitMs, idle.seconds),
			ReportTable::Format("%.3f ms", idle.rdxCpuNs / 1e6),
			idle.ok && idle.rdxCpuNs / 1e6 < cpuLimitMs});
		// A blocked program is woken by nothing; a stray wake-up or two in
		// ten seconds is not a period.
		targets.push_back({"idle wake-ups", "none periodic (≤ 0.2/s)",
			ReportTable::Format("%.2f /s", idle.seconds > 0
				? idle.rdxSwitches / idle.seconds : 0),
			idle.ok && idle.rdxSwitches <= 0.2 * idle.seconds});

		double ratio = idle.floorPeakRss > 0
			? (double)idle.rdxPeakRss / idle.floorPeakRss : 0;
		printf("\n### 4. Memory (peak RSS, VmHWM, at the end of the idle "
			"time)\n\n");
		printf("| Program | VmHWM MiB |\n|---|---|\n");
		printf("| rdx | %.2f |\n| floor: minimal FLTK window | %.2f |\n",
			mib(idle.rdxPeakRss), mib(idle.floorPeakRss));
		printf("\nRatio rdx / floor: **%.3f**\n", ratio);
		targets.push_back({"peak RSS", "≤ 1.5 × minimal FLTK window",
			ReportTable::Format("%.3f ×", ratio), idle.ok && ratio <= 1.5});
	}

	if (wanted("flood")) {
		fprintf(stderr, "rdx-bench: flood, %d tag reads\n",
			config.floodCount);
		FloodResult flood = MeasureFlood(config);
		printf("\n### 5. Flood (%d tag reads from %d connections, board use "
			"off: each is answered by \"rdx ist aus\")\n\n", flood.count,
			config.floodSenders);
		double growth = flood.peakBefore > 0
			? (double)(flood.peakAfter - flood.peakBefore) / flood.peakBefore
			: 0;
		printf("| | |\n|---|---|\n");
		printf("| all posted (every send taken by the port) | %.3f s |\n",
			flood.postedSeconds);
		printf("| all handled (10,000th line printed) | %.3f s (%.0f per s)"
			" |\n", flood.handledSeconds, flood.handledSeconds > 0
				? flood.count / flood.handledSeconds : 0);
		printf("| sends refused | %d |\n", flood.sendFailures);
		printf("| VmHWM before → after | %.2f → %.2f MiB (+%.1f%%) |\n",
			mib(flood.peakBefore), mib(flood.peakAfter), growth * 100);
		printf("| one more tag read afterwards | %s (%.2f ms) |\n",
			flood.finalAnswered ? "answered" : "NOT answered", flood.finalMs);
		if (!flood.ok)
			failure("Flood", flood.error);
		targets.push_back({"flood peak RSS growth", "< 50 %",
			ReportTable::Format("%.1f %%", growth * 100),
			flood.ok && growth < 0.5 && flood.finalAnswered
				&& flood.sendFailures == 0});
	}

	if (wanted("mqtt")) {
		int opens = std::max(10, config.tags / 4);
		fprintf(stderr, "rdx-bench: rdx-mqtt, %d open commands\n", opens);
		MqttResult mqtt = MeasureMqtt(config, opens);
		printf("\n### 11. rdx-mqtt (%zu open commands, hold time 0)\n\n",
			mqtt.open.Count());
		printf("Milliseconds from mosquitto_pub's start to the board's "
			"listener taking its first bytes.\n\n");
		printf("| Path | p50 | p99 | min | max |\n|---|---|---|---|---|\n");
		ReportTable::PrintRow("open published → GET at the board", mqtt.open);
		ReportTable::PrintRow("floor: mosquitto_pub → mosquitto_sub round trip",
			mqtt.roundTrip);
		ReportTable::PrintRow("floor: the same wget through system()",
			mqtt.directWget);
		double floor = mqtt.roundTrip.Median() + mqtt.directWget.Median();
		double ratio = floor > 0 ? mqtt.open.Median() / floor : 0;
		printf("\nRatio of medians open / (round trip + wget): **%.3f**\n",
			ratio);
		printf("\nrdx-mqtt idle, both sides connected: %.3f ms CPU and %lld"
			" context switches in %.1f s.\n", mqtt.idleCpuNs / 1e6,
			(long long)mqtt.idleSwitches, mqtt.idleSeconds);
		if (!mqtt.ok)
			failure("rdx-mqtt", mqtt.error);
		targets.push_back({"MQTT open p50",
			"≤ 1.3 × (pub→sub round trip + direct wget)",
			ReportTable::Format("%.3f ×", ratio), mqtt.ok && ratio <= 1.3});
		double cpuLimitMs = mqtt.idleSeconds / 10;
		targets.push_back({"rdx-mqtt idle CPU",
			ReportTable::Format("< %.2g ms in %.0f s",
				cpuLimitMs, mqtt.idleSeconds),
			ReportTable::Format("%.3f ms", mqtt.idleCpuNs / 1e6),
			mqtt.ok && mqtt.idleCpuNs / 1e6 < cpuLimitMs});
	}

	if (wanted("doors"))
		failed |= !ReportManyDoors(config, &targets);

	if (wanted("reader") && !config.reader.empty())
		failed |= !ReportReader(config, &targets);
	if (wanted("pcsc") && !config.reader.empty())
		failed |= !ReportPcsc(config, pcscProblem, &targets);
	if (wanted("rules") && !config.reader.empty())
		failed |= !ReportTagList(config, &targets);

	if (wanted("door") && !config.door.empty())
		failed |= !ReportDoor(config, &targets);

	if (wanted("log")) {
		fprintf(stderr, "rdx-bench: access log cost, %d tags each\n",
			config.tags);
		LogCostResult cost = MeasureLogCost(config, config.tags);
		printf("\n### 12. Access log (%zu tags each to two rdx in turn, hold "
			"time 0)\n\n", cost.logOn.Count());
		printf("Milliseconds from the tag written to the port to the GET at "
			"the board.\n\n| rdx | p50 | p99 | min | max |\n"
			"|---|---|---|---|---|\n");
		ReportTable::PrintRow("access log written", cost.logOn);
		ReportTable::PrintRow("access log cannot be opened", cost.logOff);
		double ratio = cost.logOff.Median() > 0
			? cost.logOn.Median() / cost.logOff.Median() : 0;
		printf("\n%d relay records written. Ratio of medians log / no log: "
			"**%.3f**\n", cost.recordsWritten, ratio);
		if (!cost.ok)
			failure("Access log", cost.error);
		targets.push_back({"tag to board p50, log written",
			"≤ 1.03 × log unwritable", ReportTable::Format("%.3f ×", ratio),
			cost.ok && ratio <= 1.03});
	}

	printf("\n### Targets\n\n| Target | Limit | Measured | |\n"
		"|---|---|---|---|\n");
	for (const Target& target : targets) {
		printf("| %s | %s | %s | %s |\n", target.name.c_str(),
			target.limit.c_str(), target.measured.c_str(),
			target.met ? "met" : "**missed**");
	}
	return failed ? 1 : 0;
}
