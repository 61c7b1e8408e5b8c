#ifndef REFUSING_PORT_H
#define REFUSING_PORT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port that refuses connections: bound, never listening, and
// held for as long as the object lives so that nobody else takes it.
class RefusingPort {
public:
	RefusingPort()
	{
		fSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		struct sockaddr_in address = {};
		address.sin_family = AF_INET;
		address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		bind(fSocket, (struct sockaddr*)&address, sizeof(address));
		socklen_t length = sizeof(address);
		getsockname(fSocket, (struct sockaddr*)&address, &length);
		fPort = ntohs(address.sin_port);
	}
	~RefusingPort() { close(fSocket); }

	std::string Address() const
		{ return "127.0.0.1:" + std::to_string(fPort); }

private:
	int	fSocket = -1;
	int	fPort = 0;
};

#endif
