#ifndef TEST_XVFB_H
#define TEST_XVFB_H

#include <string>
#include <sys/types.h>

// An X server of the test's own: Xvfb on a free display number (the server
// picks it and reports it through -displayfd), not listening on TCP, with no
// window manager, so that windows sit exactly where they ask to. Stopped and
// reaped when the object goes.
class Xvfb {
public:
							Xvfb(int width = 1024, int height = 768);
							~Xvfb();

							Xvfb(const Xvfb&) = delete;
			Xvfb&			operator=(const Xvfb&) = delete;

			bool			Running() const { return fPid > 0; }
			// ":N"; empty when the server did not start.
			const std::string& Display() const { return fDisplay; }
			// Why the server did not start.
			const std::string& Error() const { return fError; }

private:
			pid_t			fPid = -1;
			std::string		fDisplay;
			std::string		fError;
};

#endif
