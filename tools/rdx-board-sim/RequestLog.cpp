#include "RequestLog.h"

#include <ctime>


RequestLog::~RequestLog()
{
	if (fFile != nullptr)
		fclose(fFile);
}


bool
RequestLog::Open(const std::string& path)
{
	fFile = fopen(path.c_str(), "ae");
	return fFile != nullptr;
}


void
RequestLog::Write(const std::string& method, const std::string& target)
{
	struct timespec now;
	clock_gettime(CLOCK_REALTIME, &now);

	// A request line could carry anything; a line end in it would make two
	// log lines of one request.
	std::string safeTarget = target;
	for (char& c : safeTarget) {
		if ((unsigned char)c < 0x20 || c == 0x7f)
			c = '?';
	}

	std::lock_guard<std::mutex> guard(fLock);
	if (fFile == nullptr)
		return;
	fprintf(fFile, "%lld.%06ld %s %s\n", (long long)now.tv_sec,
		now.tv_nsec / 1000, method.c_str(), safeTarget.c_str());
	fflush(fFile);
}
