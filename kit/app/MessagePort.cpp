#include "MessagePort.h"

#include "PortAddress.h"
#include "PortConnection.h"
#include "PortFrame.h"
#include "PortLog.h"

#include <Message.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// The poll set: the wake-up, the listening socket, the notices, then one
// entry per connection.
const size_t kFirstConnection = 3;

// After accept() ran out of file descriptors the port rests this long
// before it tries again, instead of spinning on a backlog it cannot take.
const bigtime_t kAcceptPause = 100 * 1000LL;

// Notices waiting for the port's thread; only a thread that cannot run for
// a long while lets this many pile up.
const size_t kMaxPendingNotices = 4096;


sockaddr_un
address_for(const std::string& path)
{
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	memcpy(address.sun_path, path.c_str(), path.size() + 1);
	return address;
}

}	// namespace


MessagePort::MessagePort(const char* signature, const BMessenger& target)
	:
	MessagePort(signature, target, Limits())
{
}


MessagePort::MessagePort(const char* signature, const BMessenger& target,
	const Limits& limits)
	:
	fTarget(target),
	fLimits(limits)
{
	if (fLimits.maxConnections == 0)
		fLimits.maxConnections = 1;
	if (fLimits.retryInterval <= 0)
		fLimits.retryInterval = 1000;
	fInitStatus = _Open(signature);
}


MessagePort::~MessagePort()
{
	if (fThread >= 0) {
		uint64 one = 1;
		ssize_t written = write(fWakeFD, &one, sizeof(one));
		(void)written;
		wait_for_thread(fThread, nullptr);
	}

	// A sender whose message could not be queued hears why instead of
	// seeing its connection just end.
	for (std::unique_ptr<PortConnection>& connection : fConnections) {
		if (connection->HasMessage())
			connection->Answer(PortFrame::kQuitting);
	}
	fConnections.clear();
	fConnectionCount = 0;

	if (fListenFD >= 0) {
		// Only our own socket goes; a file that replaced it is not ours.
		struct stat info;
		if (lstat(fPath.c_str(), &info) == 0 && info.st_dev == fSocketDevice
			&& info.st_ino == fSocketNode)
			unlink(fPath.c_str());
		close(fListenFD);
	}
	if (fWakeFD >= 0)
		close(fWakeFD);
	if (fNoticeFD >= 0)
		close(fNoticeFD);
}


status_t
MessagePort::_Open(const char* signature)
{
	status_t status = PortAddress::PathFor(signature, &fPath);
	if (status != B_OK) {
		std::string name = signature != nullptr ? signature : "";
		std::string why = std::string("the signature \"") + name
			+ "\" cannot name a message port (" + status_text(status) + ")";
		return _Failed(status, why + "; running without a message port",
			why);
	}

	std::string directory = PortAddress::Directory();
	std::string problem;
	std::string remedy;
	status = PortAddress::PrepareDirectory(directory, &problem, &remedy);
	if (status != B_OK) {
		return _Failed(status, "not using " + directory + " for the message"
			" port: " + problem + "; running without a message port",
			"the message port's directory " + directory + " cannot be used: "
			+ problem + "; to mend it: " + remedy);
	}

	// Two instances that start together must not both find the socket
	// stale and take turns removing each other's. The directory is locked
	// while the socket is checked and made.
	int directoryFD = open(directory.c_str(),
		O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
	if (directoryFD >= 0)
		flock(directoryFD, LOCK_EX);
	status = _Bind();
	if (directoryFD >= 0)
		close(directoryFD);
	if (status != B_OK)
		return status;

	fWakeFD = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
	fNoticeFD = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
	if (fWakeFD < 0 || fNoticeFD < 0) {
		status = B_FROM_POSIX_ERROR(errno);
		std::string why = "cannot start the message port " + fPath + ": "
			+ status_text(status);
		return _Failed(status, why + "; running without a message port",
			why);
	}

	fThread = spawn_thread(_ThreadEntry, "message port", B_NORMAL_PRIORITY,
		this);
	if (fThread < 0) {
		status = fThread;
		std::string why = "cannot start the message port " + fPath + ": "
			+ status_text(status);
		return _Failed(status, why + "; running without a message port",
			why);
	}
	resume_thread(fThread);
	return B_OK;
}


status_t
MessagePort::_Bind()
{
	sockaddr_un address = address_for(fPath);
	for (int attempt = 0; attempt < 2; attempt++) {
		int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
			0);
		if (fd < 0)
			break;
		if (bind(fd, (sockaddr*)&address, sizeof(address)) == 0) {
			struct stat info;
			if (chmod(fPath.c_str(), 0600) != 0
				|| listen(fd, SOMAXCONN) != 0
				|| lstat(fPath.c_str(), &info) != 0) {
				status_t status = B_FROM_POSIX_ERROR(errno);
				unlink(fPath.c_str());
				close(fd);
				std::string why = "cannot open the message port " + fPath
					+ ": " + status_text(status);
				return _Failed(status,
					why + "; running without a message port", why);
			}
			fSocketDevice = info.st_dev;
			fSocketNode = info.st_ino;
			fListenFD = fd;
			return B_OK;
		}
		int error = errno;
		close(fd);
		if (error != EADDRINUSE || attempt > 0) {
			errno = error;
			break;
		}

		// Something has the name: a live instance, the socket of one that
		// died, or a file that is no socket at all.
		struct stat info;
		if (lstat(fPath.c_str(), &info) == 0 && !S_ISSOCK(info.st_mode)) {
			std::string why = fPath + " is in the way of the message port"
				" and is not a socket";
			return _Failed(B_FILE_EXISTS,
				why + "; running without a message port",
				why + "; to mend it: rm " + fPath);
		}
		int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
			0);
		if (probe < 0)
			break;
		int result = connect(probe, (sockaddr*)&address, sizeof(address));
		int probeError = errno;
		close(probe);
		if (result == 0 || probeError == EAGAIN || probeError == EINPROGRESS) {
			return _Failed(B_NAME_IN_USE, "another instance already holds"
				" the message port " + fPath + "; this one runs without a"
				" message port", "another instance already holds the"
				" message port " + fPath);
		}
		if (probeError != ECONNREFUSED) {
			errno = probeError;
			break;
		}
		if (unlink(fPath.c_str()) != 0 && errno != ENOENT)
			break;
		PortLog::Line("replaced the stale message port %s", fPath.c_str());
	}

	status_t status = B_FROM_POSIX_ERROR(errno);
	std::string why = "cannot open the message port " + fPath + ": "
		+ status_text(status);
	return _Failed(status, why + "; running without a message port", why);
}


status_t
MessagePort::_Failed(status_t status, const std::string& line,
	const std::string& problem)
{
	fProblem = problem;
	// An application that must not run twice cannot run without its port:
	// the port is how a second instance finds the first. It says what to
	// mend itself, and does not start.
	if (!fLimits.exclusive)
		PortLog::Line("%s", line.c_str());
	return status;
}


status_t
MessagePort::_ThreadEntry(void* data)
{
	static_cast<MessagePort*>(data)->_Serve();
	return B_OK;
}


void
MessagePort::_Serve()
{
	std::vector<pollfd> fds;
	bigtime_t acceptResume = 0;
	for (;;) {
		bigtime_t now = system_time();
		fds.clear();
		fds.push_back(pollfd{fWakeFD, POLLIN, 0});
		fds.push_back(pollfd{now >= acceptResume ? fListenFD : -1, POLLIN, 0});
		fds.push_back(pollfd{fNoticeFD, POLLIN, 0});
		for (const std::unique_ptr<PortConnection>& connection : fConnections) {
			// A connection whose message waits for room is not read on: its
			// sender waits for the answer, and its socket holds the rest.
			short events = POLLIN;
			if (connection->HasOutput())
				events |= POLLOUT;
			fds.push_back(pollfd{connection->HasMessage()
				? -1 : connection->FD(), events, 0});
		}

		int timeout = _PollTimeout(now);
		if (now < acceptResume) {
			int resume = (int)((acceptResume - now + 999) / 1000);
			timeout = timeout < 0 ? resume : std::min(timeout, resume);
		}
		int count = poll(fds.data(), fds.size(), timeout);
		if (count < 0 && errno != EINTR) {
			PortLog::Line("the message port %s stopped: %s", fPath.c_str(),
				::strerror(errno));
			return;
		}
		if (count > 0 && fds[0].revents != 0)
			return;

		now = system_time();
		for (size_t i = 0; count > 0 && i < fConnections.size(); i++) {
			PortConnection& connection = *fConnections[i];
			short revents = fds[i + kFirstConnection].revents;
			if (revents == 0)
				continue;
			if ((revents & POLLOUT) != 0)
				_FlushWatcher(connection);
			if ((revents & ~POLLOUT) == 0 || connection.IsClosed())
				continue;
			std::string problem;
			switch (connection.Read(now, &problem)) {
				case PortConnection::kBroken:
					PortLog::Line("dropped a message on %s: %s",
						fPath.c_str(), problem.c_str());
					connection.Answer(PortFrame::kMalformed);
					connection.Close();
					break;
				case PortConnection::kClosed:
					connection.Close();
					break;
				case PortConnection::kMessageReady:
					if (connection.Message()->what == B_START_WATCHING
						&& fWatcherCount >= fLimits.maxWatchers) {
						PortLog::Line("%zu connections already watch %s;"
							" refused another one", fWatcherCount.load(),
							fPath.c_str());
						connection.MessageDelivered();
						connection.Answer(PortFrame::kBusy);
						connection.Close();
					}
					break;
				case PortConnection::kNothingYet:
					break;
			}
		}

		if (count > 0 && fds[2].revents != 0) {
			uint64 value;
			ssize_t taken = read(fNoticeFD, &value, sizeof(value));
			(void)taken;
		}
		_PassNotices();

		for (std::unique_ptr<PortConnection>& connection : fConnections) {
			if (connection->IsClosed() || !connection->InFrame()
				|| now - connection->LastActivity() < fLimits.stallTimeout)
				continue;
			PortLog::Line("dropped a message on %s: the sender stopped in the"
				" middle of a frame for %.1f seconds", fPath.c_str(),
				fLimits.stallTimeout / 1e6);
			connection->Answer(PortFrame::kMalformed);
			connection->Close();
		}

		_Deliver();
		_RemoveClosed();

		if (count > 0 && fds[1].fd >= 0 && fds[1].revents != 0) {
			if (fds[1].revents & (POLLERR | POLLNVAL)) {
				PortLog::Line("the message port %s stopped taking connections",
					fPath.c_str());
				return;
			}
			// Out of file descriptors: the backlog waits for a while.
			if (!_AcceptAll(now))
				acceptResume = system_time() + kAcceptPause;
		}
	}
}


int
MessagePort::_PollTimeout(bigtime_t now) const
{
	bigtime_t wait = -1;
	for (const std::unique_ptr<PortConnection>& connection : fConnections) {
		bigtime_t until = -1;
		if (connection->HasMessage())
			until = fLimits.retryInterval;
		else if (connection->InFrame()) {
			until = std::max<bigtime_t>(0,
				connection->LastActivity() + fLimits.stallTimeout - now);
		}
		if (until >= 0 && (wait < 0 || until < wait))
			wait = until;
	}
	if (wait < 0)
		return -1;
	return (int)std::min<bigtime_t>((wait + 999) / 1000, 60 * 1000);
}


void
MessagePort::_Deliver()
{
	size_t count = fConnections.size();
	if (count == 0)
		return;
	size_t first = fNextTurn % count;
	fNextTurn = (first + 1) % count;
	for (size_t n = 0; n < count; n++) {
		size_t index = (first + n) % count;
		PortConnection& connection = *fConnections[index];
		if (connection.IsClosed() || !connection.HasMessage())
			continue;
		// A whole frame is handed on also when its sender has closed its
		// end meanwhile: posting and leaving at once is allowed (a send
		// with no time-out does just that). Whether a message still counts
		// is the receiver's to judge, by what the message says (a tag
		// read carries until when it counts); the answer below then finds
		// nobody and closes the connection.

		bool watchRequest = connection.Message()->what == B_START_WATCHING;
		std::vector<uint32> whats;
		int32 code;
		for (int32 i = 0; watchRequest && connection.Message()->FindInt32(
				B_OBSERVE_WHAT_CHANGE, i, &code) == B_OK; i++)
			whats.push_back((uint32)code);
		// A new watcher counts before the application hears of it, so that
		// what the application tells it in return reaches it. The answer
		// below still goes out before any notice: notices are written by
		// this thread, after this.
		if (watchRequest) {
			connection.StartWatching(whats);
			fWatcherCount++;
		}
		status_t status = fTarget.SendMessage(connection.Message(), nullptr,
			0);
		if (watchRequest && status != B_OK) {
			connection.StopWatching();
			fWatcherCount--;
		}
		if (status == B_WOULD_BLOCK || status == B_TIMED_OUT) {
			// The queue is full. This connection goes first once there is
			// room, and the ones after it follow in turn, so that nobody who
			// sends a lot can keep the others out.
			fNextTurn = index;
			return;
		}
		connection.MessageDelivered();
		if (status != B_OK) {
			connection.Answer(PortFrame::kQuitting);
			connection.Close();
			continue;
		}
		status = connection.Answer(PortFrame::kAccepted);
		if (status == B_WOULD_BLOCK) {
			PortLog::Line("closed a connection to %s that does not read its"
				" answers", fPath.c_str());
		}
		if (status != B_OK)
			connection.Close();
	}
}


void
MessagePort::SendNotice(const BMessage& notice)
{
	if (fWatcherCount == 0 || fNoticeFD < 0)
		return;
	Notice entry;
	int32 what = 0;
	notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &what);
	entry.what = (uint32)what;
	if (PortFrame::Encode(notice, &entry.frame) != B_OK)
		return;
	{
		std::lock_guard<std::mutex> guard(fNoticeLock);
		if (fNotices.size() >= kMaxPendingNotices) {
			if (!fNoticesOverflowed) {
				PortLog::Line("the message port %s is behind with its"
					" notices; dropped some", fPath.c_str());
			}
			fNoticesOverflowed = true;
			return;
		}
		fNoticesOverflowed = false;
		fNotices.push_back(std::move(entry));
	}
	uint64 one = 1;
	ssize_t written = write(fNoticeFD, &one, sizeof(one));
	(void)written;
}


void
MessagePort::_PassNotices()
{
	std::vector<Notice> notices;
	{
		std::lock_guard<std::mutex> guard(fNoticeLock);
		notices.swap(fNotices);
	}
	if (notices.empty())
		return;
	for (std::unique_ptr<PortConnection>& connection : fConnections) {
		if (connection->IsClosed() || !connection->IsWatching())
			continue;
		for (const Notice& notice : notices) {
			if (!connection->Watches(notice.what))
				continue;
			if (!connection->QueueOutput(notice.frame,
					fLimits.watchBacklog)) {
				_CutOff(*connection, "does not read its notices");
				break;
			}
		}
		if (!connection->IsClosed())
			_FlushWatcher(*connection);
	}
	_RemoveClosed();
}


void
MessagePort::_FlushWatcher(PortConnection& connection)
{
	if (connection.Flush() != B_OK)
		_CutOff(connection, nullptr);
}


void
MessagePort::_CutOff(PortConnection& connection, const char* why)
{
	if (why != nullptr) {
		PortLog::Line("cut off a watcher of %s that %s (%zu bytes waiting)",
			fPath.c_str(), why, connection.OutputSize());
	}
	connection.Close();
}


void
MessagePort::_Drop(PortConnection& connection)
{
	connection.Close();
	_RemoveClosed();
}


void
MessagePort::_RemoveClosed()
{
	size_t removedBefore = 0;
	for (size_t i = 0; i < fConnections.size() && i < fNextTurn; i++) {
		if (fConnections[i]->IsClosed())
			removedBefore++;
	}
	fConnections.erase(std::remove_if(fConnections.begin(),
			fConnections.end(),
			[](const std::unique_ptr<PortConnection>& connection) {
				return connection->IsClosed();
			}),
		fConnections.end());
	size_t watchers = 0;
	for (const std::unique_ptr<PortConnection>& connection : fConnections)
		watchers += connection->IsWatching() ? 1 : 0;
	fWatcherCount = watchers;
	fNextTurn -= std::min(fNextTurn, removedBefore);
	if (fNextTurn >= fConnections.size())
		fNextTurn = 0;
	fConnectionCount = fConnections.size();
}


bool
MessagePort::_AcceptAll(bigtime_t now)
{
	for (;;) {
		int fd = accept4(fListenFD, nullptr, nullptr,
			SOCK_NONBLOCK | SOCK_CLOEXEC);
		if (fd < 0) {
			if (errno == EINTR || errno == ECONNABORTED)
				continue;
			if (errno == EMFILE || errno == ENFILE) {
				PortLog::Line("cannot take a connection on %s: %s",
					fPath.c_str(), ::strerror(errno));
				return false;
			}
			return true;
		}

		uid_t expected = fLimits.peerUser == Limits::kThisUser
			? geteuid() : fLimits.peerUser;
		struct ucred peer = {};
		socklen_t size = sizeof(peer);
		if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0
			|| peer.uid != expected) {
			PortLog::Line("refused a connection to %s from user id %u"
				" (process %d)", fPath.c_str(), (unsigned)peer.uid,
				(int)peer.pid);
			uint8 answer = PortFrame::kWrongUser;
			ssize_t sent = send(fd, &answer, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
			(void)sent;
			close(fd);
			continue;
		}

		if (fConnections.size() >= fLimits.maxConnections) {
			PortConnection* idlest = nullptr;
			for (std::unique_ptr<PortConnection>& connection : fConnections) {
				if (connection->IsIdle() && (idlest == nullptr
						|| connection->LastActivity()
							< idlest->LastActivity()))
					idlest = connection.get();
			}
			if (idlest == nullptr) {
				PortLog::Line("%zu connections to %s are open at once and all"
					" are busy; refused a new one", fConnections.size(),
					fPath.c_str());
				uint8 answer = PortFrame::kBusy;
				ssize_t sent = send(fd, &answer, 1,
					MSG_NOSIGNAL | MSG_DONTWAIT);
				(void)sent;
				close(fd);
				continue;
			}
			PortLog::Line("%zu connections to %s are open at once; closed the"
				" one that was idle longest", fConnections.size(),
				fPath.c_str());
			_Drop(*idlest);
		}

		fConnections.push_back(std::make_unique<PortConnection>(fd, now));
		fConnectionCount = fConnections.size();
	}
}

}	// namespace BPrivate
