// Flood: many tag reads posted to rdx as fast as its port takes them, with
// board use off so that each one is answered by a line and no request.

#include "Figures.h"

#include "BenchClock.h"
#include "HttpListener.h"
#include "SettingsHome.h"
#include "WindowWatcher.h"

#include <Message.h>
#include <Messenger.h>
#include <RDXDefs.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char kOffLine[] = "rdx ist aus\n";


// Counts the lines that a tag read with board use off prints, reading only
// what the file has gained since the last look.
class LineCounter {
public:
							LineCounter(const std::string& path);

			int				Update();

private:
			std::string		fPath;
			off_t			fOffset = 0;
			std::string		fLine;
			int				fCount = 0;
};


LineCounter::LineCounter(const std::string& path)
	:
	fPath(path)
{
}


int
LineCounter::Update()
{
	int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return fCount;
	char buffer[65536];
	ssize_t got;
	while ((got = pread(fd, buffer, sizeof(buffer), fOffset)) > 0) {
		fOffset += got;
		for (ssize_t i = 0; i < got; i++) {
			fLine += buffer[i];
			if (buffer[i] != '\n')
				continue;
			if (fLine == kOffLine)
				fCount++;
			fLine.clear();
		}
	}
	close(fd);
	return fCount;
}


bool
wait_count(LineCounter& counter, int count, double seconds)
{
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	while (counter.Update() < count) {
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(1);
	}
	return true;
}

}	// namespace


FloodResult
MeasureFlood(const BenchConfig& config)
{
	FloodResult result;
	WindowWatcher watcher(nullptr);
	HttpListener listener;
	SettingsHome home;
	if (!watcher.IsValid() || !listener.IsValid() || !home.IsValid()
		|| !home.SetText("rdx_ip", "127.0.0.1:"
			+ std::to_string(listener.Port()))
		|| !home.SetBool("rdx_use", false)) {
		result.error = "no X connection, listener or settings home";
		return result;
	}

	watcher.Reset();
	std::string log = config.logDirectory + "/flood.rdx.out";
	Process rdx({config.rdx}, home.Environment(), log);
	WindowWatcher::Mapped window;
	int64_t painted;
	if (!watcher.WaitForMap(15, &window)
		|| !watcher.WaitForColor(window.window, window.width - 30,
			window.height - 10, kBackground[0], kBackground[1], kBackground[2],
			15, &painted)) {
		result.error = "rdx did not show its window";
		return result;
	}

	// One connection per sender, made before the clock starts.
	int senders = std::max(1, config.floodSenders);
	std::vector<BMessenger> messengers(senders);
	for (BMessenger& messenger : messengers) {
		if (!connect_to_rdx(home, &messenger, 10)) {
			result.error = "rdx did not open its message port";
			return result;
		}
	}
	bench_sleep_ms(500);
	result.peakBefore = rdx.PeakRss();

	LineCounter counter(log);
	int before = counter.Update();
	result.count = config.floodCount;

	std::atomic<int> failures{0};
	std::vector<std::thread> threads;
	int64_t start = bench_now_ns();
	for (int s = 0; s < senders; s++) {
		int share = config.floodCount / senders
			+ (s < config.floodCount % senders ? 1 : 0);
		threads.emplace_back([&, s, share] {
			BMessage tag(RDX_MSG_TAG);
			tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
			for (int i = 0; i < share; i++) {
				if (messengers[s].SendMessage(&tag, nullptr, 10 * 1000000LL)
						!= B_OK)
					failures++;
			}
		});
	}
	// The lines are counted while the senders still send: the port takes a
	// message once it is queued, so handling may end later than posting or,
	// when it keeps pace, at the same moment.
	std::atomic<int64_t> posted{0};
	std::thread joiner([&] {
		for (std::thread& thread : threads)
			thread.join();
		posted = bench_now_ns();
	});
	// A refused send is never answered, so it is not waited for once every
	// sender is done.
	int wanted = before + config.floodCount;
	int64_t handledAt = 0;
	int64_t end = start + 120 * 1000000000LL;
	while (bench_now_ns() < end) {
		if (posted.load() != 0)
			wanted = before + config.floodCount - failures.load();
		if (counter.Update() >= wanted) {
			handledAt = bench_now_ns();
			break;
		}
		bench_sleep_ms(1);
	}
	joiner.join();
	result.postedSeconds = (posted.load() - start) / 1e9;
	result.sendFailures = failures.load();
	if (handledAt == 0) {
		result.error = "rdx answered " + std::to_string(counter.Update()
			- before) + " of " + std::to_string(config.floodCount)
			+ " tag reads within 120 s";
		return result;
	}
	result.handledSeconds = (handledAt - start) / 1e9;
	result.peakAfter = rdx.PeakRss();

	// Still serving: one more is answered.
	BMessage last(RDX_MSG_TAG);
	last.AddString(RDX_FIELD_TAG, "04A1B2C3");
	int64_t lastStart = bench_now_ns();
	result.finalAnswered = messengers[0].SendMessage(&last, nullptr,
			10 * 1000000LL) == B_OK
		&& wait_count(counter, wanted + 1, 10);
	result.finalMs = (bench_now_ns() - lastStart) / 1e6;

	rdx.Stop(10);
	if (listener.Count() != 0) {
		result.error = "rdx sent a board request with board use off";
		return result;
	}
	result.ok = true;
	return result;
}
