#include "PortClient.h"

#include "PortFrame.h"

#include <Message.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace BPrivate {

namespace {

const bigtime_t kNoDeadline = B_INFINITE_TIMEOUT;


bigtime_t
deadline_for(bigtime_t timeout)
{
	if (timeout < 0 || timeout == B_INFINITE_TIMEOUT)
		return kNoDeadline;
	bigtime_t now = system_time();
	if (timeout > kNoDeadline - now)
		return kNoDeadline;
	return now + timeout;
}


// Milliseconds for poll() until the deadline, rounded up; -1 for none.
int
poll_timeout(bigtime_t deadline)
{
	if (deadline == kNoDeadline)
		return -1;
	bigtime_t left = deadline - system_time();
	if (left <= 0)
		return 0;
	if (left > 3600LL * 1000000LL)
		return 3600 * 1000;
	return (int)((left + 999) / 1000);
}


// Waits until the socket is ready for the events; B_TIMED_OUT at the
// deadline.
status_t
wait_for(int fd, short events, bigtime_t deadline)
{
	for (;;) {
		pollfd entry = {fd, events, 0};
		int timeout = poll_timeout(deadline);
		int count = poll(&entry, 1, timeout);
		if (count > 0)
			return B_OK;
		if (count == 0) {
			if (timeout != 0 && deadline != kNoDeadline
				&& system_time() < deadline)
				continue;
			return B_TIMED_OUT;
		}
		if (errno != EINTR)
			return B_FROM_POSIX_ERROR(errno);
	}
}

}	// namespace


PortClient::PortClient(const std::string& path, team_id team)
	:
	fPath(path),
	fTeam(team)
{
}


PortClient::~PortClient()
{
	_Close();
}


status_t
PortClient::Connect(bigtime_t timeout)
{
	std::lock_guard<std::mutex> guard(fLock);
	if (fFD >= 0)
		return B_OK;
	return _Connect(deadline_for(timeout));
}


bool
PortClient::IsReachable()
{
	std::lock_guard<std::mutex> guard(fLock);
	if (fFD >= 0) {
		// Between two messages the application never writes, so anything
		// to read means it has closed the connection.
		pollfd entry = {fFD, POLLIN | POLLRDHUP, 0};
		if (poll(&entry, 1, 0) == 0)
			return true;
		_Close();
	}
	return _Connect(deadline_for(2 * 1000000LL)) == B_OK;
}


status_t
PortClient::Send(const BMessage& message, bigtime_t timeout)
{
	std::string frame;
	if (PortFrame::Encode(message, &frame) != B_OK)
		return B_BAD_VALUE;

	bigtime_t deadline = deadline_for(timeout);
	std::lock_guard<std::mutex> guard(fLock);
	// A kept connection may have been closed by the application since the
	// last message (it closes idle ones when it has too many); that one
	// costs a second try on a fresh connection, never a lost message.
	bool fresh = fFD < 0;
	for (int attempt = 0; attempt < 2; attempt++) {
		if (fFD < 0) {
			status_t status = _Connect(deadline);
			if (status != B_OK)
				return status;
		}
		bool lost = false;
		status_t status = _Exchange(frame, deadline, &lost);
		if (status != B_OK)
			_Close();
		if (!lost || fresh)
			return status;
		fresh = true;
	}
	return B_BAD_PORT_ID;
}


status_t
PortClient::_Connect(bigtime_t deadline)
{
	if (fPath.size() >= sizeof(((sockaddr_un*)nullptr)->sun_path))
		return B_NAME_TOO_LONG;
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return B_FROM_POSIX_ERROR(errno);

	// A connect to a port whose backlog is full waits, but not longer than
	// the caller wants to.
	if (deadline != kNoDeadline) {
		bigtime_t left = std::max<bigtime_t>(deadline - system_time(), 1000);
		timeval limit = {(time_t)(left / 1000000), (suseconds_t)(left % 1000000)};
		setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
	}

	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	memcpy(address.sun_path, fPath.c_str(), fPath.size() + 1);
	int result;
	do {
		result = connect(fd, (sockaddr*)&address, sizeof(address));
	} while (result != 0 && errno == EINTR);
	if (result != 0) {
		int error = errno;
		close(fd);
		switch (error) {
			case ENOENT:
			case ECONNREFUSED:
			case ENOTDIR:
				return B_BAD_PORT_ID;
			case EAGAIN:
			case EINPROGRESS:
				return B_TIMED_OUT;
			case EACCES:
			case EPERM:
				return B_PERMISSION_DENIED;
			default:
				return B_FROM_POSIX_ERROR(error);
		}
	}

	// Messages go only to an application of the same user: a port that
	// someone else put in our way does not get them.
	struct ucred peer = {};
	socklen_t size = sizeof(peer);
	if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0
		|| peer.uid != geteuid()) {
		close(fd);
		return B_PERMISSION_DENIED;
	}
	if (fTeam >= 0 && peer.pid != fTeam) {
		close(fd);
		return B_MISMATCHED_VALUES;
	}

	int flags = fcntl(fd, F_GETFL);
	fcntl(fd, F_SETFL, flags | O_NONBLOCK);
	fFD = fd;
	return B_OK;
}


status_t
PortClient::_Exchange(const std::string& frame, bigtime_t deadline,
	bool* lost)
{
	size_t sent = 0;
	while (sent < frame.size()) {
		ssize_t count = send(fFD, frame.data() + sent, frame.size() - sent,
			MSG_NOSIGNAL);
		if (count > 0) {
			sent += (size_t)count;
			continue;
		}
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			status_t status = wait_for(fFD, POLLOUT, deadline);
			if (status != B_OK)
				return status;
			continue;
		}
		// The application closed the connection; it may have said why
		// before it did, which the answer below picks up.
		break;
	}

	for (;;) {
		uint8 answer;
		ssize_t count = recv(fFD, &answer, 1, 0);
		if (count == 1)
			return PortFrame::StatusFor(answer);
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			status_t status = wait_for(fFD, POLLIN, deadline);
			if (status != B_OK)
				return status;
			continue;
		}
		*lost = true;
		return B_BAD_PORT_ID;
	}
}


int
PortClient::Detach()
{
	std::lock_guard<std::mutex> guard(fLock);
	int fd = fFD;
	fFD = -1;
	return fd;
}


void
PortClient::_Close()
{
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
}

}	// namespace BPrivate
