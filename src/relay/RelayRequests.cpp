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
};

std::mutex sLock;
std::condition_variable sEnded;
std::map<int64, Request> sRequests;
int64 sNext = 1;
// Where relays 1 to 4 were last opened.
std::string sHeldAt[5];
bool sStopping = false;
int sStop = -1;

}	// namespace


int64
RelayRequests::Begin(int32 relay, const std::string& address, bool open)
{
	std::lock_guard<std::mutex> guard(sLock);
	int64 request = sNext++;
	sRequests[request] = Request{relay, address, open};
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
		sRequests.erase(request);
	}
	sEnded.notify_all();
}


int
RelayRequests::StopDescriptor()
{
	std::lock_guard<std::mutex> guard(sLock);
	// Made once and kept for the life of the process, like the workers
	// that wait on it.
	if (sStop < 0)
		sStop = eventfd(sStopping ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
	return sStop;
}


void
RelayRequests::StopOpening(bigtime_t deadline)
{
	int stop = StopDescriptor();
	std::unique_lock<std::mutex> guard(sLock);
	sStopping = true;
	if (stop >= 0) {
		uint64_t one = 1;
		ssize_t written = write(stop, &one, sizeof(one));
		(void)written;
	}
	auto opening = [] {
		for (const auto& [number, request] : sRequests) {
			if (request.open)
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


void
RelayRequests::ResumeOpening()
{
	std::lock_guard<std::mutex> guard(sLock);
	sStopping = false;
	if (sStop >= 0) {
		uint64_t count;
		ssize_t got = read(sStop, &count, sizeof(count));
		(void)got;
	}
}


bool
RelayRequests::Stopping()
{
	std::lock_guard<std::mutex> guard(sLock);
	return sStopping;
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
