#include "PcscHarness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

std::string gPcscUnavailable = "the PC/SC namespaces were not set up";

namespace {

const char* kSocket = "/run/pcscd/pcscd.comm";
const int kFirstPort = 0x8C7B;


std::vector<uint8_t>
from_hex(const std::string& hex)
{
	std::vector<uint8_t> bytes;
	for (size_t i = 0; i + 1 < hex.size(); i += 2)
		bytes.push_back((uint8_t)strtol(hex.substr(i, 2).c_str(), nullptr, 16));
	return bytes;
}


bool
read_exactly(int fd, uint8_t* buffer, size_t size)
{
	size_t done = 0;
	while (done < size) {
		// vpcd writes a frame's length and its bytes apart: with delayed
		// acknowledgements its second write would wait 40 ms for ours
		// (Nagle). A real reader has no TCP in between.
		int one = 1;
		setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
		ssize_t count = recv(fd, buffer + done, size - done, 0);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return false;
		done += (size_t)count;
	}
	return true;
}


bool
send_frame(int fd, const std::vector<uint8_t>& data)
{
	std::vector<uint8_t> frame = {(uint8_t)(data.size() >> 8),
		(uint8_t)data.size()};
	frame.insert(frame.end(), data.begin(), data.end());
	return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL)
		== (ssize_t)frame.size();
}

}	// namespace


PcscDaemon::PcscDaemon()
{
}


PcscDaemon::~PcscDaemon()
{
	Stop();
}


bool
PcscDaemon::Start()
{
	ChildProcess::Options options;
	fProcess = std::make_unique<ChildProcess>(std::vector<std::string>{
		"/usr/sbin/pcscd", "--foreground", "--error"}, options);
	struct stat status;
	return wait_for([&] {
		return stat(kSocket, &status) == 0 || !fProcess->Running();
	}, 20) && fProcess->Running();
}


bool
PcscDaemon::Stop()
{
	if (fProcess == nullptr)
		return false;
	fLog += fProcess->Output() + fProcess->Errors();
	int status = -1;
	if (fProcess->Running())
		fProcess->Signal(SIGTERM);
	bool ended = fProcess->Wait(20, &status);
	fProcess.reset();
	// pcscd removes its socket on a clean end; a new one must not find
	// an old one.
	unlink(kSocket);
	return ended;
}


std::string
PcscDaemon::Log() const
{
	return fLog + (fProcess != nullptr
		? fProcess->Output() + fProcess->Errors() : "");
}


VirtualCard::VirtualCard(int slot)
	:
	fPort(kFirstPort + slot)
{
}


VirtualCard::~VirtualCard()
{
	Remove();
}


bool
VirtualCard::Insert(const std::string& hex)
{
	Remove();
	fAnswer = from_hex(hex);
	// vpcd listens once pcscd has loaded it.
	bool connected = wait_for([&] {
		int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		sockaddr_in address = {};
		address.sin_family = AF_INET;
		address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		address.sin_port = htons((uint16_t)fPort);
		if (connect(fd, (sockaddr*)&address, sizeof(address)) == 0) {
			fFD = fd;
			return true;
		}
		close(fd);
		return false;
	}, 20);
	if (!connected)
		return false;
	fStop = false;
	fThread = std::thread([this] { _Serve(); });
	return true;
}


void
VirtualCard::Remove()
{
	if (fFD < 0)
		return;
	fStop = true;
	// Ends the card's side; vpcd takes the card as removed.
	shutdown(fFD, SHUT_RDWR);
	if (fThread.joinable())
		fThread.join();
	close(fFD);
	fFD = -1;
}


void
VirtualCard::_Serve()
{
	// vpcd's frames: a 2-byte big-endian length, then either one control
	// byte (0 power off, 1 power on, 2 reset, 4 the ATR wanted) or an APDU.
	static const std::vector<uint8_t> kAtr = {0x3B, 0x80, 0x80, 0x01, 0x01};
	while (!fStop) {
		struct pollfd entry = {fFD, POLLIN, 0};
		if (poll(&entry, 1, 200) <= 0)
			continue;
		uint8_t header[2];
		if (!read_exactly(fFD, header, 2))
			return;
		size_t length = ((size_t)header[0] << 8) | header[1];
		std::vector<uint8_t> data(length);
		if (length > 0 && !read_exactly(fFD, data.data(), length))
			return;
		if (length == 1) {
			if (data[0] == 1)
				fPowerOns++;
			if (data[0] == 4 && !send_frame(fFD, kAtr))
				return;
			continue;
		}
		fCommands++;
		static const std::vector<uint8_t> kGetData = {0xFF, 0xCA, 0x00, 0x00,
			0x00};
		if (!send_frame(fFD, data == kGetData ? fAnswer
				: std::vector<uint8_t>{0x6D, 0x00}))
			return;
	}
}
