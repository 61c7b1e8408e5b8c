#include "UnusedPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


int
UnusedPort()
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	struct sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	int port = 0;
	if (bind(fd, (struct sockaddr*)&address, sizeof(address)) == 0
		&& getsockname(fd, (struct sockaddr*)&address, &length) == 0) {
		port = ntohs(address.sin_port);
	}
	close(fd);
	return port;
}
