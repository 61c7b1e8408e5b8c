#ifndef TEST_STDOUT_CAPTURE_H
#define TEST_STDOUT_CAPTURE_H

#include <string>

// Sends the process's standard output (file descriptor 1) to a file while
// the object lives, so that a test can read the diagnostic lines that the
// code under test prints from any thread.
class StdoutCapture {
public:
							StdoutCapture();
							~StdoutCapture();

							StdoutCapture(const StdoutCapture&) = delete;
			StdoutCapture&	operator=(const StdoutCapture&) = delete;

	// Everything printed since the capture began.
			std::string		Text() const;
	// Waits until the text holds the line; false on time-out.
			bool			WaitFor(const std::string& text,
								double seconds) const;
	// Writes what was captured to the real standard output: the test
	// framework's own failure messages are among it.
			void			Replay() { fReplay = true; }

private:
			std::string		fPath;
			int				fSaved = -1;
			bool			fReplay = false;
};

#endif
