#include "SignalWatcher.h"

#include <AppDefs.h>
#include <Message.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace BPrivate {

namespace {

const int kWatchedSignals[] = {SIGTERM, SIGINT};
const char kStopByte = 'S';

int sPipe[2] = {-1, -1};
struct sigaction sOldActions[2];

}	// namespace


SignalWatcher::SignalWatcher(const BMessenger& target)
	:
	fTarget(target)
{
	if (pipe2(sPipe, O_CLOEXEC) != 0) {
		sPipe[0] = sPipe[1] = -1;
		return;
	}

	struct sigaction action = {};
	action.sa_handler = _SignalHandler;
	sigemptyset(&action.sa_mask);
	action.sa_flags = SA_RESTART;
	for (int i = 0; i < 2; i++)
		sigaction(kWatchedSignals[i], &action, &sOldActions[i]);

	fThread = spawn_thread(_ThreadEntry, "signal watcher", B_NORMAL_PRIORITY,
		this);
	if (fThread >= 0)
		resume_thread(fThread);
}


SignalWatcher::~SignalWatcher()
{
	if (sPipe[1] < 0)
		return;
	for (int i = 0; i < 2; i++)
		sigaction(kWatchedSignals[i], &sOldActions[i], nullptr);
	if (fThread >= 0) {
		ssize_t written = write(sPipe[1], &kStopByte, 1);
		(void)written;
		wait_for_thread(fThread, nullptr);
	}
	close(sPipe[0]);
	close(sPipe[1]);
	sPipe[0] = sPipe[1] = -1;
}


void
SignalWatcher::_SignalHandler(int signal)
{
	int savedErrno = errno;
	char byte = (char)signal;
	ssize_t written = write(sPipe[1], &byte, 1);
	(void)written;
	errno = savedErrno;
}


status_t
SignalWatcher::_ThreadEntry(void* data)
{
	SignalWatcher* watcher = static_cast<SignalWatcher*>(data);
	char byte;
	for (;;) {
		ssize_t count = read(sPipe[0], &byte, 1);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0 || byte == kStopByte)
			return B_OK;
		watcher->fTarget.SendMessage(B_QUIT_REQUESTED);
	}
}

}	// namespace BPrivate
