#ifndef LOG_FOLLOWER_H
#define LOG_FOLLOWER_H

#include <LogReader.h>
#include <Messenger.h>

#include <memory>
#include <string>
#include <thread>

class ReadHistory;

// The access log for a window: what it holds now is read at once, and what
// is appended later is posted to the target as it comes (the message's
// "line" field holds the record's line), with the same inotify watch that
// rdx-log --follow uses. The watching thread ends and is joined when the
// follower goes.
class LogFollower {
public:
							LogFollower(const std::string& path,
								BMessenger target, uint32 what);
							~LogFollower();

							LogFollower(const LogFollower&) = delete;
			LogFollower&	operator=(const LogFollower&) = delete;

	// Reads the log into the history, then starts following it. B_OK also
	// for a log that does not exist yet; Error() says what failed.
			status_t		Start(ReadHistory* history);
			const std::string& Error() const { return fError; }

private:
			void			_Follow();

			LogReader		fReader;
			BMessenger		fTarget;
			uint32			fWhat;
			std::string		fError;
			std::thread		fThread;
};

#endif
