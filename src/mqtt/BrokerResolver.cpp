#include "BrokerResolver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

// One lookup, shared by the bridge and the thread that waits for it: it
// lives until both have let go of it.
struct BrokerResolver::Lookup {
	std::string		host;
	std::string		service;
	int				fd = -1;

	std::mutex		lock;
	bool			done = false;
	std::vector<std::string> addresses;
	std::string		error;

	~Lookup()
	{
		if (fd >= 0)
			close(fd);
	}
};


BrokerResolver::BrokerResolver()
{
}


BrokerResolver::~BrokerResolver()
{
	GiveUp();
}


status_t
BrokerResolver::Start(const std::string& host, int port, std::string* error)
{
	GiveUp();
	auto lookup = std::make_shared<Lookup>();
	lookup->host = host;
	lookup->service = std::to_string(port);
	lookup->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
	if (lookup->fd < 0) {
		*error = strerror(errno);
		return B_FROM_POSIX_ERROR(errno);
	}

	auto* keeper = new std::shared_ptr<Lookup>(lookup);
	thread_id thread = spawn_thread(_LookupThread, "broker lookup",
		B_NORMAL_PRIORITY, keeper);
	if (thread < 0) {
		delete keeper;
		*error = status_text(thread);
		return thread;
	}
	resume_thread(thread);
	fLookup = lookup;
	return B_OK;
}


int
BrokerResolver::FD() const
{
	return fLookup != nullptr ? fLookup->fd : -1;
}


status_t
BrokerResolver::Take(std::vector<std::string>* addresses, std::string* error)
{
	if (fLookup == nullptr) {
		*error = "no lookup under way";
		return B_NO_INIT;
	}
	std::shared_ptr<Lookup> lookup = fLookup;
	std::lock_guard<std::mutex> guard(lookup->lock);
	if (!lookup->done)
		return B_WOULD_BLOCK;
	fLookup.reset();
	if (!lookup->error.empty()) {
		*error = lookup->error;
		return B_ERROR;
	}
	*addresses = lookup->addresses;
	return B_OK;
}


void
BrokerResolver::GiveUp()
{
	fLookup.reset();
}


status_t
BrokerResolver::_LookupThread(void* data)
{
	std::unique_ptr<std::shared_ptr<Lookup>> keeper(
		static_cast<std::shared_ptr<Lookup>*>(data));
	Lookup& lookup = **keeper;

	// As libmosquitto asks itself: any family, a stream socket.
	addrinfo hints = {};
	hints.ai_family = AF_UNSPEC;
	hints.ai_socktype = SOCK_STREAM;
	hints.ai_flags = AI_NUMERICSERV;
	addrinfo* found = nullptr;
	int result = getaddrinfo(lookup.host.c_str(), lookup.service.c_str(),
		&hints, &found);
	std::vector<std::string> addresses;
	std::string error;
	if (result != 0)
		error = result == EAI_SYSTEM ? strerror(errno) : gai_strerror(result);
	for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
		char text[NI_MAXHOST];
		if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof(text),
				nullptr, 0, NI_NUMERICHOST) != 0)
			continue;
		if (std::find(addresses.begin(), addresses.end(), text)
				== addresses.end())
			addresses.push_back(text);
	}
	if (found != nullptr)
		freeaddrinfo(found);
	if (result == 0 && addresses.empty())
		error = "the name has no address";

	{
		std::lock_guard<std::mutex> guard(lookup.lock);
		lookup.done = true;
		lookup.addresses = std::move(addresses);
		lookup.error = std::move(error);
	}
	uint64_t one = 1;
	ssize_t written = write(lookup.fd, &one, sizeof(one));
	(void)written;
	return B_OK;
}
