#ifndef BENCH_HTTP_LISTENER_H
#define BENCH_HTTP_LISTENER_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The board's side of the benchmark: an HTTP listener on 127.0.0.1 that
// takes the time of every request the moment its first bytes arrive, on the
// benchmark's clock, and answers 200 so that wget ends with status 0.
// Connections are served one after the other, as a board does.
class HttpListener {
public:
	struct Request {
		int64_t			arrivalNs = 0;
		// The request target, e.g. "/?3=0".
		std::string		target;
	};

							HttpListener();
							~HttpListener();

							HttpListener(const HttpListener&) = delete;
			HttpListener&	operator=(const HttpListener&) = delete;

			bool			IsValid() const { return fPort > 0; }
			int				Port() const { return fPort; }

			size_t			Count();
			// Waits until request number index (from 0) has arrived; false
			// after the time-out.
			bool			WaitFor(size_t index, double seconds,
								Request* request);

private:
			void			_Serve();
			void			_Answer(int fd);

			int				fListenFD = -1;
			int				fStopFD = -1;
			int				fPort = 0;
			std::thread		fThread;

			std::mutex		fLock;
			std::condition_variable fArrived;
			std::vector<Request> fRequests;
};

#endif
