#include "BrokerResolver.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

// One lookup, shared with the C library's notice: it lives until both the
// bridge has let go of it and the lookup has ended, since the library
// writes the answer into it however long that takes.
struct BrokerResolver::Lookup {
	std::string		host;
	std::string		service;
	addrinfo		hints = {};
	gaicb			request = {};
	int				fd = -1;

	~Lookup()
	{
		if (request.ar_result != nullptr)
			freeaddrinfo(request.ar_result);
		if (fd >= 0)
			close(fd);
	}
};


void
BrokerResolver::_LookupEnded(union sigval value)
{
	auto* keeper = static_cast<std::shared_ptr<Lookup>*>(value.sival_ptr);
	uint64_t one = 1;
	ssize_t written = write((*keeper)->fd, &one, sizeof(one));
	(void)written;
	delete keeper;
}


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
	// As libmosquitto asks itself: any family, a stream socket.
	lookup->hints.ai_family = AF_UNSPEC;
	lookup->hints.ai_socktype = SOCK_STREAM;
	lookup->hints.ai_flags = AI_NUMERICSERV;
	lookup->request.ar_name = lookup->host.c_str();
	lookup->request.ar_service = lookup->service.c_str();
	lookup->request.ar_request = &lookup->hints;
	lookup->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
	if (lookup->fd < 0) {
		*error = strerror(errno);
		return B_FROM_POSIX_ERROR(errno);
	}

	auto* keeper = new std::shared_ptr<Lookup>(lookup);
	struct sigevent notice = {};
	notice.sigev_notify = SIGEV_THREAD;
	notice.sigev_notify_function = _LookupEnded;
	notice.sigev_value.sival_ptr = keeper;
	gaicb* list[] = {&lookup->request};
	int result = getaddrinfo_a(GAI_NOWAIT, list, 1, &notice);
	if (result != 0) {
		delete keeper;
		*error = gai_strerror(result);
		return B_ERROR;
	}
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
	int result = gai_error(&fLookup->request);
	if (result == EAI_INPROGRESS)
		return B_WOULD_BLOCK;
	std::shared_ptr<Lookup> lookup;
	lookup.swap(fLookup);
	if (result != 0) {
		*error = result == EAI_SYSTEM ? strerror(errno) : gai_strerror(result);
		return B_ERROR;
	}

	addresses->clear();
	for (addrinfo* entry = lookup->request.ar_result; entry != nullptr;
			entry = entry->ai_next) {
		char text[NI_MAXHOST];
		if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof(text),
				nullptr, 0, NI_NUMERICHOST) != 0)
			continue;
		if (std::find(addresses->begin(), addresses->end(), text)
				== addresses->end())
			addresses->push_back(text);
	}
	if (addresses->empty()) {
		*error = "the name has no address";
		return B_ERROR;
	}
	return B_OK;
}


void
BrokerResolver::GiveUp()
{
	// The library's notice keeps the lookup for as long as it runs.
	fLookup.reset();
}
