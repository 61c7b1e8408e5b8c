#ifndef TEST_RUDE_BOARD_H
#define TEST_RUDE_BOARD_H

// A board that misbehaves in one chosen way, on a free port of 127.0.0.1,
// in a process of its own (this test program started with --rude-board), so
// that its sockets never count among the test process's own descriptors.
// It ends by itself after its lifetime.
//
//	silent   takes the connection, reads the request, never answers
//	reset    reads the request and closes with SO_LINGER 0 (a reset)
//	garbage  reads the request, answers 512 random bytes that are not HTTP
//	         and closes
//	trickle  reads the request, sends "HTTP/1.1 200 OK\r\n" one byte every
//	         500 ms, then says nothing more
//	endless  like trickle, but goes on with one header line one byte every
//	         500 ms for as long as the client listens

#include "ChildProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

// The listener's main, for main() to call when it is asked for one.
int RunRudeBoard(int argc, char** argv);

class RudeBoard {
public:
							RudeBoard(const std::string& mode,
								double lifetimeSeconds = 60);
							~RudeBoard();

			bool			IsListening() const { return fPort > 0; }
			int				Port() const { return fPort; }
			std::string		Address() const
								{ return "127.0.0.1:" + std::to_string(fPort); }
	// The request lines it was sent ("GET /?5=0 HTTP/1.1"), in order.
			std::vector<std::string> Requests() const;
	// Connections it took so far.
			int				Connections() const;

private:
			TempDir			fDirectory;
			std::unique_ptr<ChildProcess> fProcess;
			int				fPort = 0;
};

#endif
