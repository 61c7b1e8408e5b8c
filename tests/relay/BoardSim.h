#ifndef TEST_BOARD_SIM_H
#define TEST_BOARD_SIM_H

// A relay board for tests: rdx-board-sim started on a free loopback port
// with a request log. Header-only, so that any test folder can include it
// (it needs rdx_test_support and the rdx-board-sim target built first).
//
//	BoardSim board;                  // or BoardSim board({"--drop"});
//	ASSERT_TRUE(board.IsListening());
//	Own_Thread(3, true, board.Address().c_str(), 0);
//	EXPECT_TRUE(board.WaitForRequest("GET /?5=0", 10));

#include "ChildProcess.h"
#include "TempDir.h"

#include <csignal>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class BoardSim {
public:
	static std::string Program()
	{
		return std::string(RDX_BINARY_DIR) + "/tools/rdx-board-sim/rdx-board-sim";
	}

	// Extra options (e.g. "--drop", "--status", "500", "--delay-ms", "3000")
	// go after the ones that pick the port and the log. host is where it
	// listens: "127.0.0.1" or "::1"; the port is a free one, or the one
	// given (a board that comes back where it was).
	explicit BoardSim(const std::vector<std::string>& options = {},
		const std::string& host = "127.0.0.1", int port = 0)
		:
		fDirectory("rdx-board"),
		fHost(host)
	{
		std::string listen = (host.find(':') != std::string::npos
			? "[" + host + "]:" : host + ":") + std::to_string(port);
		std::vector<std::string> argv = {Program(), "--listen", listen,
			"--port-file", fDirectory.Sub("port"), "--log", LogFile()};
		argv.insert(argv.end(), options.begin(), options.end());
		fProcess = std::make_unique<ChildProcess>(argv);

		std::string portFile = fDirectory.Sub("port");
		wait_for([&] {
			return !read_file(portFile).empty() || !fProcess->Running();
		}, 10);
		fPort = atoi(read_file(portFile).c_str());
	}

	~BoardSim() { Stop(); }

	BoardSim(const BoardSim&) = delete;
	BoardSim& operator=(const BoardSim&) = delete;

	bool IsListening() const { return fPort > 0; }
	int Port() const { return fPort; }

	// The board's address as the operator would enter it: "127.0.0.1:PORT"
	// or "[::1]:PORT".
	std::string Address() const
	{
		std::string host = fHost.find(':') != std::string::npos
			? "[" + fHost + "]" : fHost;
		return host + ":" + std::to_string(fPort);
	}

	std::string LogFile() const { return fDirectory.Sub("requests.log"); }

	// The log's lines as written: "SECONDS.MICROSECONDS METHOD TARGET".
	std::vector<std::string> LogLines() const
	{
		std::vector<std::string> lines;
		std::istringstream in(read_file(LogFile()));
		for (std::string line; std::getline(in, line);)
			lines.push_back(line);
		return lines;
	}

	// The requests without their time stamps: "GET /?5=0".
	std::vector<std::string> Requests() const
	{
		std::vector<std::string> requests;
		for (const std::string& line : LogLines()) {
			size_t blank = line.find(' ');
			requests.push_back(blank == std::string::npos
				? line : line.substr(blank + 1));
		}
		return requests;
	}

	// Waits until the log holds the request ("GET /?5=0") count times.
	bool WaitForRequest(const std::string& request, double seconds,
		int count = 1) const
	{
		return wait_for([&] { return CountOf(request) >= count; }, seconds);
	}

	int CountOf(const std::string& request) const
	{
		int count = 0;
		for (const std::string& logged : Requests())
			count += logged == request ? 1 : 0;
		return count;
	}

	// Ends the simulator with SIGTERM; true when it ended cleanly (status 0).
	bool Stop()
	{
		if (fProcess == nullptr)
			return false;
		int status = -1;
		if (fProcess->Running())
			fProcess->Signal(SIGTERM);
		bool ended = fProcess->Wait(10, &status);
		fProcess.reset();
		return ended && status == 0;
	}

	ChildProcess* Process() { return fProcess.get(); }

private:
	TempDir			fDirectory;
	std::string		fHost;
	std::unique_ptr<ChildProcess> fProcess;
	int				fPort = 0;
};

#endif
