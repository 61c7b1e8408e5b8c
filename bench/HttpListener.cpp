#include "HttpListener.h"

#include "BenchClock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A client that connects and says nothing does not hold the board up for
// longer than this.
const int kReadTimeoutMs = 2000;
const size_t kMaxHeader = 8192;

const char kAnswer[] = "HTTP/1.0 200 OK\r\n"
	"Content-Type: text/plain\r\n"
	"Content-Length: 3\r\n"
	"Connection: close\r\n"
	"\r\n"
	"ok\n";

}	// namespace


HttpListener::HttpListener()
{
	fListenFD = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	fStopFD = eventfd(0, EFD_CLOEXEC);
	if (fListenFD < 0 || fStopFD < 0)
		return;
	int one = 1;
	setsockopt(fListenFD, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = 0;
	socklen_t size = sizeof(address);
	if (bind(fListenFD, (sockaddr*)&address, sizeof(address)) != 0
		|| listen(fListenFD, 64) != 0
		|| getsockname(fListenFD, (sockaddr*)&address, &size) != 0) {
		fprintf(stderr, "rdx-bench: cannot listen on 127.0.0.1: %s\n",
			strerror(errno));
		return;
	}
	fPort = ntohs(address.sin_port);
	fThread = std::thread([this] { _Serve(); });
}


HttpListener::~HttpListener()
{
	if (fThread.joinable()) {
		uint64_t one = 1;
		ssize_t written = write(fStopFD, &one, sizeof(one));
		(void)written;
		fThread.join();
	}
	if (fListenFD >= 0)
		close(fListenFD);
	if (fStopFD >= 0)
		close(fStopFD);
}


size_t
HttpListener::Count()
{
	std::lock_guard<std::mutex> guard(fLock);
	return fRequests.size();
}


bool
HttpListener::WaitFor(size_t index, double seconds, Request* request)
{
	std::unique_lock<std::mutex> guard(fLock);
	bool arrived = fArrived.wait_for(guard,
		std::chrono::microseconds((int64_t)(seconds * 1e6)),
		[&] { return fRequests.size() > index; });
	if (arrived && request != nullptr)
		*request = fRequests[index];
	return arrived;
}


void
HttpListener::_Serve()
{
	for (;;) {
		pollfd fds[2] = {{fStopFD, POLLIN, 0}, {fListenFD, POLLIN, 0}};
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (fds[0].revents != 0)
			return;
		if (fds[1].revents == 0)
			continue;
		int fd = accept4(fListenFD, nullptr, nullptr, SOCK_CLOEXEC);
		if (fd < 0)
			continue;
		_Answer(fd);
		close(fd);
	}
}


void
HttpListener::_Answer(int fd)
{
	std::string header;
	Request request;
	while (header.find("\r\n\r\n") == std::string::npos
		&& header.size() < kMaxHeader) {
		pollfd entry = {fd, POLLIN, 0};
		if (poll(&entry, 1, kReadTimeoutMs) <= 0)
			return;
		char buffer[2048];
		ssize_t count = recv(fd, buffer, sizeof(buffer), 0);
		if (count <= 0)
			return;
		if (header.empty())
			request.arrivalNs = bench_now_ns();
		header.append(buffer, (size_t)count);
	}

	// "GET /?3=0 HTTP/1.1"
	size_t start = header.find(' ');
	size_t end = start == std::string::npos ? start
		: header.find(' ', start + 1);
	if (end != std::string::npos)
		request.target = header.substr(start + 1, end - start - 1);

	{
		std::lock_guard<std::mutex> guard(fLock);
		fRequests.push_back(request);
	}
	fArrived.notify_all();

	size_t sent = 0;
	while (sent < sizeof(kAnswer) - 1) {
		ssize_t count = send(fd, kAnswer + sent, sizeof(kAnswer) - 1 - sent,
			MSG_NOSIGNAL);
		if (count <= 0)
			break;
		sent += (size_t)count;
	}
	shutdown(fd, SHUT_WR);
}
