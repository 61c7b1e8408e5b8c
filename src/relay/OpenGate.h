#ifndef OPEN_GATE_H
#define OPEN_GATE_H

#include <SupportDefs.h>

#include <string>

// Holds an open's request back until its entry in the record of open relays
// is on the disk, while wget starts up meanwhile: the board keeps a relay
// when the PC loses power, so the entry must be on the disk no later than
// the request reaches the board, and waiting for the disk before starting
// wget would add the disk's time to every open.
//
// wget opens the file it writes the board's answer to before it connects to
// the board. A FIFO put in that file's place stops it there, fully started,
// until the other end of the FIFO is opened; the FIFO then takes the answer,
// which is read and thrown away as a file's would be deleted. That order is
// wget's, not a promise: another wget (or a wrapper of it) may connect
// first, and the gate would hold nothing back. So it is tried once before
// the gate is used (WgetWaitsAtIt()).
class OpenGate {
public:
	// A gate for the output's answer file, in a directory of its own below
	// the answer directory (a close of the same relay, which needs no gate,
	// writes its answer beside it meanwhile).
							OpenGate(int32 output);
							~OpenGate();

							OpenGate(const OpenGate&) = delete;
			OpenGate&		operator=(const OpenGate&) = delete;

	// The answer directory to build the command with; empty when no gate
	// could be made (an open of the same output is held at it): the caller
	// then waits for the disk before it starts wget.
			const std::string& Directory() const { return fDirectory; }

	// Lets wget go on. The descriptor of the FIFO's reading end, which must
	// be drained until wget ends; -1 when it cannot be opened.
			int				Open();

	// Whether wget was seen waiting at its answer file without having
	// reached the board. The first call starts the try, on a thread of its
	// own, against a listener of this program's own on 127.0.0.1; until it
	// has shown that the gate holds (and for good where it does not, or
	// cannot be told, with one line) the answer is no, and an open waits
	// for the disk before its wget starts.
	static	bool			WgetWaitsAtIt();

private:
	static	status_t		_TryThread(void* data);
	static	bool			_Try(std::string* why);

			std::string		fDirectory;
			std::string		fFifo;
			int				fFD = -1;
};

#endif
