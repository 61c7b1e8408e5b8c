// rdx-reader's PC/SC figures: a card coming into the field of a reader
// until the board sees the open, and rdx-reader idle with pcscd up and no
// card. The stack is Debian's pcscd with the vpcd virtual readers and a
// virtual card of the benchmark's own, in a mount namespace of the
// benchmark's own (pcscd wants /run/pcscd; vpcd's fixed ports are in
// bench/run's network namespace, which is this run's alone).

#include "Figures.h"

#include "BenchClock.h"
#include "DirectWget.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Messenger.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const int kVpcdPort = 0x8C7B;


bool
read_exactly(int fd, uint8_t* buffer, size_t size)
{
	size_t done = 0;
	while (done < size) {
		// vpcd writes a frame's length and its bytes apart: with delayed
		// acknowledgements its second write would wait 40 ms for ours
		// (Nagle). A real reader has no TCP in between.
		int one = 1;
		setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
		ssize_t count = recv(fd, buffer + done, size - done, 0);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return false;
		done += (size_t)count;
	}
	return true;
}


bool
send_frame(int fd, const std::vector<uint8_t>& data)
{
	std::vector<uint8_t> frame = {(uint8_t)(data.size() >> 8),
		(uint8_t)data.size()};
	frame.insert(frame.end(), data.begin(), data.end());
	return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL)
		== (ssize_t)frame.size();
}


// A card in the field of vpcd's first reader while it is connected. It
// notes when it first answered the reader's power-on (with the ATR).
class BenchCard {
public:
	~BenchCard() { Remove(); }

	bool Insert()
	{
		fAnswered = 0;
		int64_t end = bench_now_ns() + (int64_t)(kWaitSeconds * 1e9);
		while (bench_now_ns() < end) {
			int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
			sockaddr_in address = {};
			address.sin_family = AF_INET;
			address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
			address.sin_port = htons(kVpcdPort);
			if (connect(fd, (sockaddr*)&address, sizeof(address)) == 0) {
				fFD = fd;
				fStop = false;
				fThread = std::thread([this] { _Serve(); });
				return true;
			}
			close(fd);
			bench_sleep_ms(10);
		}
		return false;
	}

	void Remove()
	{
		if (fFD < 0)
			return;
		fStop = true;
		shutdown(fFD, SHUT_RDWR);
		fThread.join();
		close(fFD);
		fFD = -1;
	}

	int64_t Answered() const { return fAnswered; }

private:
	void _Serve()
	{
		static const std::vector<uint8_t> kAtr = {0x3B, 0x80, 0x80, 0x01,
			0x01};
		static const std::vector<uint8_t> kUid = {0x04, 0xA1, 0xB2, 0xC3,
			0x90, 0x00};
		bool powered = false;
		while (!fStop) {
			uint8_t header[2];
			if (!read_exactly(fFD, header, 2))
				return;
			size_t length = ((size_t)header[0] << 8) | header[1];
			std::vector<uint8_t> data(length);
			if (length > 0 && !read_exactly(fFD, data.data(), length))
				return;
			if (length == 1) {
				if (data[0] == 1)
					powered = true;
				if (data[0] == 4) {
					if (!send_frame(fFD, kAtr))
						return;
					if (powered && fAnswered == 0)
						fAnswered = bench_now_ns();
				}
				continue;
			}
			if (!send_frame(fFD, data.size() == 5 && data[0] == 0xFF
					&& data[1] == 0xCA ? kUid
					: std::vector<uint8_t>{0x6D, 0x00}))
				return;
		}
	}

	int				fFD = -1;
	std::thread		fThread;
	std::atomic<bool> fStop{false};
	std::atomic<int64_t> fAnswered{0};
};


// pcscd in the foreground, its socket awaited.
class BenchDaemon {
public:
	BenchDaemon(const std::string& logFile)
		:
		fProcess({"/usr/sbin/pcscd", "--foreground", "--error"}, {}, logFile)
	{
		struct stat status;
		int64_t end = bench_now_ns() + 20 * 1000000000LL;
		while (bench_now_ns() < end) {
			if (stat("/run/pcscd/pcscd.comm", &status) == 0) {
				fReady = true;
				break;
			}
			bench_sleep_ms(10);
		}
	}

	~BenchDaemon()
	{
		fProcess.Stop(10);
		unlink("/run/pcscd/pcscd.comm");
	}

	bool IsReady() const { return fReady; }

private:
	Process			fProcess;
	bool			fReady = false;
};

}	// namespace


std::string
PreparePcscNamespaces()
{
	if (geteuid() != 0)
		return "not root: pcscd cannot be started in namespaces of its own";
	if (access("/usr/sbin/pcscd", X_OK) != 0
		|| access("/etc/reader.conf.d/vpcd", R_OK) != 0)
		return "pcscd or vsmartcard-vpcd is not installed";
	// A mount namespace only: the network namespace is bench/run's own
	// already (loopback alone, nobody else's ports), and the X server's
	// abstract socket lives in it; in another one, clients would fall back
	// to the socket file in /tmp, which any other X server on the same
	// display number may replace.
	if (unshare(CLONE_NEWNS) != 0)
		return std::string("unshare: ") + strerror(errno);
	if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
		|| mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755")
			!= 0
		|| mkdir("/run/pcscd", 0755) != 0)
		return std::string("a private /run: ") + strerror(errno);
	return "";
}


ReaderResult
MeasurePcscToBoard(const BenchConfig& config, int reads)
{
	ReaderResult result;
	HttpListener listener;
	SettingsHome home;
	if (!listener.IsValid() || !home.IsValid()) {
		result.error = "no listener or settings home";
		return result;
	}
	BenchDaemon daemon(config.logDirectory + "/pcsc-to-board.pcscd.out");
	if (!daemon.IsReady()) {
		result.error = "pcscd did not start";
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
		config.logDirectory + "/pcsc-to-board.rdx.out");
	BMessenger messenger;
	HttpListener::Request request;
	if (!connect_to_rdx(home, &messenger, 10)
		|| !listener.WaitFor(1, kWaitSeconds + 2, &request)
		|| request.target != "/?3=1") {
		result.error = "rdx did not start";
		return result;
	}
	std::string output = config.logDirectory + "/pcsc-to-board.reader.out";
	Process reader({config.reader, "--any-tag", "--repeat-ms", "0", "--pcsc",
		"Virtual PCD 00 00"}, home.Environment(), output);
	if (!wait_for_output(output, "reader \"Virtual PCD 00 00\" taken", 10)) {
		result.error = "rdx-reader did not take the reader";
		return result;
	}

	DirectWget directWget(board);
	if (!directWget.IsValid()) {
		result.error = "no private directory for the floor's answers";
		return result;
	}
	const std::string& wget = directWget.Command();

	BenchCard card;
	for (int i = 0; i < reads; i++) {
		size_t next = listener.Count();
		if (!card.Insert()) {
			result.error = "the card found no reader";
			return result;
		}
		if (!listener.WaitFor(next, kWaitSeconds, &request)
			|| request.target != "/?3=0" || card.Answered() == 0) {
			result.error = "the board saw no open";
			return result;
		}
		result.reader.Add((request.arrivalNs - card.Answered()) / 1e6);
		if (!listener.WaitFor(next + 1, kWaitSeconds, &request)) {
			result.error = "the board saw no close";
			return result;
		}
		card.Remove();
		bench_sleep_ms(15);

		next = listener.Count();
		int64_t start = bench_now_ns();
		if (system(wget.c_str()) != 0
			|| !listener.WaitFor(next, kWaitSeconds, &request)) {
			result.error = "the direct wget failed";
			return result;
		}
		result.directWget.Add((request.arrivalNs - start) / 1e6);
		bench_sleep_ms(15);
	}
	reader.Stop(10);
	rdx.Stop(10);
	result.ok = true;
	return result;
}


ReaderIdleResult
MeasurePcscIdle(const BenchConfig& config)
{
	ReaderIdleResult result;
	SettingsHome home;
	if (!home.IsValid()) {
		result.error = "no settings home";
		return result;
	}
	BenchDaemon daemon(config.logDirectory + "/pcsc-idle.pcscd.out");
	if (!daemon.IsReady()) {
		result.error = "pcscd did not start";
		return result;
	}
	std::string output = config.logDirectory + "/pcsc-idle.reader.out";
	Process reader({config.reader, "--any-tag", "--pcsc"}, home.Environment(),
		output);
	if (!wait_for_output(output, "reader \"Virtual PCD 00 01\" taken", 10)) {
		result.error = "rdx-reader did not take the readers";
		return result;
	}
	MeasureIdleReader(config, reader, &result);
	return result;
}
