// rdx-reader's figures: a tag read at a reader until the board sees the
// open, rdx-reader idle with a keyboard and a serial source open, and a
// burst of serial reads. The readers are a FIFO of input events and a
// pseudo-terminal, as in the tests (this kernel has no uinput).

#include "Figures.h"

#include "BenchClock.h"
#include "DirectWget.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Messenger.h>

#include <linux/input.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool
write_all(int fd, const std::string& bytes)
{
	size_t done = 0;
	while (done < bytes.size()) {
		ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return false;
		done += (size_t)count;
	}
	return true;
}


// The events of a keyboard-type reader typing the digits and Enter, 1 ms
// apart as fast readers type; *enter gets the events from Enter's press on.
std::string
typed(const std::string& digits, std::string* enter)
{
	static const int kDigits[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5,
		KEY_6, KEY_7, KEY_8, KEY_9};
	std::string bytes;
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	int64_t us = (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
	auto add = [&](int type, int code, int value) {
		struct input_event event = {};
		event.input_event_sec = (decltype(event.input_event_sec))(us / 1000000);
		event.input_event_usec
			= (decltype(event.input_event_usec))(us % 1000000);
		event.type = (uint16_t)type;
		event.code = (uint16_t)code;
		event.value = value;
		bytes.append((const char*)&event, sizeof(event));
	};
	std::string keys = digits + "\n";
	for (char c : keys) {
		int code = c == '\n' ? KEY_ENTER : kDigits[c - '0'];
		if (c == '\n') {
			std::string before;
			before.swap(bytes);
			add(EV_KEY, code, 1);
			add(EV_SYN, SYN_REPORT, 0);
			add(EV_KEY, code, 0);
			add(EV_SYN, SYN_REPORT, 0);
			*enter = bytes;
			return before;
		}
		add(EV_KEY, code, 1);
		add(EV_SYN, SYN_REPORT, 0);
		add(EV_KEY, code, 0);
		add(EV_SYN, SYN_REPORT, 0);
		us += 1000;
	}
	return bytes;
}


std::string
read_text(const std::string& path)
{
	std::ifstream in(path);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}


// The two ends a reader is given: a FIFO and a pseudo-terminal, in a
// directory of the benchmark's own.
struct ReaderEnds {
	std::string		directory;
	std::string		fifo;
	int				master = -1;
	std::string		slave;
	int				fifoWriter = -1;

	bool Make()
	{
		const char* tmp = getenv("TMPDIR");
		std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp")
			+ "/rdx-bench-reader-XXXXXX";
		if (mkdtemp(pattern.data()) == nullptr)
			return false;
		directory = pattern;
		fifo = directory + "/keyboard";
		if (mkfifo(fifo.c_str(), 0600) != 0)
			return false;
		int slaveFD;
		char name[256];
		if (openpty(&master, &slaveFD, name, nullptr, nullptr) != 0)
			return false;
		close(slaveFD);
		slave = name;
		return true;
	}

	// Once the reader has the FIFO open.
	bool OpenWriter()
	{
		fifoWriter = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
		if (fifoWriter < 0)
			return false;
		fcntl(fifoWriter, F_SETFL, 0);
		return true;
	}

	~ReaderEnds()
	{
		if (fifoWriter >= 0)
			close(fifoWriter);
		if (master >= 0)
			close(master);
		if (!fifo.empty())
			unlink(fifo.c_str());
		if (!directory.empty())
			rmdir(directory.c_str());
	}
};


std::vector<std::string>
reader_arguments(const BenchConfig& config, const ReaderEnds& ends)
{
	return {config.reader, "--any-tag", "--repeat-ms", "0", "--keyboard",
		ends.fifo, "--serial", ends.slave};
}

}	// namespace


ReaderResult
MeasureReaderToBoard(const BenchConfig& config, int reads)
{
	ReaderResult result;
	HttpListener listener;
	SettingsHome home;
	ReaderEnds ends;
	if (!listener.IsValid() || !home.IsValid() || !ends.Make()) {
		result.error = "no listener, settings home or reader ends";
		return result;
	}
	std::string board = "127.0.0.1:" + std::to_string(listener.Port());
	if (!home.SetText("rdx_ip", board) || !home.SetBool("rdx_use", true)
		|| !home.SetInt32("OpenInSecs", 0)
		|| !home.SetInt32("TagsUseDoor", 1)) {
		result.error = "cannot seed the settings";
		return result;
	}
	Process rdx({config.rdx}, home.Environment(),
		config.logDirectory + "/reader-to-board.rdx.out");
	BMessenger messenger;
	if (!connect_to_rdx(home, &messenger, 10)) {
		result.error = "rdx did not open its message port";
		return result;
	}
	HttpListener::Request request;
	if (!listener.WaitFor(1, kWaitSeconds + 2, &request)
		|| request.target != "/?3=1") {
		result.error = "the start-up pulse did not close";
		return result;
	}

	std::string readerOutput = config.logDirectory
		+ "/reader-to-board.reader.out";
	Process reader(reader_arguments(config, ends), home.Environment(),
		readerOutput);
	if (!wait_for_output(readerOutput, ends.slave + ": reading", 10)
		|| !ends.OpenWriter()) {
		result.error = "rdx-reader did not open its readers";
		return result;
	}

	DirectWget directWget(board);
	if (!directWget.IsValid()) {
		result.error = "no private directory for the floor's answers";
		return result;
	}
	const std::string& wget = directWget.Command();

	// The time to the open goes into samples, and into also when given.
	auto through_board = [&](Samples* samples, Samples* also,
			int64_t start, bool closes, size_t next) {
		if (!listener.WaitFor(next, kWaitSeconds, &request)
			|| request.target != "/?3=0") {
			result.error = "the board saw no open";
			return false;
		}
		samples->Add(ms_between(start, request.arrivalNs));
		if (also != nullptr)
			also->Add(ms_between(start, request.arrivalNs));
		if (closes && (!listener.WaitFor(next + 1, kWaitSeconds, &request)
			|| request.target != "/?3=1")) {
			result.error = "the board saw no close";
			return false;
		}
		bench_sleep_ms(kSettleMs);
		return true;
	};

	for (int i = 0; i < reads; i++) {
		// Alternately at the keyboard and the serial reader. The time runs
		// from the write of the last piece the reader needs: Enter's press
		// into the FIFO, the ETX into the pseudo-terminal.
		bool keyboard = i % 2 == 0;
		std::string last;
		std::string first;
		if (keyboard)
			first = typed(std::to_string(1000000 + i), &last);
		else {
			first = rdm6300_frame(1000000 + (uint32_t)i);
			last = first.substr(first.size() - 1);
			first.pop_back();
		}
		int fd = keyboard ? ends.fifoWriter : ends.master;
		size_t next = listener.Count();
		if (!write_all(fd, first)) {
			result.error = "cannot write to the reader";
			return result;
		}
		bench_sleep_ms(1);
		int64_t start = bench_now_ns();
		if (!write_all(fd, last)) {
			result.error = "cannot write to the reader";
			return result;
		}
		if (!through_board(&result.reader,
				keyboard ? &result.keyboard : &result.serial, start, true, next))
			return result;

		// The same wget, started directly.
		next = listener.Count();
		int64_t wgetStart = bench_now_ns();
		if (system(wget.c_str()) != 0) {
			result.error = "the direct wget failed";
			return result;
		}
		if (!through_board(&result.directWget, nullptr, wgetStart, false, next))
			return result;
		if ((i + 1) % 50 == 0)
			fprintf(stderr, "  reader to board: %d of %d\n", i + 1, reads);
	}
	reader.Stop(10);
	rdx.Stop(10);
	result.ok = true;
	return result;
}


ReaderIdleResult
MeasureReaderIdle(const BenchConfig& config)
{
	ReaderIdleResult result;
	SettingsHome home;
	ReaderEnds ends;
	if (!home.IsValid() || !ends.Make()) {
		result.error = "no settings home or reader ends";
		return result;
	}
	// No rdx: an idle reader has nothing to post, and rdx's own idle is
	// figure 3.
	std::string output = config.logDirectory + "/reader-idle.reader.out";
	Process reader(reader_arguments(config, ends), home.Environment(), output);
	if (!wait_for_output(output, ends.slave + ": reading", 10)
		|| !ends.OpenWriter()) {
		result.error = "rdx-reader did not open its readers";
		return result;
	}
	MeasureIdleReader(config, reader, &result);
	return result;
}


void
MeasureIdleReader(const BenchConfig& config, Process& reader,
	ReaderIdleResult* result)
{
	// Start-up is over: the same second as rdx's idle figure.
	bench_sleep_ms(1000);
	auto switches = [&]() {
		int64_t total = 0;
		for (const Process::ThreadInfo& thread : reader.Threads())
			total += thread.switches;
		return total;
	};
	int64_t cpuBefore = reader.CpuTimeNs();
	int64_t switchesBefore = switches();
	int64_t start = bench_now_ns();
	bench_sleep_ms(config.idleSeconds * 1000);
	result->seconds = (bench_now_ns() - start) / 1e9;
	result->cpuNs = reader.CpuTimeNs() - cpuBefore;
	result->switches = switches() - switchesBefore;
	result->peakRss = reader.PeakRss();
	result->threads = (int)reader.Threads().size();
	if (!reader.Running() || cpuBefore < 0 || result->peakRss < 0) {
		result->error = "rdx-reader ended or cannot be measured";
		return;
	}
	reader.Stop(10);
	result->ok = true;
}


ReaderBurstResult
MeasureReaderBurst(const BenchConfig& config, int reads)
{
	ReaderBurstResult result;
	result.count = reads;
	SettingsHome home;
	ReaderEnds ends;
	HttpListener listener;
	if (!home.IsValid() || !ends.Make() || !listener.IsValid()) {
		result.error = "no settings home, reader ends or listener";
		return result;
	}
	// rdx runs with board use off: every read goes all the way to it and
	// is answered with "rdx ist aus", and the board sees nothing.
	std::string board = "127.0.0.1:" + std::to_string(listener.Port());
	if (!home.SetText("rdx_ip", board) || !home.SetBool("rdx_use", false)) {
		result.error = "cannot seed the settings";
		return result;
	}
	Process rdx({config.rdx}, home.Environment(),
		config.logDirectory + "/reader-burst.rdx.out");
	BMessenger messenger;
	if (!connect_to_rdx(home, &messenger, 10)) {
		result.error = "rdx did not open its message port";
		return result;
	}
	std::string output = config.logDirectory + "/reader-burst.reader.out";
	Process reader(reader_arguments(config, ends), home.Environment(), output);
	if (!wait_for_output(output, ends.slave + ": reading", 10)) {
		result.error = "rdx-reader did not open its readers";
		return result;
	}

	std::string frames;
	for (int i = 0; i < reads; i++)
		frames += rdm6300_frame(2000000 + (uint32_t)i);
	int64_t start = bench_now_ns();
	if (!write_all(ends.master, frames)) {
		result.error = "cannot write to the reader";
		return result;
	}
	char last[16];
	snprintf(last, sizeof(last), "%010u", 2000000u + (unsigned)reads - 1);
	if (!wait_for_output(output, std::string(last) + ": passed on", 60)) {
		result.error = "the last tag did not pass";
		return result;
	}
	result.seconds = (bench_now_ns() - start) / 1e9;

	std::string text = read_text(output);
	for (int i = 0; i < reads; i++) {
		char line[64];
		snprintf(line, sizeof(line), "%010u: ", 2000000u + (unsigned)i);
		size_t first = text.find(line);
		if (first == std::string::npos) {
			result.lost++;
			continue;
		}
		if (text.find(line, first + 1) != std::string::npos)
			result.doubled++;
		if (text.compare(first + strlen(line), 9, "passed on") != 0)
			result.notPassed++;
	}
	result.boardRequests = (int)listener.Count();
	reader.Stop(10);
	rdx.Stop(10);
	result.ok = true;
	return result;
}
