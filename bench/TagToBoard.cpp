// Tag to board: a tag read written to rdx's message port, until the board
// sees the GET that opens the relay; against the same wget command started
// directly and against a plain GET from this process.

#include "Figures.h"

#include "BenchClock.h"
#include "DirectWget.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Message.h>
#include <Messenger.h>
#include <RDXDefs.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// GET /?3=0 on a fresh connection, reading the answer to its end.
bool
plain_get(int port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return false;
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = htons(port);
	bool ok = connect(fd, (sockaddr*)&address, sizeof(address)) == 0;
	if (ok) {
		std::string request = "GET /?3=0 HTTP/1.0\r\nHost: 127.0.0.1:"
			+ std::to_string(port) + "\r\n\r\n";
		ok = send(fd, request.data(), request.size(), MSG_NOSIGNAL)
			== (ssize_t)request.size();
	}
	char buffer[512];
	while (ok && recv(fd, buffer, sizeof(buffer), 0) > 0) {
	}
	close(fd);
	return ok;
}


bool
wait_request(HttpListener& listener, size_t index, const char* target,
	HttpListener::Request* request, std::string* error)
{
	if (!listener.WaitFor(index, kWaitSeconds, request)) {
		*error = std::string("the board saw no ") + target + " within "
			+ std::to_string((int)kWaitSeconds) + " s";
		return false;
	}
	if (request->target != target) {
		*error = std::string("the board saw ") + request->target
			+ " where " + target + " was due";
		return false;
	}
	return true;
}


// Threads that keep the processor busy while they live: plain computation
// at normal priority, as a build or a busy program on the same machine.
class BusyLoad {
public:
							BusyLoad(int threads);
							~BusyLoad();

private:
			std::atomic<bool> fStop{false};
			std::vector<std::thread> fThreads;
};


BusyLoad::BusyLoad(int threads)
{
	for (int i = 0; i < threads; i++) {
		fThreads.emplace_back([this] {
			volatile uint64_t sum = 0;
			while (!fStop.load(std::memory_order_relaxed))
				sum = sum + 1;
		});
	}
}


BusyLoad::~BusyLoad()
{
	fStop = true;
	for (std::thread& thread : fThreads)
		thread.join();
}

}	// namespace


TagResult
MeasureTagToBoard(const BenchConfig& config, int tags, int busyThreads)
{
	TagResult result;
	HttpListener listener;
	SettingsHome home;
	if (!listener.IsValid() || !home.IsValid()) {
		result.error = "no listener or settings home";
		return result;
	}
	std::string board = "127.0.0.1:" + std::to_string(listener.Port());
	// Hold time 0: the relay closes at once, so the next tag can open it.
	if (!home.SetText("rdx_ip", board) || !home.SetBool("rdx_use", true)
		|| !home.SetInt32("OpenInSecs", 0)
		|| !home.SetInt32("TagsUseDoor", 1)) {
		result.error = "cannot seed the settings";
		return result;
	}

	Process rdx({config.rdx}, home.Environment(),
		config.logDirectory + (busyThreads > 0 ? "/tag-to-board-busy.rdx.out"
			: "/tag-to-board.rdx.out"));
	BMessenger messenger;
	if (!connect_to_rdx(home, &messenger, 10)) {
		result.error = "rdx did not open its message port";
		return result;
	}

	// With board use on, rdx pulses relay 1 for a second when it starts.
	HttpListener::Request request;
	if (!wait_request(listener, 0, "/?3=0", &request, &result.error)
		|| !listener.WaitFor(1, kWaitSeconds + 2, &request)
		|| request.target != "/?3=1") {
		if (result.error.empty())
			result.error = "the start-up pulse did not close";
		return result;
	}

	DirectWget directWget(board);
	if (!directWget.IsValid()) {
		result.error = "no private directory for the floor's answers";
		return result;
	}
	const std::string& wget = directWget.Command();

	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1B2C3");

	BusyLoad load(busyThreads);
	for (int i = 0; i < tags; i++) {
		// Through rdx: port, application, window, dispatcher, worker, wget.
		size_t next = listener.Count();
		int64_t start = bench_now_ns();
		status_t sent = messenger.SendMessage(&tag, nullptr,
			(bigtime_t)kWaitSeconds * 1000000);
		int64_t queued = bench_now_ns();
		if (sent != B_OK) {
			result.error = "rdx did not take tag " + std::to_string(i);
			return result;
		}
		if (!wait_request(listener, next, "/?3=0", &request, &result.error))
			return result;
		result.app.Add(ms_between(start, request.arrivalNs));
		result.portAck.Add(ms_between(start, queued));
		if (!wait_request(listener, next + 1, "/?3=1", &request,
				&result.error))
			return result;
		bench_sleep_ms(kSettleMs);

		// The same wget, started through the shell right here.
		next = listener.Count();
		start = bench_now_ns();
		int status = system(wget.c_str());
		if (status != 0) {
			result.error = "the direct wget ended with status "
				+ std::to_string(status);
			return result;
		}
		if (!wait_request(listener, next, "/?3=0", &request, &result.error))
			return result;
		result.directWget.Add(ms_between(start, request.arrivalNs));
		bench_sleep_ms(kSettleMs);

		// A plain GET on a socket: what the loopback itself costs.
		next = listener.Count();
		start = bench_now_ns();
		if (!plain_get(listener.Port())) {
			result.error = "the plain GET failed";
			return result;
		}
		if (!wait_request(listener, next, "/?3=0", &request, &result.error))
			return result;
		result.plainGet.Add(ms_between(start, request.arrivalNs));
		bench_sleep_ms(kSettleMs);

		if ((i + 1) % 50 == 0)
			fprintf(stderr, "  tag to board: %d of %d\n", i + 1, tags);
	}

	rdx.Stop(10);
	result.ok = true;
	return result;
}
