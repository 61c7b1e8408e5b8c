#include "Figures.h"

#include "BenchClock.h"
#include "SettingsHome.h"

#include <Messenger.h>
#include <RDXDefs.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>


bool
connect_to_rdx(const SettingsHome& home, BMessenger* messenger, double seconds)
{
	// The port's place follows XDG_RUNTIME_DIR, read when a messenger is made.
	setenv("XDG_RUNTIME_DIR", home.RuntimeDirectory().c_str(), 1);
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		status_t status;
		BMessenger candidate(RDX_SIGNATURE, -1, &status);
		if (status == B_OK) {
			*messenger = candidate;
			return true;
		}
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(5);
	}
}


bool
wait_for_output(const std::string& file, const std::string& text,
	double seconds)
{
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		std::ifstream in(file);
		std::stringstream contents;
		contents << in.rdbuf();
		if (contents.str().find(text) != std::string::npos)
			return true;
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(5);
	}
}


int
free_loopback_port()
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t size = sizeof(address);
	int port = 0;
	if (fd >= 0 && bind(fd, (sockaddr*)&address, sizeof(address)) == 0
		&& getsockname(fd, (sockaddr*)&address, &size) == 0)
		port = ntohs(address.sin_port);
	if (fd >= 0)
		close(fd);
	return port;
}


std::string
rdm6300_frame(uint32_t id)
{
	char data[16];
	snprintf(data, sizeof(data), "01%08X", (unsigned)id);
	int sum = 1 ^ (int)(id >> 24) ^ (int)((id >> 16) & 0xff)
		^ (int)((id >> 8) & 0xff) ^ (int)(id & 0xff);
	char frame[20];
	snprintf(frame, sizeof(frame), "\x02%s%02X\x03", data, sum);
	return frame;
}
