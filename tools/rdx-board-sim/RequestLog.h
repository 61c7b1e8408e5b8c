#ifndef REQUEST_LOG_H
#define REQUEST_LOG_H

#include <cstdio>
#include <mutex>
#include <string>

// One line per request, "SECONDS.MICROSECONDS METHOD TARGET", written and
// flushed at once so that a reader sees each request as it arrives.
class RequestLog {
public:
							RequestLog() = default;
							~RequestLog();

							RequestLog(const RequestLog&) = delete;
			RequestLog&		operator=(const RequestLog&) = delete;

	// Appends to the file; false when it cannot be opened. Without a file
	// nothing is written.
			bool			Open(const std::string& path);
			void			Write(const std::string& method,
								const std::string& target);

private:
			std::mutex		fLock;
			FILE*			fFile = nullptr;
};

#endif
