#include "ReaderReport.h"
#include "ReportTable.h"

#include <PinHash.h>

#include <cstdio>


bool
ReportReader(const BenchConfig& config, std::vector<Target>* targets)
{
	bool ok = true;
	auto failure = [&](const char* figure, const std::string& error) {
		printf("\n**%s: not measured: %s** (outputs in %s)\n", figure,
			error.c_str(), config.logDirectory.c_str());
		ok = false;
	};

	fprintf(stderr, "rdx-bench: reader to board, %d reads\n", config.tags);
	ReaderResult toBoard = MeasureReaderToBoard(config, config.tags);
	printf("\n### 6. Reader to board (%zu reads, alternately a keyboard-type"
		" reader and an RDM6300 serial reader; hold time 0)\n\n",
		toBoard.reader.Count());
	printf("Milliseconds from the write of the last byte a read needs (the"
		" Enter press into the FIFO, the ETX into the pseudo-terminal) to"
		" the board's listener taking the first bytes of the open.\n\n");
	printf("| Path | p50 | p99 | min | max |\n|---|---|---|---|---|\n");
	ReportTable::PrintRow("rdx-reader → rdx → GET at the board, all",
		toBoard.reader);
	ReportTable::PrintRow("(keyboard-type reader, FIFO of input events)",
		toBoard.keyboard);
	ReportTable::PrintRow("(RDM6300 reader, pseudo-terminal)", toBoard.serial);
	ReportTable::PrintRow("floor: the same wget through system()",
		toBoard.directWget);
	double ratio = toBoard.directWget.Median() > 0
		? toBoard.reader.Median() / toBoard.directWget.Median() : 0;
	printf("\nRatio of medians reader / direct wget: **%.3f**\n", ratio);
	if (!toBoard.ok)
		failure("Reader to board", toBoard.error);
	targets->push_back({"reader to board p50", "≤ 1.2 × direct wget",
		ReportTable::Format("%.3f ×", ratio), toBoard.ok && ratio <= 1.2});
	targets->push_back({"reader to board p99", "< 30 ms",
		ReportTable::Format("%.2f ms", toBoard.reader.Percentile(99)),
		toBoard.ok && toBoard.reader.Percentile(99) < 30});

	const int pinReads = 100;
	fprintf(stderr, "rdx-bench: PIN to board, %d reads\n", pinReads);
	PinResult pin = MeasurePinToBoard(config, pinReads);
	printf("\n### 6b. Card and PIN (%zu reads at a keyboard-type reader: the"
		" tag, then the PIN typed 150 ms a key; hold time 0)\n\n",
		pin.toBoard.Count());
	printf("Milliseconds from the write of the PIN's Enter into the FIFO to"
		" the board's listener taking the open; the check of the PIN's"
		" Argon2id hash (m=%u KiB, t=%u) is on the way. One check alone is"
		" what each guess costs someone who has read the list.\n\n",
		PinHash::kMemoryKiB, PinHash::kPasses);
	printf("| Path | p50 | p99 | min | max |\n|---|---|---|---|---|\n");
	ReportTable::PrintRow("PIN's Enter → check → rdx → GET at the board",
		pin.toBoard);
	ReportTable::PrintRow("one check of a PIN's hash", pin.check);
	double guesses = pin.check.Median() * 10000 / 1000;
	printf("\nAll 10,000 four-digit PINs against one hash: **%.0f s** of one"
		" core here (%.0f s on both); rdx-reader's peak memory: **%.2f"
		" MiB**\n", guesses, guesses / 2, pin.peakRss / (1024.0 * 1024.0));
	if (!pin.ok)
		failure("Card and PIN", pin.error);
	targets->push_back({"PIN's Enter to board p50", "≤ 100 ms",
		ReportTable::Format("%.2f ms", pin.toBoard.Median()),
		pin.ok && pin.toBoard.Median() <= 100});
	targets->push_back({"PIN's Enter to board p99", "≤ 200 ms",
		ReportTable::Format("%.2f ms", pin.toBoard.Percentile(99)),
		pin.ok && pin.toBoard.Percentile(99) <= 200});
	targets->push_back({"reader peak RSS with a PIN check", "< 32 MiB",
		ReportTable::Format("%.2f MiB", pin.peakRss / (1024.0 * 1024.0)),
		pin.ok && pin.peakRss < 32 * 1024 * 1024});

	fprintf(stderr, "rdx-bench: reader idle, %.0f s\n", config.idleSeconds);
	ReaderIdleResult idle = MeasureReaderIdle(config);
	printf("\n### 7. rdx-reader idle (%.1f s, a keyboard-type and a serial"
		" source open, nothing read)\n\n", idle.seconds);
	printf("| CPU ms | context switches | per second | threads | VmHWM MiB |\n"
		"|---|---|---|---|---|\n");
	printf("| %.3f | %lld | %.2f | %d | %.2f |\n", idle.cpuNs / 1e6,
		(long long)idle.switches, idle.seconds > 0
			? idle.switches / idle.seconds : 0, idle.threads,
		idle.peakRss / (1024.0 * 1024.0));
	if (!idle.ok)
		failure("Reader idle", idle.error);
	double cpuLimitMs = idle.seconds / 10;
	targets->push_back({"reader idle CPU",
		ReportTable::Format("< %.2g ms in 10 s",
			cpuLimitMs * 10 / (idle.seconds > 0 ? idle.seconds : 10)),
		ReportTable::Format("%.3f ms", idle.cpuNs / 1e6),
		idle.ok && idle.cpuNs / 1e6 < cpuLimitMs});
	targets->push_back({"reader idle wake-ups", "none periodic (≤ 0.2/s)",
		ReportTable::Format("%.2f /s",
			idle.seconds > 0 ? idle.switches / idle.seconds : 0),
		idle.ok && idle.switches <= 0.2 * idle.seconds});
	targets->push_back({"reader peak RSS", "≤ 4 MiB",
		ReportTable::Format("%.2f MiB", idle.peakRss / (1024.0 * 1024.0)),
		idle.ok && idle.peakRss <= 4 * 1024 * 1024});

	const int burstReads = 1000;
	fprintf(stderr, "rdx-bench: reader burst, %d reads\n", burstReads);
	ReaderBurstResult burst = MeasureReaderBurst(config, burstReads);
	printf("\n### 8. Reader burst (%d RDM6300 frames of different tags"
		" written back to back into one pseudo-terminal; rdx runs with"
		" board use off)\n\n", burst.count);
	printf("| | |\n|---|---|\n");
	printf("| all read and passed on | %.3f s |\n", burst.seconds);
	printf("| lost (no line) | %d |\n| doubled (two lines) | %d |\n",
		burst.lost, burst.doubled);
	printf("| not \"passed on\" | %d |\n| requests at the board | %d |\n",
		burst.notPassed, burst.boardRequests);
	if (!burst.ok)
		failure("Reader burst", burst.error);
	targets->push_back({"reader burst of 1,000", "none lost or doubled",
		ReportTable::Format("%.0f lost or doubled", burst.lost + burst.doubled),
		burst.ok && burst.lost == 0 && burst.doubled == 0
			&& burst.notPassed == 0 && burst.boardRequests == 0});
	return ok;
}


bool
ReportPcsc(const BenchConfig& config, const std::string& pcscProblem,
	std::vector<Target>* targets)
{
	if (!pcscProblem.empty()) {
		printf("\n**PC/SC figures: not measured: %s**\n", pcscProblem.c_str());
		return false;
	}
	bool ok = true;
	const int reads = 40;
	fprintf(stderr, "rdx-bench: card to board, %d cards\n", reads);
	ReaderResult toBoard = MeasurePcscToBoard(config, reads);
	printf("\n### 9. Card to board (%zu cards through pcscd and vpcd;"
		" hold time 0)\n\n", toBoard.reader.Count());
	printf("Milliseconds from the virtual card's answer to the reader's"
		" power-on (its ATR) to the board's listener taking the first bytes"
		" of the open; the direct wget from its start.\n\n");
	printf("| Path | p50 | p99 | min | max |\n|---|---|---|---|---|\n");
	ReportTable::PrintRow("pcscd → rdx-reader → rdx → GET at the board",
		toBoard.reader);
	ReportTable::PrintRow("floor: the same wget through system()",
		toBoard.directWget);
	double ratio = toBoard.directWget.Median() > 0
		? toBoard.reader.Median() / toBoard.directWget.Median() : 0;
	printf("\nRatio of medians card / direct wget: **%.3f**\n", ratio);
	if (!toBoard.ok) {
		printf("\n**Card to board: not measured: %s** (outputs in %s)\n",
			toBoard.error.c_str(), config.logDirectory.c_str());
		ok = false;
	}
	targets->push_back({"card to board p50", "≤ 1.3 × direct wget",
		ReportTable::Format("%.3f ×", ratio), toBoard.ok && ratio <= 1.3});

	fprintf(stderr, "rdx-bench: PC/SC idle, %.0f s\n", config.idleSeconds);
	ReaderIdleResult idle = MeasurePcscIdle(config);
	printf("\n### 10. rdx-reader idle with PC/SC (%.1f s, pcscd up with two"
		" virtual readers, no card)\n\n", idle.seconds);
	printf("| CPU ms | context switches | per second | threads | VmHWM MiB |\n"
		"|---|---|---|---|---|\n");
	printf("| %.3f | %lld | %.2f | %d | %.2f |\n", idle.cpuNs / 1e6,
		(long long)idle.switches, idle.seconds > 0
			? idle.switches / idle.seconds : 0, idle.threads,
		idle.peakRss / (1024.0 * 1024.0));
	if (!idle.ok) {
		printf("\n**PC/SC idle: not measured: %s** (outputs in %s)\n",
			idle.error.c_str(), config.logDirectory.c_str());
		ok = false;
	}
	targets->push_back({"PC/SC idle CPU", "< 1 ms in 10 s",
		ReportTable::Format("%.3f ms", idle.cpuNs / 1e6),
		idle.ok && idle.cpuNs / 1e6 < idle.seconds / 10});
	targets->push_back({"PC/SC idle wake-ups", "none periodic (≤ 0.2/s)",
		ReportTable::Format("%.2f /s",
			idle.seconds > 0 ? idle.switches / idle.seconds : 0),
		idle.ok && idle.switches <= 0.2 * idle.seconds});
	return ok;
}
