// rdx-board-sim: a relay board on loopback, for trying RDX without hardware
// and for its tests.

#include "BoardState.h"
#include "DroppingServer.h"
#include "Pause.h"
#include "RequestLog.h"
#include "SimOptions.h"

#include <httplib.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>


static bool
WritePortFile(const std::string& path, int port)
{
	// Written beside and renamed, so that a reader never sees half a number.
	std::string temporary = path + ".tmp";
	FILE* file = fopen(temporary.c_str(), "we");
	if (file == nullptr)
		return false;
	bool written = fprintf(file, "%d\n", port) > 0;
	written = fclose(file) == 0 && written;
	if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
		unlink(temporary.c_str());
		return false;
	}
	return true;
}


static void
AddBoardHandlers(httplib::Server& server, BoardState& state,
	const SimOptions& options)
{
	server.Get("/", [&state, &options](const httplib::Request& request,
			httplib::Response& response) {
		if (request.params.empty()) {
			response.set_content(state.MainPage(), "text/html; charset=utf-8");
			return;
		}
		int output;
		int level;
		if (request.params.size() != 1
			|| !BoardState::ParseSwitch(request.params.begin()->first,
				request.params.begin()->second, &output, &level)) {
			response.status = 400;
			response.set_content("bad request: the query must be N=L with an "
				"output N from 3 to 6 and a level L of 0 or 1\n",
				"text/plain; charset=utf-8");
			return;
		}
		int status = options.status != 0 ? options.status : 200;
		if (status >= 200 && status < 300)
			state.Set(output, level);
		response.status = status;
		response.set_content(state.MainPage(), "text/html; charset=utf-8");
	});
	server.Get("/owner.htm", [&state](const httplib::Request&,
			httplib::Response& response) {
		response.set_content(state.OwnerPage(), "text/html; charset=utf-8");
	});
}


int
main(int argc, char** argv)
{
	SimOptions options;
	std::string error;
	if (!ParseSimOptions(argc, argv, &options, &error)) {
		fprintf(stderr, "rdx-board-sim: %s\n(see rdx-board-sim --help)\n",
			error.c_str());
		return 2;
	}
	if (options.help) {
		fputs(kSimUsage, stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-board-sim %s\n", RDX_VERSION);
		return 0;
	}

	signal(SIGPIPE, SIG_IGN);
	// The stop signals are taken by one thread with sigwait(); every other
	// thread, started below, inherits the mask and never sees them.
	sigset_t stopSignals;
	sigemptyset(&stopSignals);
	sigaddset(&stopSignals, SIGTERM);
	sigaddset(&stopSignals, SIGINT);
	signal(SIGTERM, SIG_DFL);
	signal(SIGINT, SIG_DFL);
	pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

	RequestLog log;
	if (!options.logFile.empty() && !log.Open(options.logFile)) {
		fprintf(stderr, "rdx-board-sim: cannot open the log %s: %m\n",
			options.logFile.c_str());
		return 1;
	}

	BoardState state;
	Pause pause;
	std::unique_ptr<httplib::Server> server;
	if (options.drop)
		server = std::make_unique<DroppingServer>(log, pause, options.delayMs);
	else
		server = std::make_unique<httplib::Server>();

	server->set_pre_routing_handler([&log, &pause, &options](
			const httplib::Request& request, httplib::Response&) {
		log.Write(request.method, request.target);
		pause.Wait(options.delayMs);
		return httplib::Server::HandlerResponse::Unhandled;
	});
	AddBoardHandlers(*server, state, options);
	// The library's default also sets SO_REUSEPORT, which would let a second
	// board share a port that is taken and split the requests between them.
	server->set_socket_options([](socket_t sock) {
		int on = 1;
		setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
	});

	int port = options.port;
	if (port == 0)
		port = server->bind_to_any_port(options.host);
	else if (!server->bind_to_port(options.host, port))
		port = -1;
	if (port <= 0) {
		fprintf(stderr, "rdx-board-sim: cannot listen on %s port %d\n",
			options.host.c_str(), options.port);
		return 1;
	}
	if (!options.portFile.empty() && !WritePortFile(options.portFile, port)) {
		fprintf(stderr, "rdx-board-sim: cannot write the port file %s: %m\n",
			options.portFile.c_str());
		return 1;
	}
	bool bracket = options.host.find(':') != std::string::npos;
	printf("rdx-board-sim listening on http://%s%s%s:%d/\n",
		bracket ? "[" : "", options.host.c_str(), bracket ? "]" : "", port);
	fflush(stdout);

	std::atomic<bool> listening{true};
	std::thread stopper([&] {
		int signalNumber = 0;
		sigwait(&stopSignals, &signalNumber);
		pause.Stop();
		// A signal that comes before the server's loop has started must not
		// be lost: stop until the loop has seen it.
		while (listening.load()) {
			server->stop();
			usleep(10000);
		}
	});

	server->listen_after_bind();
	listening.store(false);
	pause.Stop();
	// The server may also end by itself; the stopper then still waits.
	pthread_kill(stopper.native_handle(), SIGTERM);
	stopper.join();
	return 0;
}
