#ifndef TEST_CHILD_PROCESS_H
#define TEST_CHILD_PROCESS_H

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// A program started for a test, with its standard output and error going to
// files that the test can read while it runs. The process is killed (SIGKILL)
// and reaped if it still runs when the object goes.
class ChildProcess {
public:
	struct Options {
		// Added to or replacing the test's own environment.
		std::map<std::string, std::string> environment;
		// Removed from the environment.
		std::vector<std::string> unset;
		std::string		workingDirectory;
		// Where output goes; empty: files below $TMPDIR.
		std::string		outputFile;
		std::string		errorFile;
	};

							ChildProcess(const std::vector<std::string>& argv,
								const Options& options);
							ChildProcess(const std::vector<std::string>& argv);
							~ChildProcess();

							ChildProcess(const ChildProcess&) = delete;
			ChildProcess&	operator=(const ChildProcess&) = delete;

			pid_t			Pid() const { return fPid; }
			bool			Running();
			// Waits up to the time-out; true with the exit status (or 128 +
			// signal) in *status once the process has ended.
			bool			Wait(double seconds, int* status);
			void			Signal(int signal);
			void			Kill();

			std::string		Output() const;
			std::string		Errors() const;
			const std::string& OutputFile() const { return fOutputFile; }

			// Waits until the standard output holds the text; false on
			// time-out or when the process ended without printing it.
			bool			WaitForOutput(const std::string& text,
								double seconds);

private:
			pid_t			fPid = -1;
			bool			fReaped = false;
			int				fStatus = 0;
			std::string		fOutputFile;
			std::string		fErrorFile;
			bool			fOwnFiles = false;
};

// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::string& path);

// Polls the condition every few milliseconds until it holds or the time-out
// passes.
template<typename Condition>
bool
wait_for(Condition condition, double seconds)
{
	extern void test_sleep_ms(int milliseconds);
	extern double test_now();
	double end = test_now() + seconds;
	while (!condition()) {
		if (test_now() > end)
			return condition();
		test_sleep_ms(5);
	}
	return true;
}

// Counts the occurrences of a text in another.
int count_of(const std::string& haystack, const std::string& needle);

#endif
