#include "SimOptions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>

const char* kSimUsage =
	"usage: rdx-board-sim [OPTION...]\n"
	"A relay board on loopback: GET /?N=L switches output N (3 to 6, relays 1\n"
	"to 4) to level L (0 open, 1 closed); GET / shows the four outputs;\n"
	"GET /owner.htm is the owner page.\n"
	"\n"
	"  --listen ADDR:PORT    where to listen (default 127.0.0.1:8080; port 0\n"
	"                        picks a free port; IPv6 as [::1]:PORT). Only\n"
	"                        loopback addresses are accepted unless\n"
	"                        --allow-any-address is given.\n"
	"  --allow-any-address   also listen on an address that is not loopback\n"
	"                        (the board is then reachable from the network)\n"
	"  --port-file FILE      write the bound port to FILE once listening\n"
	"  --log FILE            append one line per request: time stamp with\n"
	"                        microseconds, method, target\n"
	"  --delay-ms N          wait N milliseconds before every answer\n"
	"  --status CODE         answer switch requests with CODE; the output is\n"
	"                        switched only when CODE is 2xx\n"
	"  --drop                read each request and close the connection\n"
	"                        without answering\n"
	"  --help                show this text\n"
	"  --version             show the program's version\n"
	"\n"
	"A bad output or level is answered 400 and switches nothing. SIGTERM and\n"
	"SIGINT end the simulator cleanly (exit status 0).\n";


static bool
ParseNumber(const char* text, long low, long high, int* value)
{
	if (text == nullptr || text[0] == '\0')
		return false;
	char* end = nullptr;
	errno = 0;
	long number = strtol(text, &end, 10);
	if (errno != 0 || *end != '\0' || number < low || number > high)
		return false;
	*value = (int)number;
	return true;
}


static bool
ParseListen(const std::string& text, SimOptions* options)
{
	std::string host;
	std::string port;
	if (!text.empty() && text[0] == '[') {
		size_t close = text.find(']');
		if (close == std::string::npos || close + 1 >= text.size()
			|| text[close + 1] != ':') {
			return false;
		}
		host = text.substr(1, close - 1);
		port = text.substr(close + 2);
	} else {
		size_t colon = text.rfind(':');
		if (colon == std::string::npos)
			return false;
		host = text.substr(0, colon);
		port = text.substr(colon + 1);
		// An IPv6 address must be in brackets.
		if (host.find(':') != std::string::npos)
			return false;
	}
	if (host == "localhost")
		host = "127.0.0.1";
	int number;
	if (host.empty() || !ParseNumber(port.c_str(), 0, 65535, &number))
		return false;
	options->host = host;
	options->port = number;
	return true;
}


bool
IsLoopbackHost(const std::string& host)
{
	struct in_addr address4;
	if (inet_pton(AF_INET, host.c_str(), &address4) == 1)
		return (ntohl(address4.s_addr) >> 24) == 127;
	struct in6_addr address6;
	if (inet_pton(AF_INET6, host.c_str(), &address6) == 1)
		return IN6_IS_ADDR_LOOPBACK(&address6);
	return false;
}


bool
ParseSimOptions(int argc, char** argv, SimOptions* options, std::string* error)
{
	for (int i = 1; i < argc; i++) {
		std::string option = argv[i];
		const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
		bool takesValue = true;

		if (option == "--help" || option == "-h") {
			options->help = true;
			takesValue = false;
		} else if (option == "--version") {
			options->version = true;
			takesValue = false;
		} else if (option == "--drop") {
			options->drop = true;
			takesValue = false;
		} else if (option == "--allow-any-address") {
			options->anyAddress = true;
			takesValue = false;
		} else if (option != "--listen" && option != "--port-file"
			&& option != "--log" && option != "--delay-ms"
			&& option != "--status") {
			*error = "unknown option: " + option;
			return false;
		} else if (value == nullptr) {
			*error = "missing value for " + option;
			return false;
		} else if (option == "--listen") {
			if (!ParseListen(value, options)) {
				*error = std::string("bad --listen address: ") + value
					+ " (expected ADDR:PORT or [IPv6]:PORT)";
				return false;
			}
		} else if (option == "--port-file") {
			options->portFile = value;
		} else if (option == "--log") {
			options->logFile = value;
		} else if (option == "--delay-ms") {
			if (!ParseNumber(value, 0, INT_MAX, &options->delayMs)) {
				*error = std::string("bad --delay-ms: ") + value;
				return false;
			}
		} else if (option == "--status") {
			if (!ParseNumber(value, 100, 599, &options->status)) {
				*error = std::string("bad --status (100 to 599): ") + value;
				return false;
			}
		}
		if (takesValue)
			i++;
	}

	if (!options->anyAddress && !IsLoopbackHost(options->host)) {
		*error = "refusing to listen on " + options->host
			+ ": not a loopback address (see --allow-any-address)";
		return false;
	}
	return true;
}
