#ifndef TEST_READER_TEST_SUPPORT_H
#define TEST_READER_TEST_SUPPORT_H

// Real ends for the reader's sources: a FIFO that carries struct
// input_event records as a keyboard-type reader's device would, a
// pseudo-terminal whose slave the serial source sets up with termios, and
// rdx-reader itself as a child process.

#include "ChildProcess.h"
#include "TempDir.h"
#include "TagSource.h"

#include <linux/input.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// Key events with time stamps of the script's own, so that pauses between
// keys are exact without the test waiting for them.
class KeyScript {
public:
							KeyScript(int64_t startUs = 1000000000LL * 1000);

	// Press and release of one key, the given milliseconds after the last.
			KeyScript&		Key(int code, int afterMs = 10);
	// Digits, A-F (with Shift around them when shifted) and '\n' for Enter.
			KeyScript&		Type(const std::string& text, int gapMs = 10,
								bool shifted = true);
	// A press followed by auto-repeat events of the same key.
			KeyScript&		Hold(int code, int repeats);
			KeyScript&		Wait(int ms);

			const std::vector<struct input_event>& Events() const
								{ return fEvents; }
			std::string		Bytes() const;

private:
			void			_Add(int type, int code, int value);

			std::vector<struct input_event> fEvents;
			int64_t			fNowUs;
};


// A FIFO in a directory of its own, written like an input device.
class EventFifo {
public:
							EventFifo();
							~EventFifo();

			const std::string& Path() const { return fPath; }
	// Opens the writing end on first use (a reader must have it open).
			bool			Write(const std::string& bytes);
			bool			Write(const KeyScript& script)
								{ return Write(script.Bytes()); }
			void			CloseWriter();

private:
			TempDir			fDirectory;
			std::string		fPath;
			int				fWriter = -1;
};


// A pseudo-terminal: the test writes at the master as a reader's UART
// would, the serial source opens the slave by its path.
class Pty {
public:
							Pty();
							~Pty();

			bool			IsValid() const { return fMaster >= 0; }
			const std::string& SlavePath() const { return fSlavePath; }
			bool			Write(const std::string& bytes);
			void			CloseMaster();

private:
			int				fMaster = -1;
			std::string		fSlavePath;
};


// Reads the source until a tag equal to the sentinel arrives; everything
// before it, in order. Fails the test after the time-out.
std::vector<SourceEvent> read_until_tag(TagSource& source,
	const std::string& sentinel, double seconds = 20);

// "T:tag" or "P:problem" per event, for readable comparisons.
std::vector<std::string> describe(const std::vector<SourceEvent>& events);

// An RDM6300 frame with the correct checksum for ten hex characters.
std::string rdm6300_frame(const std::string& data);


// rdx-reader started with the arguments, its runtime directory (where it
// finds rdx's port) and home given.
class ReaderProcess {
public:
	static std::string Program();

							ReaderProcess(const std::vector<std::string>& arguments,
								const std::map<std::string, std::string>&
									environment);

			ChildProcess&	Process() { return *fProcess; }
			std::string		Output() const { return fProcess->Output(); }
			bool			WaitFor(const std::string& text,
								double seconds = 20);
	// Waits until the output holds the text count times.
			bool			WaitForCount(const std::string& text, int count,
								double seconds = 20);
	// SIGTERM, then the exit status; -1 when it did not end.
			int				Terminate();

private:
			std::unique_ptr<ChildProcess> fProcess;
};

#endif
