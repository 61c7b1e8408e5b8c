#ifndef SIM_OPTIONS_H
#define SIM_OPTIONS_H

#include <string>

// What the command line asks of the simulated board.
struct SimOptions {
	std::string	host = "127.0.0.1";
	int			port = 8080;
	std::string	portFile;
	std::string	logFile;
	int			delayMs = 0;
	// 0: switch requests are answered 200.
	int			status = 0;
	bool		drop = false;
	bool		anyAddress = false;
	bool		help = false;
	bool		version = false;
};

// Fills the options from argv. False with a message in *error on bad usage.
bool ParseSimOptions(int argc, char** argv, SimOptions* options,
	std::string* error);

// Whether the host is a numeric loopback address (127.0.0.0/8 or ::1).
bool IsLoopbackHost(const std::string& host);

extern const char* kSimUsage;

#endif
