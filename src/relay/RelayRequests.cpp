#include "RelayRequests.h"

#include "RelayStatus.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

struct Request {
	int32		relay;
	std::string	address;
	bool		open;
	// Readable once opens must stop (an eventfd); opens only.
	int			stop;
};

std::mutex sLock;
std::condition_variable sEnded;
std::map<int64, Request> sRequests;
int64 sNext = 1;
// Where relays 1 to 4 were last opened.
std::string sHeldAt[5];
bool sStopping = false;

}	// namespace


int64
RelayRequests::Begin(int32 relay, const std::string& address, bool open)
{
	std::lock_guard<std::mutex> guard(sLock);
	int64 request = sNext++;
	int stop = open ? eventfd(sStopping ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)
		: -1;
	sRequests[request] = Request{relay, address, open, stop};
	if (open && relay >= 1 && relay <= 4)
		sHeldAt[relay] = address;
	return request;
}


bool
RelayRequests::MayOpen(int64 request)
{
	std::lock_guard<std::mutex> guard(sLock);
	return !sStopping && sRequests.count(request) != 0;
}


void
RelayRequests::End(int64 request)
{
	{
		std::lock_guard<std::mutex> guard(sLock);
		auto found = sRequests.find(request);
		if (found == sRequests.end())
			return;
		if (found->second.stop >= 0)
			close(found->second.stop);
		sRequests.erase(found);
	}
	sEnded.notify_all();
}


int
RelayRequests::StopDescriptor(int64 request)
{
	std::lock_guard<std::mutex> guard(sLock);
	auto found = sRequests.find(request);
	return found != sRequests.end() ? found->second.stop : -1;
}


void
RelayRequests::StopOpening(bigtime_t grace, bigtime_t deadline)
{
	std::unique_lock<std::mutex> guard(sLock);
	sStopping = true;
	auto opening = [] {
		for (const auto& [number, request] : sRequests) {
			if (request.open)
				return true;
		}
		return false;
	};
	auto waitUntil = [&](bigtime_t until) {
		while (opening()) {
			bigtime_t left = until - system_time();
			if (left <= 0)
				return;
			sEnded.wait_for(guard, std::chrono::microseconds(left));
		}
	};
	waitUntil(grace);
	for (const auto& [number, request] : sRequests) {
		if (request.stop < 0)
			continue;
		uint64_t one = 1;
		ssize_t written = write(request.stop, &one, sizeof(one));
		(void)written;
	}
	waitUntil(deadline);
}


void
RelayRequests::ResumeOpening()
{
	std::lock_guard<std::mutex> guard(sLock);
	sStopping = false;
}


bool
RelayRequests::Stopping()
{
	std::lock_guard<std::mutex> guard(sLock);
	return sStopping;
}


void
RelayRequests::WaitForOpens(int32 relay, bigtime_t deadline)
{
	std::unique_lock<std::mutex> guard(sLock);
	auto opening = [relay] {
		for (const auto& [number, request] : sRequests) {
			if (request.open && request.relay == relay)
				return true;
		}
		return false;
	};
	while (opening()) {
		bigtime_t left = deadline - system_time();
		if (left <= 0)
			return;
		sEnded.wait_for(guard, std::chrono::microseconds(left));
	}
}


bool
RelayRequests::Covers(int32 relay, const std::string& address)
{
	std::lock_guard<std::mutex> guard(sLock);
	for (const auto& [number, request] : sRequests) {
		if (request.relay == relay && request.address == address)
			return true;
	}
	return relay >= 1 && relay <= 4 && sHeldAt[relay] == address
		&& RelayMark(relay) == 'o';
}
