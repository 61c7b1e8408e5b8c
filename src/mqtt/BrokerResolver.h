#ifndef BROKER_RESOLVER_H
#define BROKER_RESOLVER_H

#include <OS.h>

#include <memory>
#include <string>
#include <vector>

// Looks up the broker's addresses without holding up the bridge's one
// loop. A thread of its own waits for the C library's lookup; a descriptor
// becomes readable once the answer is in, and the loop waits on it with
// everything else. A name server that does not answer costs the loop
// nothing: the bridge gives the lookup up after its time, and the thread
// ends by itself once the library does, its answer dropped. (It cannot be
// joined before that, nor cancelled inside the library; a program that
// ends meanwhile ends it with itself.)
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
			// Drops the lookup under way; its thread ends by itself.
			void			GiveUp();

private:
			struct Lookup;
	static	status_t		_LookupThread(void* data);

			std::shared_ptr<Lookup> fLookup;
};

#endif
