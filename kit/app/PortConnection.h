#ifndef _PORT_CONNECTION_H
#define _PORT_CONNECTION_H

#include <OS.h>

#include <memory>
#include <string>
#include <vector>

class BMessage;

namespace BPrivate {

// The receiving end of one connection to a message port. It never holds
// more than one frame: once a whole message has arrived it reads nothing
// more until the message has been handed on, so a sender that floods is
// held back by its own socket and costs no memory here.
//
// A connection that has asked to watch the application only receives from
// then on: the port queues notice frames on it, and what the peer has not
// read yet waits here up to a limit the port sets. The same frame reader
// serves the watching end of such a connection (see PortWatcher).
class PortConnection {
public:
	enum ReadResult {
		kNothingYet,
		kMessageReady,
		// The peer closed the connection between two frames.
		kClosed,
		// The frame was malformed or cut off; *problem says how.
		kBroken,
	};

							PortConnection(int fd, bigtime_t now);
							~PortConnection();

							PortConnection(const PortConnection&) = delete;
			PortConnection&	operator=(const PortConnection&) = delete;

			int				FD() const { return fFD; }

			// Reads what the socket has, up to the end of the current frame.
			ReadResult		Read(bigtime_t now, std::string* problem);

			bool			HasMessage() const { return fMessage != nullptr; }
			BMessage*		Message() const { return fMessage.get(); }
			void			MessageDelivered();

			// Part of a frame has arrived, the rest has not.
			bool			InFrame() const { return !fBuffer.empty(); }
			bool			IsIdle() const
								{ return !InFrame() && !HasMessage()
									&& !fWatching; }
			bigtime_t		LastActivity() const { return fLastActivity; }

			// Sends one status byte without waiting: B_WOULD_BLOCK when the
			// peer does not read what it is sent, another error when it is
			// gone.
			status_t		Answer(uint8 status);

			void			Close();
			bool			IsClosed() const { return fFD < 0; }

			// whats: the notice codes wanted; empty for every notice.
			void			StartWatching(const std::vector<uint32>& whats);
			void			StopWatching() { fWatching = false; }
			bool			IsWatching() const { return fWatching; }
			bool			Watches(uint32 what) const;
			// Adds a frame to what waits to be sent; false, and nothing
			// added, when more than limit bytes would then wait.
			bool			QueueOutput(const std::string& frame,
								size_t limit);
			// Sends what the socket takes without waiting; an error when
			// the peer is gone.
			status_t		Flush();
			bool			HasOutput() const
								{ return fOutputStart < fOutput.size(); }
			size_t			OutputSize() const
								{ return fOutput.size() - fOutputStart; }

private:
			int				fFD;
			std::vector<char> fBuffer;
			// How many bytes the current frame has in all; known once its
			// header is in.
			size_t			fFrameSize;
			std::unique_ptr<BMessage> fMessage;
			bigtime_t		fLastActivity;

			bool			fWatching = false;
			std::vector<uint32> fWatchedCodes;
			std::string		fOutput;
			size_t			fOutputStart = 0;
};

}	// namespace BPrivate

#endif
