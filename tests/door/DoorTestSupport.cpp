#include "DoorTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <linux/input.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

void test_sleep_ms(int milliseconds);


std::string
input_event(int type, int code, int value, int64_t when)
{
	struct input_event events[2] = {};
	for (struct input_event& event : events) {
		event.input_event_sec = when / 1000000;
		event.input_event_usec = when % 1000000;
	}
	events[0].type = (uint16_t)type;
	events[0].code = (uint16_t)code;
	events[0].value = value;
	events[1].type = EV_SYN;
	events[1].code = SYN_REPORT;
	return std::string((const char*)events, sizeof(events));
}


int64_t
boot_time()
{
	struct timespec now;
	clock_gettime(CLOCK_BOOTTIME, &now);
	return (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}


DeviceFifo::DeviceFifo(const TempDir& directory, const std::string& name)
	:
	fPath(directory.Sub(name))
{
	if (mkfifo(fPath.c_str(), 0600) != 0)
		ADD_FAILURE() << "mkfifo " << fPath << ": " << strerror(errno);
}


DeviceFifo::~DeviceFifo()
{
	if (fWriter >= 0)
		close(fWriter);
}


bool
DeviceFifo::Write(const std::string& bytes)
{
	if (fWriter < 0) {
		// Without a reader the open fails at once instead of blocking.
		wait_for([&] {
			fWriter = open(fPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
			return fWriter >= 0;
		}, 10);
		if (fWriter < 0)
			return false;
	}
	return write(fWriter, bytes.data(), bytes.size())
		== (ssize_t)bytes.size();
}


void
DeviceFifo::Unplug()
{
	unlink(fPath.c_str());
	if (fWriter >= 0)
		close(fWriter);
	fWriter = -1;
}


std::string
DoorProcess::Program()
{
	return std::string(RDX_BINARY_DIR) + "/tools/rdx-door/rdx-door";
}


DoorProcess::DoorProcess(const TempDir& home, const std::string& doorConf,
	const std::vector<std::string>& arguments,
	const std::vector<std::pair<std::string, std::string>>& environment)
{
	std::string config = home.Sub("config");
	mkdir(config.c_str(), 0700);
	mkdir((config + "/RDX").c_str(), 0700);
	mkdir(home.Sub("run").c_str(), 0700);
	std::string path = config + "/RDX/door.conf";
	FILE* file = fopen(path.c_str(), "w");
	if (file != nullptr) {
		fputs(doorConf.c_str(), file);
		fclose(file);
	}
	chmod(path.c_str(), 0600);

	ChildProcess::Options options;
	options.environment = {{"HOME", home.Sub("home")},
		{"XDG_CONFIG_HOME", config}, {"XDG_RUNTIME_DIR", home.Sub("run")},
		{"XDG_STATE_HOME", home.Sub("state")}};
	// No session bus unless the test brings one.
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES",
		"DBUS_SESSION_BUS_ADDRESS"};
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	std::vector<std::string> argv = {Program()};
	argv.insert(argv.end(), arguments.begin(), arguments.end());
	fProcess = std::make_unique<ChildProcess>(argv, options);
}


bool
DoorProcess::WaitFor(const std::string& text, int count, double seconds)
{
	return wait_for([&] {
		return count_of(Output(), text) >= count || !fProcess->Running();
	}, seconds) && count_of(Output(), text) >= count;
}


int
DoorProcess::Terminate()
{
	fProcess->Signal(SIGTERM);
	int status = -1;
	if (!fProcess->Wait(10, &status))
		return -1;
	return status;
}


std::vector<std::string>
door_records(const std::string& logFile)
{
	std::vector<std::string> records;
	std::istringstream in(read_file(logFile));
	for (std::string line; std::getline(in, line);) {
		nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
		if (!record.is_object() || record.value("event", "") != "door")
			continue;
		std::string what = record.value("what", "");
		if (record.contains("result"))
			what += ":" + record.value("result", "");
		records.push_back(what);
	}
	return records;
}


NotificationDesk::NotificationDesk(const std::string& invoke)
	:
	fDirectory("rdx-door-desk"),
	fInvoke(invoke)
{
	// No service directories: nothing may be started on the bus but what
	// the test starts, least of all a real notification daemon.
	std::string config = fDirectory.Sub("bus.conf");
	FILE* file = fopen(config.c_str(), "w");
	if (file == nullptr)
		return;
	fprintf(file, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus"
		" Configuration 1.0//EN\" \"http://www.freedesktop.org/standards/"
		"dbus/1.0/busconfig.dtd\">\n<busconfig><type>session</type>"
		"<listen>unix:path=%s</listen><auth>EXTERNAL</auth>"
		"<policy context=\"default\"><allow send_destination=\"*\"/>"
		"<allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
		"</busconfig>\n",
		fDirectory.Sub("bus").c_str());
	fclose(file);
	fBus = std::make_unique<ChildProcess>(std::vector<std::string>{
		"dbus-daemon", "--config-file=" + config, "--nofork",
		"--print-address=1"});
	wait_for([&] {
		return fBus->Output().find('\n') != std::string::npos
			|| !fBus->Running();
	}, 10);
	std::string output = fBus->Output();
	fAddress = output.substr(0, output.find('\n'));
}


bool
NotificationDesk::Start()
{
	if (fAddress.empty())
		return false;
	std::vector<std::string> argv = {std::string(RDX_BINARY_DIR)
		+ "/tests/door/notification-server", fDirectory.Sub("calls")};
	if (!fInvoke.empty()) {
		argv.push_back("--invoke");
		argv.push_back(fInvoke);
	}
	ChildProcess::Options options;
	options.environment = {{"DBUS_SESSION_BUS_ADDRESS", fAddress}};
	fService = std::make_unique<ChildProcess>(argv, options);
	return fService->WaitForOutput("ready", 10);
}


std::vector<std::string>
NotificationDesk::Calls() const
{
	std::vector<std::string> calls;
	std::istringstream in(read_file(fDirectory.Sub("calls")));
	for (std::string line; std::getline(in, line);)
		calls.push_back(line);
	return calls;
}


bool
NotificationDesk::WaitForCalls(size_t count, double seconds)
{
	return wait_for([&] { return Calls().size() >= count; }, seconds);
}
