#ifndef TEST_PCSC_HARNESS_H
#define TEST_PCSC_HARNESS_H

// A real PC/SC stack for the tests: Debian's pcscd with the vsmartcard
// vpcd driver, whose two virtual readers ("Virtual PCD 00 00" and "... 01")
// wait for a card on 127.0.0.1 ports 35963 and 35964, and a virtual card of
// the tests' own that connects there. pcscd wants /run/pcscd and those
// ports: the test program runs in mount and network namespaces of its own
// (see PcscTestMain.cpp), so both are the test's alone.

#include "ChildProcess.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Empty when the namespaces are set up; otherwise why the PC/SC tests are
// skipped.
extern std::string gPcscUnavailable;

class PcscDaemon {
public:
							PcscDaemon();
							~PcscDaemon();

	// Starts it and waits for its socket.
			bool			Start();
			bool			Stop();
			bool			Running() const { return fProcess != nullptr; }
			std::string		Log() const;

private:
			std::unique_ptr<ChildProcess> fProcess;
			std::string		fLog;
};


// A contactless card in the field of one virtual reader while it is
// inserted: it answers the reader's power and ATR requests and GET DATA
// with the answer it was given (UID and status word).
class VirtualCard {
public:
	// slot 0 or 1: the reader "Virtual PCD 00 0<slot>".
							VirtualCard(int slot = 0);
							~VirtualCard();

	// hex: GET DATA's whole answer, e.g. "04A1B2C39000".
			bool			Insert(const std::string& hex);
			void			Remove();
			int				PowerOns() const { return fPowerOns; }
			int				Commands() const { return fCommands; }

private:
			void			_Serve();

			int				fPort;
			int				fFD = -1;
			std::vector<uint8_t> fAnswer;
			std::thread		fThread;
			std::atomic<bool> fStop{false};
			std::atomic<int> fPowerOns{0};
			std::atomic<int> fCommands{0};
};

#endif
