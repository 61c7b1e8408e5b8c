#include "StdoutCapture.h"

#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>


StdoutCapture::StdoutCapture()
{
	const char* base = getenv("TMPDIR");
	fPath = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-stdout-XXXXXX";
	int fd = mkstemp(fPath.data());
	if (fd < 0)
		throw std::runtime_error("mkstemp failed");
	fflush(stdout);
	fSaved = dup(STDOUT_FILENO);
	dup2(fd, STDOUT_FILENO);
	close(fd);
}


StdoutCapture::~StdoutCapture()
{
	fflush(stdout);
	dup2(fSaved, STDOUT_FILENO);
	close(fSaved);
	if (fReplay) {
		std::string text = read_file(fPath);
		printf("---- captured output ----\n%s---- end of captured output ----\n",
			text.c_str());
		fflush(stdout);
	}
	unlink(fPath.c_str());
}


std::string
StdoutCapture::Text() const
{
	fflush(stdout);
	return read_file(fPath);
}


bool
StdoutCapture::WaitFor(const std::string& text, double seconds) const
{
	return wait_for([&] { return Text().find(text) != std::string::npos; },
		seconds);
}
