#include "RudeBoard.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kStatusLine[] = "HTTP/1.1 200 OK\r\n";
const char kEndlessHeader[] = "X-Trickle: ";
const double kTrickleInterval = 0.5;


double
now()
{
	struct timespec time;
	clock_gettime(CLOCK_MONOTONIC, &time);
	return time.tv_sec + time.tv_nsec / 1e9;
}


void
append_line(const std::string& path, const std::string& line)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
		0600);
	if (fd < 0)
		return;
	std::string text = line + "\n";
	ssize_t written = write(fd, text.data(), text.size());
	(void)written;
	close(fd);
}


struct Connection {
	int			fd = -1;
	std::string	received;
	bool		answered = false;
	size_t		sent = 0;
	double		nextByte = 0;
};


// Random bytes that no client can take for the start of an HTTP answer.
std::string
garbage(std::mt19937& random)
{
	std::string bytes(512, '\0');
	for (char& byte : bytes)
		byte = (char)(random() & 0xff);
	bytes[0] = '\x01';
	return bytes;
}


// The next byte a trickling board sends, or -1 when it has nothing more.
int
trickle_byte(const std::string& mode, size_t sent)
{
	size_t status = sizeof(kStatusLine) - 1;
	if (sent < status)
		return (unsigned char)kStatusLine[sent];
	if (mode != "endless")
		return -1;
	size_t header = sizeof(kEndlessHeader) - 1;
	if (sent < status + header)
		return (unsigned char)kEndlessHeader[sent - status];
	return 'a';
}

}	// namespace


int
RunRudeBoard(int argc, char** argv)
{
	std::string mode;
	std::string portFile;
	std::string logFile;
	double lifetime = 60;
	for (int i = 2; i + 1 < argc; i += 2) {
		std::string option = argv[i];
		if (option == "--mode")
			mode = argv[i + 1];
		else if (option == "--port-file")
			portFile = argv[i + 1];
		else if (option == "--log")
			logFile = argv[i + 1];
		else if (option == "--lifetime")
			lifetime = atof(argv[i + 1]);
	}
	if (mode != "silent" && mode != "reset" && mode != "garbage"
		&& mode != "trickle" && mode != "endless") {
		fprintf(stderr, "rude board: unknown mode '%s'\n", mode.c_str());
		return 2;
	}

	int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	struct sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	if (listener < 0
		|| bind(listener, (struct sockaddr*)&address, sizeof(address)) != 0
		|| listen(listener, 64) != 0
		|| getsockname(listener, (struct sockaddr*)&address, &length) != 0) {
		fprintf(stderr, "rude board: cannot listen: %s\n", strerror(errno));
		return 1;
	}
	std::string temporary = portFile + ".tmp";
	append_line(temporary, std::to_string(ntohs(address.sin_port)));
	rename(temporary.c_str(), portFile.c_str());

	std::mt19937 random(20260101);
	std::vector<Connection> connections;
	double end = now() + lifetime;
	while (now() < end) {
		std::vector<pollfd> fds;
		fds.push_back(pollfd{listener, POLLIN, 0});
		double wake = end;
		for (const Connection& connection : connections) {
			fds.push_back(pollfd{connection.fd, POLLIN, 0});
			if (connection.answered && connection.nextByte > 0
				&& connection.nextByte < wake)
				wake = connection.nextByte;
		}
		int timeout = (int)((wake - now()) * 1000) + 1;
		if (poll(fds.data(), fds.size(), timeout < 0 ? 0 : timeout) < 0
			&& errno != EINTR)
			return 1;

		if (fds[0].revents & POLLIN) {
			int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
			if (fd >= 0) {
				Connection connection;
				connection.fd = fd;
				connections.push_back(connection);
				append_line(logFile, "C");
			}
		}

		for (size_t i = 0; i < connections.size(); i++) {
			Connection& connection = connections[i];
			if (i + 1 < fds.size() && (fds[i + 1].revents & (POLLIN | POLLHUP
					| POLLERR))) {
				char buffer[4096];
				ssize_t count = recv(connection.fd, buffer, sizeof(buffer), 0);
				if (count <= 0) {
					close(connection.fd);
					connection.fd = -1;
					continue;
				}
				connection.received.append(buffer, (size_t)count);
			}

			if (!connection.answered
				&& connection.received.find("\r\n\r\n") != std::string::npos) {
				connection.answered = true;
				append_line(logFile, "R " + connection.received.substr(0,
					connection.received.find("\r\n")));
				if (mode == "reset") {
					struct linger linger = {1, 0};
					setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &linger,
						sizeof(linger));
					close(connection.fd);
					connection.fd = -1;
					continue;
				}
				if (mode == "garbage") {
					std::string bytes = garbage(random);
					ssize_t sent = send(connection.fd, bytes.data(),
						bytes.size(), MSG_NOSIGNAL);
					(void)sent;
					close(connection.fd);
					connection.fd = -1;
					continue;
				}
				if (mode == "trickle" || mode == "endless")
					connection.nextByte = now();
			}

			if (connection.answered && connection.nextByte > 0
				&& now() >= connection.nextByte) {
				int byte = trickle_byte(mode, connection.sent);
				if (byte < 0) {
					connection.nextByte = 0;
					continue;
				}
				char one = (char)byte;
				if (send(connection.fd, &one, 1, MSG_NOSIGNAL) != 1) {
					close(connection.fd);
					connection.fd = -1;
					continue;
				}
				connection.sent++;
				connection.nextByte = now() + kTrickleInterval;
			}
		}
		std::vector<Connection> open;
		for (const Connection& connection : connections) {
			if (connection.fd >= 0)
				open.push_back(connection);
		}
		connections.swap(open);
	}
	for (const Connection& connection : connections)
		close(connection.fd);
	close(listener);
	return 0;
}


RudeBoard::RudeBoard(const std::string& mode, double lifetimeSeconds)
	:
	fDirectory("rdx-rude-board")
{
	char self[4096];
	ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
	if (length <= 0)
		return;
	self[length] = '\0';
	std::string portFile = fDirectory.Sub("port");
	fProcess = std::make_unique<ChildProcess>(std::vector<std::string>{self,
		"--rude-board", "--mode", mode, "--port-file", portFile, "--log",
		fDirectory.Sub("log"), "--lifetime",
		std::to_string(lifetimeSeconds)});
	wait_for([&] {
		return !read_file(portFile).empty() || !fProcess->Running();
	}, 10);
	fPort = atoi(read_file(portFile).c_str());
}


RudeBoard::~RudeBoard()
{
	fProcess.reset();
}


std::vector<std::string>
RudeBoard::Requests() const
{
	std::vector<std::string> requests;
	std::istringstream in(read_file(fDirectory.Sub("log")));
	for (std::string line; std::getline(in, line);) {
		if (line.rfind("R ", 0) == 0)
			requests.push_back(line.substr(2));
	}
	return requests;
}


int
RudeBoard::Connections() const
{
	return count_of(read_file(fDirectory.Sub("log")), "C\n");
}
