// Feeds an arbitrary byte stream to the message port's reading end, the way a
// peer could send it: through a real socket, cut into pieces at points the
// input chooses. The first input byte seeds the cuts, the rest is the stream.
//
// Whatever the cuts, the connection must hand on exactly the messages that a
// plain reading of the whole stream finds, in order, and end the same way
// (a clean close between frames, or a broken frame).

#include "FuzzCheck.h"

#include "PortConnection.h"
#include "PortFrame.h"

#include <Message.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using BPrivate::PortConnection;
using BPrivate::PortFrame;

namespace {

struct Outcome {
	std::vector<std::string> messages;
	bool broken = false;
};


// The stream read in one piece, with nothing but the frame header's decoder
// and BMessage::Unflatten().
Outcome
read_whole(const char* data, size_t size)
{
	Outcome outcome;
	size_t position = 0;
	while (position < size) {
		if (size - position < PortFrame::kHeaderSize) {
			outcome.broken = true;
			return outcome;
		}
		uint32 length;
		std::string problem;
		if (PortFrame::DecodeHeader(data + position, &length, &problem)
				!= B_OK) {
			FUZZ_CHECK(!problem.empty());
			outcome.broken = true;
			return outcome;
		}
		FUZZ_CHECK(length > 0 && length <= PortFrame::kMaxMessageSize);
		position += PortFrame::kHeaderSize;
		if (size - position < length) {
			outcome.broken = true;
			return outcome;
		}
		BMessage message;
		if (message.Unflatten(data + position, length) != B_OK) {
			outcome.broken = true;
			return outcome;
		}
		outcome.messages.push_back(message.Flatten());
		position += length;
	}
	return outcome;
}


// A small generator for the cut points, so that one input always cuts the
// same way.
class Cuts {
public:
	Cuts(uint8 seed) : fState(seed * 2654435761u + 1), fLargest(1)
	{
		// Mostly small pieces, sometimes whole frames at once.
		static const size_t kLargest[] = {1, 3, 8, 17, 64, 512, 4096, 70000};
		fLargest = kLargest[seed & 7];
	}

	size_t Next()
	{
		fState = fState * 1103515245u + 12345u;
		return 1 + (fState >> 8) % fLargest;
	}

private:
	uint32	fState;
	size_t	fLargest;
};


// Reads what the connection has; true once it has reached an end.
bool
drain(PortConnection& connection, Outcome& outcome, bigtime_t& now,
	bool& ended)
{
	for (;;) {
		std::string problem;
		switch (connection.Read(++now, &problem)) {
			case PortConnection::kNothingYet:
				FUZZ_CHECK(!connection.HasMessage());
				return false;
			case PortConnection::kMessageReady:
				FUZZ_CHECK(connection.HasMessage());
				outcome.messages.push_back(connection.Message()->Flatten());
				connection.MessageDelivered();
				FUZZ_CHECK(!connection.HasMessage());
				connection.Answer(PortFrame::kAccepted);
				break;
			case PortConnection::kClosed:
				FUZZ_CHECK(!connection.InFrame());
				ended = true;
				return true;
			case PortConnection::kBroken:
				FUZZ_CHECK(!problem.empty());
				outcome.broken = true;
				ended = true;
				return true;
		}
	}
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	Cuts cuts(data[0]);
	const char* stream = reinterpret_cast<const char*>(data + 1);
	size_t streamSize = size - 1;

	int sockets[2];
	if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0,
			sockets) != 0)
		abort();
	int sender = sockets[0];

	Outcome outcome;
	bool ended = false;
	bigtime_t now = 0;
	{
		PortConnection connection(sockets[1], now);
		size_t sent = 0;
		while (!ended && sent < streamSize) {
			size_t piece = std::min(cuts.Next(), streamSize - sent);
			ssize_t count = send(sender, stream + sent, piece, MSG_NOSIGNAL);
			if (count < 0 && errno != EAGAIN && errno != EINTR)
				abort();
			if (count > 0)
				sent += (size_t)count;
			drain(connection, outcome, now, ended);
			// Takes the answers away so that they never hold the reader up.
			char answers[256];
			while (recv(sender, answers, sizeof(answers), 0) > 0) {
			}
		}
		if (!ended) {
			shutdown(sender, SHUT_WR);
			drain(connection, outcome, now, ended);
			FUZZ_CHECK(ended);
		}
	}
	close(sender);

	Outcome expected = read_whole(stream, streamSize);
	FUZZ_CHECK(outcome.messages == expected.messages);
	FUZZ_CHECK(outcome.broken == expected.broken);
	return 0;
}
