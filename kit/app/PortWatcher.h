#ifndef _PORT_WATCHER_H
#define _PORT_WATCHER_H

#include <OS.h>

#include <memory>
#include <string>
#include <vector>

class BMessage;

namespace BPrivate {

class PortConnection;

// The watching end of a message port connection: it asks another
// application to be sent its notices, then reads them as they come. It
// waits nowhere by itself: the caller waits on FD() with the rest of its
// sources and calls ReadNotice() when it is readable.
class PortWatcher {
public:
	// signature: the application to watch. whats: the notice codes wanted,
	// none for all.
							PortWatcher(const char* signature,
								const std::vector<uint32>& whats = {});
							~PortWatcher();

							PortWatcher(const PortWatcher&) = delete;
			PortWatcher&	operator=(const PortWatcher&) = delete;

			// Connects and asks to watch. B_OK: notices come from now on;
			// B_BAD_PORT_ID: the application does not run;
			// B_PERMISSION_DENIED: it runs as another user; B_WOULD_BLOCK:
			// it has as many watchers as it takes.
			status_t		Start(bigtime_t timeout);
			bool			IsWatching() const;
			// The socket to wait on for reading; -1 when not watching.
			int				FD() const;

			// B_OK with the next notice; B_WOULD_BLOCK when no whole one
			// has arrived yet; B_BAD_PORT_ID when the application closed the
			// connection (it ended, or cut this watcher off); B_BAD_DATA when
			// what came is no notice frame (*problem says why). After an
			// error the watcher is stopped.
			status_t		ReadNotice(BMessage* notice,
								std::string* problem = nullptr);
			void			Stop();

private:
			std::string		fSignature;
			std::vector<uint32> fWhats;
			std::unique_ptr<PortConnection> fConnection;
};

}	// namespace BPrivate

#endif
