#ifndef BROKER_RESOLVER_H
#define BROKER_RESOLVER_H

#include <SupportDefs.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

// Looks up the broker's addresses without holding up the bridge's one
// loop. The C library's own resolver threads (getaddrinfo_a) do the
// waiting; a descriptor becomes readable once the answer is in, and the
// loop waits on it with everything else. A name server that does not
// answer costs the loop nothing: the bridge gives the lookup up after its
// time, and the lookup then ends by itself, its answer dropped.
class BrokerResolver {
public:
							BrokerResolver();
							~BrokerResolver();

							BrokerResolver(const BrokerResolver&) = delete;
			BrokerResolver&	operator=(const BrokerResolver&) = delete;

			// Starts looking up the host; a lookup still under way is given
			// up. B_OK, or an error with *error saying why none started.
			status_t		Start(const std::string& host, int port,
								std::string* error);
			bool			IsBusy() const { return fLookup != nullptr; }
			// Readable once the answer is in; -1 while nothing is under way.
			int				FD() const;
			// The answer: B_OK with the addresses in numeric form, in the
			// order to try them; B_WOULD_BLOCK while it is not in yet; or
			// an error with *error saying why. Either ends the lookup.
			status_t		Take(std::vector<std::string>* addresses,
								std::string* error);
			// Drops the lookup under way; it ends by itself.
			void			GiveUp();

private:
			struct Lookup;
	// Runs on a thread of the C library's once a lookup has ended.
	static	void			_LookupEnded(union sigval value);

			std::shared_ptr<Lookup> fLookup;
};

#endif
