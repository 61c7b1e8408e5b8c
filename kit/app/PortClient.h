#ifndef _PORT_CLIENT_H
#define _PORT_CLIENT_H

#include <OS.h>

#include <mutex>
#include <string>

class BMessage;

namespace BPrivate {

// The sending end of a message port connection, as a messenger to another
// application uses it. The connection is made on first use and kept for the
// next message; one that the application has closed meanwhile is made anew
// once. Sends from several threads take turns.
class PortClient {
public:
	// team: the process that must hold the port, or -1 for any.
							PortClient(const std::string& path, team_id team);
							~PortClient();

							PortClient(const PortClient&) = delete;
			PortClient&		operator=(const PortClient&) = delete;

			// B_OK once connected; B_BAD_PORT_ID when no application holds
			// the port, B_PERMISSION_DENIED when the one that does runs as
			// another user.
			status_t		Connect(bigtime_t timeout);
			// Sends the message and waits for the application's answer,
			// both within the time-out. B_OK: the message is in the
			// application's queue.
			status_t		Send(const BMessage& message, bigtime_t timeout);
			// Whether an application holds the port now.
			bool			IsReachable();
			// Hands the connection over to the caller, who closes it; -1
			// when there is none. The client makes a new one when used
			// again.
			int				Detach();

private:
			status_t		_Connect(bigtime_t deadline);
			// *lost: the connection ended without an answer.
			status_t		_Exchange(const std::string& frame,
								bigtime_t deadline, bool* lost);
			void			_Close();

			std::mutex		fLock;
			std::string		fPath;
			team_id			fTeam;
			int				fFD = -1;
};

}	// namespace BPrivate

#endif
