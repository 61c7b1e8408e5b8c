#ifndef BENCH_DIRECT_WGET_H
#define BENCH_DIRECT_WGET_H

#include <string>

// The floor of every latency figure: the wget command rdx runs, started
// directly. Its answer goes, as rdx's does, into a directory made for it
// (mkdtemp, removed at the end), never to a name in the shared /tmp that
// someone could have prepared.
class DirectWget {
public:
	// Opens output 3 (relay 1) of the board at host:port.
	explicit				DirectWget(const std::string& board);
							~DirectWget();

							DirectWget(const DirectWget&) = delete;
			DirectWget&		operator=(const DirectWget&) = delete;

			bool			IsValid() const { return !fDirectory.empty(); }
			const std::string& Command() const { return fCommand; }

private:
			std::string		fDirectory;
			std::string		fCommand;
};

#endif
