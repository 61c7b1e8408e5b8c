#ifndef DROPPING_SERVER_H
#define DROPPING_SERVER_H

#include <httplib.h>

class Pause;
class RequestLog;

// A board that takes each connection, reads the request and hangs up without
// a word: what a client sees of a board that breaks down mid-request.
class DroppingServer : public httplib::Server {
public:
							DroppingServer(RequestLog& log, Pause& pause,
								int delayMs);

private:
			bool			process_and_close_socket(socket_t sock)
								override;

			RequestLog&		fLog;
			Pause&			fPause;
			int				fDelayMs;
};

#endif
