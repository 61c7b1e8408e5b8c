#include "PortTestSupport.h"

#include "PortFrame.h"

#include <ChildProcess.h>
#include <Messenger.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


StderrCapture::StderrCapture()
{
	const char* base = getenv("TMPDIR");
	fPath = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-port-stderr-XXXXXX";
	int fd = mkstemp(fPath.data());
	if (fd < 0)
		throw std::runtime_error("mkstemp failed");
	fflush(stderr);
	fSaved = dup(STDERR_FILENO);
	dup2(fd, STDERR_FILENO);
	close(fd);
}


StderrCapture::~StderrCapture()
{
	fflush(stderr);
	dup2(fSaved, STDERR_FILENO);
	close(fSaved);
	// What was captured is shown, so that a failing test still tells.
	std::string text = Text();
	if (!text.empty())
		fprintf(stderr, "[captured stderr]\n%s", text.c_str());
	unlink(fPath.c_str());
}


std::string
StderrCapture::Text() const
{
	return read_file(fPath);
}


bool
StderrCapture::WaitFor(const std::string& needle, double seconds) const
{
	return wait_for([&] { return Text().find(needle) != std::string::npos; },
		seconds);
}


size_t
Received::Count()
{
	std::lock_guard<std::mutex> guard(lock);
	return messages.size();
}


bool
Received::WaitForCount(size_t count, double seconds)
{
	std::unique_lock<std::mutex> guard(lock);
	return changed.wait_for(guard,
		std::chrono::milliseconds((long)(seconds * 1000)),
		[&] { return messages.size() >= count; });
}


bool
Received::WaitForEntered(size_t count, double seconds)
{
	std::unique_lock<std::mutex> guard(lock);
	return changed.wait_for(guard,
		std::chrono::milliseconds((long)(seconds * 1000)),
		[&] { return entered >= count; });
}


void
Received::SetGate(bool open)
{
	{
		std::lock_guard<std::mutex> guard(lock);
		gateOpen = open;
	}
	changed.notify_all();
}


BMessage
Received::At(size_t index)
{
	std::lock_guard<std::mutex> guard(lock);
	return index < messages.size() ? messages[index] : BMessage();
}


Collector::Collector(std::shared_ptr<Received> received, int32 capacity)
	:
	BLooper("collector", B_NORMAL_PRIORITY, capacity),
	fReceived(received)
{
}


void
Collector::MessageReceived(BMessage* message)
{
	std::unique_lock<std::mutex> guard(fReceived->lock);
	fReceived->entered++;
	fReceived->changed.notify_all();
	fReceived->changed.wait(guard, [&] { return fReceived->gateOpen; });
	fReceived->messages.push_back(*message);
	guard.unlock();
	fReceived->changed.notify_all();
}


Collector*
Collector::Start(std::shared_ptr<Received> received, int32 capacity)
{
	Collector* collector = new Collector(received, capacity);
	collector->Run();
	return collector;
}


void
Collector::Stop(Collector* collector, std::shared_ptr<Received> received)
{
	received->SetGate(true);
	thread_id thread = collector->Thread();
	// Through a messenger, which keeps the queue alive while it posts: the
	// looper deletes itself, queue and all, as soon as it has the message.
	BMessenger(collector).SendMessage(B_QUIT_REQUESTED);
	wait_for_thread(thread, nullptr);
}


RawConnection::RawConnection(const std::string& path)
{
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
	if (connect(fd, (sockaddr*)&address, sizeof(address)) != 0) {
		close(fd);
		return;
	}
	fFD = fd;
}


RawConnection::~RawConnection()
{
	if (fFD >= 0)
		close(fFD);
}


void
RawConnection::Write(const std::string& bytes)
{
	size_t sent = 0;
	while (fFD >= 0 && sent < bytes.size()) {
		ssize_t count = send(fFD, bytes.data() + sent, bytes.size() - sent,
			MSG_NOSIGNAL);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return;
		sent += (size_t)count;
	}
}


int
RawConnection::ReadStatus(double seconds)
{
	pollfd entry = {fFD, POLLIN, 0};
	if (poll(&entry, 1, (int)(seconds * 1000)) <= 0)
		return -2;
	uint8 status;
	ssize_t count = recv(fFD, &status, 1, 0);
	return count == 1 ? status : -1;
}


bool
RawConnection::WaitClosed(double seconds)
{
	return wait_for([&] {
		pollfd entry = {fFD, POLLIN, 0};
		if (poll(&entry, 1, 0) <= 0)
			return false;
		char byte;
		ssize_t count = recv(fFD, &byte, 1, MSG_DONTWAIT);
		return count == 0 || (count < 0 && errno != EAGAIN);
	}, seconds);
}


Watchdog::Watchdog(double seconds, const char* what)
{
	std::string name = what;
	fThread = std::thread([this, seconds, name] {
		std::unique_lock<std::mutex> guard(fLock);
		if (!fDone.wait_for(guard,
				std::chrono::milliseconds((long)(seconds * 1000)),
				[this] { return fFinished; })) {
			// Standard error may be captured by the test; stdout is not.
			printf("watchdog: %s did not finish within %.0f s\n",
				name.c_str(), seconds);
			fflush(stdout);
			abort();
		}
	});
}


Watchdog::~Watchdog()
{
	{
		std::lock_guard<std::mutex> guard(fLock);
		fFinished = true;
	}
	fDone.notify_all();
	fThread.join();
}


std::string
frame_for(const BMessage& message)
{
	std::string frame;
	if (BPrivate::PortFrame::Encode(message, &frame) != B_OK)
		throw std::runtime_error("message too large for a frame");
	return frame;
}


std::string
frame_header(uint32 length, uint8 version)
{
	std::string header = {'R', 'D', 'P', (char)version};
	for (int i = 0; i < 4; i++)
		header.push_back((char)((length >> (8 * i)) & 0xff));
	return header;
}


BMessage
message_of_flat_size(size_t size)
{
	BMessage message('BIG ');
	message.AddString("fill", "");
	size_t base = message.Flatten().size();
	message.MakeEmpty();
	message.AddString("fill", std::string(size - base, 'x').c_str());
	return message;
}


int
lines_with(const std::string& text, const std::string& needle)
{
	int count = 0;
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		if (line.find(needle) != std::string::npos)
			count++;
	}
	return count;
}
