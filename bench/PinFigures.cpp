// Card and PIN: from the write of the PIN's Enter into a keyboard-type
// reader's FIFO to the board's GET, with the PIN's slow hash checked on the
// way; rdx-reader's peak memory meanwhile; and what one check costs, which
// is what every guess costs someone who has read the list.

#include "Figures.h"

#include "BenchClock.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Messenger.h>
#include <PinHash.h>

#include <linux/input.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kPin = "4711";


// Key events for the text ('\n' is Enter), gapMs apart, stamped from now.
std::string
keys(const std::string& text, int gapMs)
{
	static const int kDigits[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5,
		KEY_6, KEY_7, KEY_8, KEY_9};
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	int64_t us = (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
	std::string bytes;
	for (char c : text) {
		int code = c == '\n' ? KEY_ENTER : kDigits[c - '0'];
		for (int value : {1, 0}) {
			struct input_event event = {};
			event.input_event_sec
				= (decltype(event.input_event_sec))(us / 1000000);
			event.input_event_usec
				= (decltype(event.input_event_usec))(us % 1000000);
			event.type = EV_KEY;
			event.code = (uint16_t)code;
			event.value = value;
			bytes.append((const char*)&event, sizeof(event));
		}
		us += (int64_t)gapMs * 1000;
	}
	return bytes;
}


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


int
count_in(const std::string& file, const std::string& text)
{
	std::ifstream in(file);
	std::stringstream contents;
	contents << in.rdbuf();
	std::string all = contents.str();
	int count = 0;
	for (size_t at = all.find(text); at != std::string::npos;
			at = all.find(text, at + 1))
		count++;
	return count;
}


bool
wait_for_count(const std::string& file, const std::string& text, int count,
	double seconds)
{
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	while (count_in(file, text) < count) {
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(2);
	}
	return true;
}

}	// namespace


PinResult
MeasurePinToBoard(const BenchConfig& config, int reads)
{
	PinResult result;
	// One check alone, as a guess at the list's hash costs.
	std::string hash, problem;
	if (!PinHash::Make(kPin, strlen(kPin), &hash, &problem)) {
		result.error = problem;
		return result;
	}
	for (int i = 0; i < 20; i++) {
		int64_t start = bench_now_ns();
		if (PinHash::Verify(hash, "0000", 4)) {
			result.error = "a wrong PIN matched";
			return result;
		}
		result.check.Add(ms_between(start, bench_now_ns()));
	}

	HttpListener listener;
	SettingsHome home;
	if (!listener.IsValid() || !home.IsValid()) {
		result.error = "no listener or settings home";
		return result;
	}
	std::string board = "127.0.0.1:" + std::to_string(listener.Port());
	if (!home.SetText("rdx_ip", board) || !home.SetBool("rdx_use", true)
		|| !home.SetInt32("OpenInSecs", 0)
		|| !home.SetInt32("TagsUseDoor", 1)) {
		result.error = "cannot seed the settings";
		return result;
	}
	const char* tmp = getenv("TMPDIR");
	std::string directory = std::string(tmp != nullptr ? tmp : "/tmp")
		+ "/rdx-bench-pin-XXXXXX";
	if (mkdtemp(directory.data()) == nullptr) {
		result.error = "no directory for the reader's ends";
		return result;
	}
	std::string fifo = directory + "/keyboard";
	std::string tags = directory + "/tags";
	FILE* list = fopen(tags.c_str(), "w");
	if (mkfifo(fifo.c_str(), 0600) != 0 || list == nullptr) {
		result.error = "no FIFO or tag list";
		return result;
	}
	fprintf(list, "1000001 bench | pin ; pinhash %s\n", hash.c_str());
	fclose(list);
	chmod(tags.c_str(), 0600);

	Process rdx({config.rdx}, home.Environment(),
		config.logDirectory + "/pin-to-board.rdx.out");
	BMessenger messenger;
	HttpListener::Request request;
	if (!connect_to_rdx(home, &messenger, 10)
		|| !listener.WaitFor(1, kWaitSeconds + 2, &request)) {
		result.error = "rdx did not start";
		return result;
	}
	std::string output = config.logDirectory + "/pin-to-board.reader.out";
	Process reader({config.reader, "--tags", tags, "--repeat-ms", "0",
		"--keyboard", fifo}, home.Environment(), output);
	int writer = -1;
	if (wait_for_output(output, fifo + ": reading", 10))
		writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
	if (writer < 0) {
		result.error = "rdx-reader did not open its reader";
		return result;
	}

	for (int i = 0; i < reads && result.error.empty(); i++) {
		size_t next = listener.Count();
		if (!write_all(writer, keys("1000001\n", 1))
			|| !wait_for_count(output, "pin-wanted", i + 1, kWaitSeconds)) {
			result.error = "the tag was not taken";
			break;
		}
		// The PIN at a person's pace; the time runs from its Enter.
		if (!write_all(writer, keys(kPin, 150))) {
			result.error = "cannot write to the reader";
			break;
		}
		bench_sleep_ms(5);
		int64_t start = bench_now_ns();
		if (!write_all(writer, keys("\n", 0))
			|| !listener.WaitFor(next, kWaitSeconds, &request)
			|| request.target != "/?3=0") {
			result.error = "the board saw no open";
			break;
		}
		result.toBoard.Add(ms_between(start, request.arrivalNs));
		if (!listener.WaitFor(next + 1, kWaitSeconds, &request)) {
			result.error = "the board saw no close";
			break;
		}
		bench_sleep_ms(kSettleMs);
	}
	result.peakRss = reader.PeakRss();
	close(writer);
	reader.Stop(10);
	rdx.Stop(10);
	unlink(fifo.c_str());
	unlink(tags.c_str());
	rmdir(directory.c_str());
	result.ok = result.error.empty();
	return result;
}
