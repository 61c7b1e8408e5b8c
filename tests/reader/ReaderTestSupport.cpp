#include "ReaderTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

double test_now();


KeyScript::KeyScript(int64_t startUs)
	:
	fNowUs(startUs)
{
}


void
KeyScript::_Add(int type, int code, int value)
{
	struct input_event event = {};
	event.input_event_sec = (decltype(event.input_event_sec))(fNowUs / 1000000);
	event.input_event_usec
		= (decltype(event.input_event_usec))(fNowUs % 1000000);
	event.type = (uint16_t)type;
	event.code = (uint16_t)code;
	event.value = value;
	fEvents.push_back(event);
}


KeyScript&
KeyScript::Key(int code, int afterMs)
{
	fNowUs += (int64_t)afterMs * 1000;
	_Add(EV_KEY, code, 1);
	_Add(EV_SYN, SYN_REPORT, 0);
	fNowUs += 2000;
	_Add(EV_KEY, code, 0);
	_Add(EV_SYN, SYN_REPORT, 0);
	return *this;
}


KeyScript&
KeyScript::Type(const std::string& text, int gapMs, bool shifted)
{
	static const int kDigits[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5,
		KEY_6, KEY_7, KEY_8, KEY_9};
	static const int kLetters[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F};
	for (char c : text) {
		if (c >= '0' && c <= '9')
			Key(kDigits[c - '0'], gapMs);
		else if (c >= 'A' && c <= 'F') {
			if (shifted) {
				fNowUs += (int64_t)gapMs * 1000;
				_Add(EV_KEY, KEY_LEFTSHIFT, 1);
				_Add(EV_SYN, SYN_REPORT, 0);
				Key(kLetters[c - 'A'], 1);
				_Add(EV_KEY, KEY_LEFTSHIFT, 0);
				_Add(EV_SYN, SYN_REPORT, 0);
			} else
				Key(kLetters[c - 'A'], gapMs);
		} else if (c == '\n')
			Key(KEY_ENTER, gapMs);
		else
			ADD_FAILURE() << "KeyScript cannot type '" << c << "'";
	}
	return *this;
}


KeyScript&
KeyScript::Hold(int code, int repeats)
{
	fNowUs += 10000;
	_Add(EV_KEY, code, 1);
	_Add(EV_SYN, SYN_REPORT, 0);
	for (int i = 0; i < repeats; i++) {
		fNowUs += 30000;
		_Add(EV_KEY, code, 2);
		_Add(EV_SYN, SYN_REPORT, 0);
	}
	fNowUs += 2000;
	_Add(EV_KEY, code, 0);
	_Add(EV_SYN, SYN_REPORT, 0);
	return *this;
}


KeyScript&
KeyScript::Wait(int ms)
{
	fNowUs += (int64_t)ms * 1000;
	return *this;
}


std::string
KeyScript::Bytes() const
{
	return std::string((const char*)fEvents.data(),
		fEvents.size() * sizeof(struct input_event));
}


EventFifo::EventFifo()
	:
	fDirectory("rdx-reader-fifo"),
	fPath(fDirectory.Sub("keyboard"))
{
	if (mkfifo(fPath.c_str(), 0600) != 0)
		ADD_FAILURE() << "mkfifo: " << strerror(errno);
}


EventFifo::~EventFifo()
{
	CloseWriter();
}


// Writes all of the bytes, blocking as the descriptor does.
static bool
write_all(int fd, const std::string& bytes)
{
	size_t done = 0;
	while (done < bytes.size()) {
		ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return false;
		done += (size_t)count;
	}
	return true;
}


bool
EventFifo::Write(const std::string& bytes)
{
	if (fWriter < 0) {
		// Without a reader this fails at once instead of blocking.
		fWriter = open(fPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
		if (fWriter < 0)
			return false;
		fcntl(fWriter, F_SETFL, 0);
	}
	return write_all(fWriter, bytes);
}


void
EventFifo::CloseWriter()
{
	if (fWriter >= 0)
		close(fWriter);
	fWriter = -1;
}


Pty::Pty()
{
	int slave = -1;
	char name[256];
	if (openpty(&fMaster, &slave, name, nullptr, nullptr) != 0) {
		ADD_FAILURE() << "openpty: " << strerror(errno);
		return;
	}
	fcntl(fMaster, F_SETFD, FD_CLOEXEC);
	fSlavePath = name;
	// The source under test opens the slave by its path, as a device.
	close(slave);
}


Pty::~Pty()
{
	CloseMaster();
}


bool
Pty::Write(const std::string& bytes)
{
	return write_all(fMaster, bytes);
}


void
Pty::CloseMaster()
{
	if (fMaster >= 0)
		close(fMaster);
	fMaster = -1;
}


std::vector<SourceEvent>
read_until_tag(TagSource& source, const std::string& sentinel, double seconds)
{
	std::vector<SourceEvent> events;
	double end = test_now() + seconds;
	while (test_now() < end) {
		for (size_t i = 0; i < events.size(); i++) {
			if (events[i].kind == SourceEvent::kTag
				&& events[i].text == sentinel) {
				events.resize(i);
				return events;
			}
		}
		if (!source.IsOpen()) {
			ADD_FAILURE() << source.Path() << " closed before the sentinel";
			return events;
		}
		// A source stops after each tag; what it holds after it is read
		// at once, as the reader's loop does.
		struct pollfd entry = {source.FD(), POLLIN, 0};
		if (source.HasPending() || poll(&entry, 1, 200) > 0)
			source.Read(&events);
	}
	ADD_FAILURE() << "the sentinel tag " << sentinel << " did not arrive";
	return events;
}


std::vector<std::string>
describe(const std::vector<SourceEvent>& events)
{
	std::vector<std::string> lines;
	for (const SourceEvent& event : events)
		lines.push_back((event.kind == SourceEvent::kTag ? "T:" : "P:")
			+ event.text);
	return lines;
}


std::string
rdm6300_frame(const std::string& data)
{
	int sum = 0;
	for (size_t i = 0; i + 1 < data.size(); i += 2)
		sum ^= (int)strtol(data.substr(i, 2).c_str(), nullptr, 16);
	char checksum[3];
	snprintf(checksum, sizeof(checksum), "%02X", sum);
	return "\x02" + data + checksum + "\x03";
}


std::string
ReaderProcess::Program()
{
	return std::string(RDX_BINARY_DIR) + "/tools/rdx-reader/rdx-reader";
}


ReaderProcess::ReaderProcess(const std::vector<std::string>& arguments,
	const std::map<std::string, std::string>& environment)
{
	ChildProcess::Options options;
	options.environment = environment;
	// Its lines in English, whatever the desktop's language, unless the
	// test names one.
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
	if (environment.count("XDG_CONFIG_HOME") == 0)
		options.unset.push_back("XDG_CONFIG_HOME");
	std::vector<std::string> argv = {Program()};
	argv.insert(argv.end(), arguments.begin(), arguments.end());
	fProcess = std::make_unique<ChildProcess>(argv, options);
}


bool
ReaderProcess::WaitFor(const std::string& text, double seconds)
{
	return fProcess->WaitForOutput(text, seconds);
}


bool
ReaderProcess::WaitForCount(const std::string& text, int count,
	double seconds)
{
	return wait_for([&] { return count_of(Output(), text) >= count; },
		seconds);
}


int
ReaderProcess::Terminate()
{
	int status = -1;
	if (fProcess->Running())
		fProcess->Signal(SIGTERM);
	if (!fProcess->Wait(20, &status))
		return -1;
	return status;
}
