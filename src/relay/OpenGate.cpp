#include "OpenGate.h"

#include "AnswerDirectory.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
