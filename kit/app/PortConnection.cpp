#include "PortConnection.h"

#include "PortFrame.h"

#include <AppDefs.h>
#include <Message.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// A connection that once carried a large message gives the memory back
// instead of keeping it for the rest of its life.
const size_t kKeptCapacity = 4096;

}	// namespace


PortConnection::PortConnection(int fd, bigtime_t now)
	:
	fFD(fd),
	fFrameSize(PortFrame::kHeaderSize),
	fLastActivity(now)
{
}


PortConnection::~PortConnection()
{
	Close();
}


PortConnection::ReadResult
PortConnection::Read(bigtime_t now, std::string* problem)
{
	if (fWatching) {
		// A watcher only listens; reading here tells when it has gone.
		for (;;) {
			char scratch[64];
			ssize_t count = recv(fFD, scratch, sizeof(scratch), 0);
			if (count < 0 && errno == EINTR)
				continue;
			if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
				return kNothingYet;
			if (count <= 0)
				return kClosed;
			*problem = "a watching connection sent data";
			return kBroken;
		}
	}
	while (fFD >= 0 && fMessage == nullptr) {
		size_t have = fBuffer.size();
		size_t want = fFrameSize - have;
		fBuffer.resize(fFrameSize);
		ssize_t count = recv(fFD, fBuffer.data() + have, want, 0);
		if (count < 0) {
			int error = errno;
			fBuffer.resize(have);
			if (error == EINTR)
				continue;
			if (error == EAGAIN || error == EWOULDBLOCK)
				return kNothingYet;
			if (have == 0 && error == ECONNRESET)
				return kClosed;
			*problem = std::string("read failed: ") + ::strerror(error);
			return kBroken;
		}
		if (count == 0) {
			fBuffer.resize(have);
			if (have == 0)
				return kClosed;
			*problem = "the sender left in the middle of a frame ("
				+ std::to_string(have) + " of "
				+ (have < PortFrame::kHeaderSize
					? std::string("at least ") : std::string())
				+ std::to_string(fFrameSize) + " bytes)";
			return kBroken;
		}
		fLastActivity = now;
		have += (size_t)count;
		fBuffer.resize(have);
		if (have < fFrameSize)
			continue;

		if (fFrameSize == PortFrame::kHeaderSize) {
			uint32 length;
			if (PortFrame::DecodeHeader(fBuffer.data(), &length, problem)
					!= B_OK)
				return kBroken;
			fFrameSize = PortFrame::kHeaderSize + length;
			continue;
		}

		auto message = std::make_unique<BMessage>();
		status_t status = message->Unflatten(
			fBuffer.data() + PortFrame::kHeaderSize,
			fBuffer.size() - PortFrame::kHeaderSize);
		fBuffer.clear();
		if (fBuffer.capacity() > kKeptCapacity)
			fBuffer.shrink_to_fit();
		fFrameSize = PortFrame::kHeaderSize;
		if (status != B_OK) {
			*problem = "the frame does not hold a valid message";
			return kBroken;
		}
		fMessage = std::move(message);
		return kMessageReady;
	}
	return kNothingYet;
}


void
PortConnection::MessageDelivered()
{
	fMessage.reset();
}


status_t
PortConnection::Answer(uint8 status)
{
	if (fFD < 0)
		return B_BAD_PORT_ID;
	for (;;) {
		ssize_t count = send(fFD, &status, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
		if (count == 1)
			return B_OK;
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			return B_WOULD_BLOCK;
		return count < 0 ? B_FROM_POSIX_ERROR(errno) : B_IO_ERROR;
	}
}


void
PortConnection::StartWatching(const std::vector<uint32>& whats)
{
	fWatching = true;
	fWatchedCodes = whats;
}


bool
PortConnection::Watches(uint32 what) const
{
	if (!fWatching)
		return false;
	if (fWatchedCodes.empty())
		return true;
	for (uint32 code : fWatchedCodes) {
		if (code == what || code == B_OBSERVER_OBSERVE_ALL)
			return true;
	}
	return false;
}


bool
PortConnection::QueueOutput(const std::string& frame, size_t limit)
{
	if (OutputSize() + frame.size() > limit)
		return false;
	if (fOutputStart > 0 && fOutputStart >= fOutput.size() / 2) {
		fOutput.erase(0, fOutputStart);
		fOutputStart = 0;
	}
	fOutput.append(frame);
	return true;
}


status_t
PortConnection::Flush()
{
	while (fFD >= 0 && HasOutput()) {
		ssize_t count = send(fFD, fOutput.data() + fOutputStart,
			fOutput.size() - fOutputStart, MSG_NOSIGNAL | MSG_DONTWAIT);
		if (count > 0) {
			fOutputStart += (size_t)count;
			continue;
		}
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
			return B_OK;
		return count < 0 ? B_FROM_POSIX_ERROR(errno) : B_IO_ERROR;
	}
	if (!HasOutput()) {
		fOutput.clear();
		fOutputStart = 0;
		if (fOutput.capacity() > kKeptCapacity)
			fOutput.shrink_to_fit();
	}
	return fFD >= 0 ? B_OK : B_BAD_PORT_ID;
}


void
PortConnection::Close()
{
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
}

}	// namespace BPrivate
