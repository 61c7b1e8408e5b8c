#include "OpenGate.h"

#include "AnswerDirectory.h"
#include "BoardCommand.h"
#include "BoundedCommand.h"

#include <OS.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum { kNotTried, kTrying, kHolds, kDoesNotHold };
std::atomic<int> sWgetWaits{kNotTried};

// How long the try waits for wget to reach its answer file.
const bigtime_t kTryLimit = 3 * 1000000LL;


std::string
read_text(const std::string& path)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return "";
	char buffer[512];
	ssize_t count = read(fd, buffer, sizeof(buffer) - 1);
	close(fd);
	std::string text(buffer, count > 0 ? (size_t)count : 0);
	while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
		text.pop_back();
	return text;
}


// The shell and what it started, and what those started.
void
collect_family(pid_t pid, std::vector<pid_t>* family, int depth)
{
	family->push_back(pid);
	if (depth >= 4)
		return;
	std::string process = std::to_string(pid);
	std::istringstream children(read_text("/proc/" + process + "/task/"
		+ process + "/children"));
	for (pid_t child; children >> child;)
		collect_family(child, family, depth + 1);
}


// The process sleeps where the writer of a FIFO waits for its reader.
bool
waits_at_fifo(pid_t pid)
{
	std::string where = read_text("/proc/" + std::to_string(pid) + "/wchan");
	return where == "wait_for_partner" || where == "fifo_open";
}


bool
has_ended(pid_t pid)
{
	std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
	size_t close = stat.rfind(')');
	return close == std::string::npos || close + 2 >= stat.size()
		|| stat[close + 2] == 'Z';
}

}	// namespace


// Made in the process's own directory, mode 0700: nobody else can have
// put anything there.
OpenGate::OpenGate(int32 output)
{
	std::string answers = AnswerDirectory::Path();
	if (answers.empty())
		return;
	std::string directory = answers + "/" + AnswerDirectory::kGateName;
	if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
		return;
	char name[32];
	snprintf(name, sizeof(name), "/rdx%d.tmp", (int)output);
	std::string fifo = directory + name;
	if (mkfifo(fifo.c_str(), 0600) != 0)
		return;
	fDirectory = directory;
	fFifo = fifo;
}


OpenGate::~OpenGate()
{
	if (fFD >= 0)
		close(fFD);
	if (!fFifo.empty())
		unlink(fFifo.c_str());
}


int
OpenGate::Open()
{
	if (fFD < 0 && !fFifo.empty()) {
		// Without waiting for wget: it may not have reached the FIFO yet,
		// or have ended before it did.
		fFD = open(fFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	}
	return fFD;
}


bool
OpenGate::WgetWaitsAtIt()
{
	int state = kNotTried;
	if (sWgetWaits.compare_exchange_strong(state, kTrying)) {
		thread_id thread = spawn_thread(_TryThread, "rdx gate check",
			B_NORMAL_PRIORITY, nullptr);
		if (thread < 0) {
			sWgetWaits.store(kDoesNotHold);
			printf("wget could not be tried at its answer file (no thread): "
				"each open waits for the disk before its wget starts\n");
		} else
			resume_thread(thread);
	}
	return sWgetWaits.load() == kHolds;
}


status_t
OpenGate::_TryThread(void* data)
{
	std::string why;
	bool holds = _Try(&why);
	sWgetWaits.store(holds ? kHolds : kDoesNotHold);
	if (!holds) {
		printf("%s: each open waits for the disk before its wget starts\n",
			why.c_str());
	}
	return B_OK;
}


bool
OpenGate::_Try(std::string* why)
{
	// A board of our own that never answers: whatever reaches it shows
	// only as a connection waiting to be taken.
	int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
		0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t size = sizeof(address);
	if (listener < 0 || bind(listener, (sockaddr*)&address, size) != 0
		|| listen(listener, 4) != 0
		|| getsockname(listener, (sockaddr*)&address, &size) != 0) {
		*why = std::string("wget could not be tried at its answer file (no "
			"listener on 127.0.0.1: ") + strerror(errno) + ")";
		if (listener >= 0)
			close(listener);
		return false;
	}
	std::string board = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
	OpenGate gate(0);
	char command[RDX_COMMAND_BUFFER];
	if (gate.Directory().empty() || MakeBoardCommand(command, gate.Directory(),
			board.c_str(), 0, 1) != B_OK) {
		*why = "wget could not be tried at its answer file (no gate)";
		close(listener);
		return false;
	}

	bool holds = false;
	*why = "wget was not seen waiting at its answer file";
	CommandHold hold;
	hold.release = [&](int*) {
		auto reached = [&] {
			pollfd entry = {listener, POLLIN, 0};
			return poll(&entry, 1, 0) > 0;
		};
		bigtime_t deadline = system_time() + kTryLimit;
		while (system_time() < deadline && !has_ended(hold.child)) {
			if (reached())
				break;
			std::vector<pid_t> family;
			collect_family(hold.child, &family, 0);
			bool waiting = false;
			for (pid_t pid : family)
				waiting = waiting || waits_at_fifo(pid);
			// Had it connected before it got there, its connection would
			// wait at the listener by now.
			if (waiting) {
				holds = !reached();
				break;
			}
			snooze(1000);
		}
		if (!holds && reached())
			*why = "wget reaches the board before it opens its answer file";
		// It is stopped here, before it could go on.
		return false;
	};
	bool timedOut = false;
	RunBoundedCommand(command, kTryLimit + 1000000, &timedOut, &hold);
	close(listener);
	return holds;
}
