#ifndef TEST_DOOR_TEST_SUPPORT_H
#define TEST_DOOR_TEST_SUPPORT_H

// Real ends for rdx-door: FIFOs that carry struct input_event records as
// an input device would (this kernel has no uinput), and rdx-door itself
// as a child process with a home, settings and runtime directory of its
// own.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The bytes of one input event and the report that ends it; stamped with
// when (microseconds of the boot clock, as rdx-door has a device stamp
// them), or unstamped.
std::string input_event(int type, int code, int value, int64_t when = 0);
// Now on the boot clock, in microseconds.
int64_t boot_time();

// A FIFO written like an input device; Unplug() makes it go away as a
// device does.
class DeviceFifo {
public:
							DeviceFifo(const TempDir& directory,
								const std::string& name);
							~DeviceFifo();

			const std::string& Path() const { return fPath; }
	// Waits (a few seconds) for the reader, then writes.
			bool			Write(const std::string& bytes);
			void			Unplug();

private:
			std::string		fPath;
			int				fWriter = -1;
};


// rdx-door with door.conf as given, in directories below home.
class DoorProcess {
public:
	static	std::string		Program();

	// home holds config/RDX/door.conf (written 0600 here), run (the
	// runtime directory, shared with an rdx of the same home) and state.
							DoorProcess(const TempDir& home,
								const std::string& doorConf,
								const std::vector<std::string>& arguments
									= {},
								const std::vector<std::pair<std::string,
									std::string>>& environment = {});

			ChildProcess&	Process() { return *fProcess; }
			std::string		Output() const { return fProcess->Output(); }
			bool			WaitFor(const std::string& text, int count = 1,
								double seconds = 20);
	// SIGTERM, then the exit status; -1 when it did not end.
			int				Terminate();

private:
			std::unique_ptr<ChildProcess> fProcess;
};

// A session bus of the test's own (dbus-daemon with a configuration that
// starts no service by itself) and, once Start() is called, the stand-in
// notification service on it, which records every Notify call.
class NotificationDesk {
public:
	// invoke: an action the service says was chosen whenever a
	// notification offers it.
							NotificationDesk(const std::string& invoke = "");

	// The bus's address for DBUS_SESSION_BUS_ADDRESS; empty when it did
	// not start.
			const std::string& Address() const { return fAddress; }
	// Starts the service; true once it owns its name.
			bool			Start();
	// The recorded calls, one JSON object each.
			std::vector<std::string> Calls() const;
			bool			WaitForCalls(size_t count, double seconds = 10);

private:
			TempDir			fDirectory;
			std::string		fInvoke;
			std::string		fAddress;
			std::unique_ptr<ChildProcess> fBus;
			std::unique_ptr<ChildProcess> fService;
};

// The "door" records of an access log, as "what" (and ":result" for an
// exit), in order.
std::vector<std::string> door_records(const std::string& logFile);

#endif
