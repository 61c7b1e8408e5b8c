#include "DroppingServer.h"

#include "Pause.h"
#include "RequestLog.h"

#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>


DroppingServer::DroppingServer(RequestLog& log, Pause& pause, int delayMs)
	:
	fLog(log),
	fPause(pause),
	fDelayMs(delayMs)
{
}


bool
DroppingServer::process_and_close_socket(socket_t sock)
{
	// Read the request head, so that it can be logged like any other; a
	// client that sends nothing for two seconds is dropped unlogged.
	std::string head;
	char buffer[1024];
	while (head.find("\r\n\r\n") == std::string::npos && head.size() < 8192) {
		struct pollfd waiting = {sock, POLLIN, 0};
		if (poll(&waiting, 1, 2000) <= 0)
			break;
		ssize_t count = recv(sock, buffer, sizeof(buffer), 0);
		if (count <= 0)
			break;
		head.append(buffer, (size_t)count);
	}

	size_t lineEnd = head.find("\r\n");
	if (lineEnd != std::string::npos) {
		std::string line = head.substr(0, lineEnd);
		size_t first = line.find(' ');
		size_t second = line.find(' ', first + 1);
		if (first != std::string::npos && second != std::string::npos) {
			fLog.Write(line.substr(0, first),
				line.substr(first + 1, second - first - 1));
		}
	}

	fPause.Wait(fDelayMs);
	shutdown(sock, SHUT_RDWR);
	close(sock);
	return true;
}
