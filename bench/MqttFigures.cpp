// rdx-mqtt between Debian's mosquitto and rdx: from mosquitto_pub starting
// to publish the open command until the board's listener sees the GET that
// opens the tag relay. The floor is what the path cannot do without: one
// publish reaching a subscriber (mosquitto_pub to a waiting mosquitto_sub)
// and the board request itself (the same wget started directly).

#include "MqttFigures.h"

#include "BenchClock.h"
#include "DirectWget.h"
#include "HttpListener.h"
#include "SettingsHome.h"

#include <Messenger.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Runs a program found on PATH to its end, its output thrown away; its
// exit status, or -1.
int
run_quietly(const std::vector<std::string>& argv)
{
	std::vector<char*> args;
	for (const std::string& arg : argv)
		args.push_back(const_cast<char*>(arg.c_str()));
	args.push_back(nullptr);
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
	pid_t pid;
	int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(),
		environ);
	posix_spawn_file_actions_destroy(&actions);
	if (error != 0)
		return -1;
	int status;
	if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
		return -1;
	return WEXITSTATUS(status);
}


bool
accepts(int port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = htons(port);
	bool ok = fd >= 0 && connect(fd, (sockaddr*)&address, sizeof(address))
		== 0;
	if (fd >= 0)
		close(fd);
	return ok;
}


std::string
sibling_program(const std::string& rdx, const char* relative)
{
	// rdx is <build>/src/app/rdx.
	std::string build = rdx.substr(0, rdx.rfind("/src/app/"));
	return build + relative;
}

}	// namespace


MqttResult
MeasureMqtt(const BenchConfig& config, int opens)
{
	MqttResult result;
	HttpListener listener;
	SettingsHome home;
	int port = free_loopback_port();
	if (!listener.IsValid() || !home.IsValid() || port == 0) {
		result.error = "no listener, settings home or free port";
		return result;
	}
	std::string board = "127.0.0.1:" + std::to_string(listener.Port());
	if (!home.SetText("rdx_ip", board) || !home.SetBool("rdx_use", true)
		|| !home.SetInt32("OpenInSecs", 0)
		|| !home.SetInt32("TagsUseDoor", 1)) {
		result.error = "cannot seed the settings";
		return result;
	}

	std::string brokerConfig = home.Path() + "/mosquitto.conf";
	std::string bridgeConfig = home.Path() + "/mqtt.conf";
	{
		FILE* file = fopen(brokerConfig.c_str(), "w");
		FILE* bridge = fopen(bridgeConfig.c_str(), "w");
		if (file == nullptr || bridge == nullptr) {
			result.error = "cannot write the configurations";
			if (file != nullptr)
				fclose(file);
			if (bridge != nullptr)
				fclose(bridge);
			return result;
		}
		fprintf(file, "listener %d 127.0.0.1\nallow_anonymous true\n"
			"persistence false\nuser root\n", port);
		fclose(file);
		fprintf(bridge, "port = %d\ndoor = bench\n", port);
		fclose(bridge);
	}
	std::map<std::string, std::string> environment = home.Environment();
	Process broker({"/bin/sh", "-c", "exec mosquitto -c '" + brokerConfig
		+ "' 2>&1"}, environment, config.logDirectory + "/mqtt.broker.out");
	int64_t end = bench_now_ns() + (int64_t)(kWaitSeconds * 1e9);
	while (!accepts(port) && bench_now_ns() < end)
		bench_sleep_ms(5);

	Process rdx({config.rdx}, environment,
		config.logDirectory + "/mqtt.rdx.out");
	BMessenger messenger;
	if (!connect_to_rdx(home, &messenger, 10)) {
		result.error = "rdx did not open its message port";
		return result;
	}
	HttpListener::Request request;
	// The start-up pulse of relay 1 comes first.
	if (!listener.WaitFor(1, kWaitSeconds + 2, &request)) {
		result.error = "the start-up pulse did not close";
		return result;
	}

	std::string bridgeProgram = sibling_program(config.rdx,
		"/tools/rdx-mqtt/rdx-mqtt");
	Process bridge({"/bin/sh", "-c", "exec '" + bridgeProgram + "' --config '"
		+ bridgeConfig + "' 2>&1"}, environment,
		config.logDirectory + "/mqtt.bridge.out");
	if (!wait_for_output(bridge.OutputFile(), "watching rdx", 10)
		|| !wait_for_output(bridge.OutputFile(), "connected to the broker",
			10)) {
		result.error = "rdx-mqtt did not connect to both sides";
		return result;
	}
	std::string portText = std::to_string(port);

	// A subscriber that waits for the round trip's message, line by line.
	// It ends by itself after the last one (or, at worst, after a while),
	// so that closing the pipe never waits for ever.
	std::string subscribe = "exec stdbuf -oL mosquitto_sub -h 127.0.0.1 -p "
		+ portText + " -t bench/round-trip -C " + std::to_string(opens)
		+ " -W 600";
	FILE* subscriber = popen(subscribe.c_str(), "r");
	if (subscriber == nullptr) {
		result.error = "cannot start mosquitto_sub";
		return result;
	}
	bench_sleep_ms(300);

	DirectWget directWget(board);
	if (!directWget.IsValid()) {
		result.error = "no private directory for the floor's answers";
		return result;
	}
	const std::string& wget = directWget.Command();
	const std::vector<std::string> publishOpen = {"mosquitto_pub", "-h",
		"127.0.0.1", "-p", portText, "-q", "1", "-t", "rdx/bench/open", "-m",
		"PRESS"};
	const std::vector<std::string> publishRoundTrip = {"mosquitto_pub", "-h",
		"127.0.0.1", "-p", portText, "-q", "1", "-t", "bench/round-trip",
		"-m", "x"};

	auto fail = [&](const std::string& error) {
		result.error = error;
		pclose(subscriber);
		return result;
	};
	for (int i = 0; i < opens; i++) {
		size_t next = listener.Count();
		int64_t start = bench_now_ns();
		if (run_quietly(publishOpen) != 0)
			return fail("mosquitto_pub of the open failed");
		if (!listener.WaitFor(next, kWaitSeconds, &request)
			|| request.target != "/?3=0")
			return fail("the board saw no open " + std::to_string(i));
		result.open.Add(ms_between(start, request.arrivalNs));
		if (!listener.WaitFor(next + 1, kWaitSeconds, &request))
			return fail("the board saw no close " + std::to_string(i));
		bench_sleep_ms(kSettleMs);

		start = bench_now_ns();
		if (run_quietly(publishRoundTrip) != 0)
			return fail("mosquitto_pub of the round trip failed");
		char line[64];
		if (fgets(line, sizeof(line), subscriber) == nullptr)
			return fail("mosquitto_sub ended");
		result.roundTrip.Add(ms_between(start, bench_now_ns()));
		bench_sleep_ms(kSettleMs);

		next = listener.Count();
		start = bench_now_ns();
		if (system(wget.c_str()) != 0)
			return fail("the direct wget failed");
		if (!listener.WaitFor(next, kWaitSeconds, &request))
			return fail("the board saw no direct wget");
		result.directWget.Add(ms_between(start, request.arrivalNs));
		bench_sleep_ms(kSettleMs);
	}
	pclose(subscriber);

	// Idle: both sides connected, nothing happening, well inside the
	// keep-alive (60 s), so no ping falls into it.
	bench_sleep_ms(1000);
	auto switches = [&] {
		int64_t total = 0;
		for (const Process::ThreadInfo& thread : bridge.Threads())
			total += thread.switches;
		return total;
	};
	int64_t cpuBefore = bridge.CpuTimeNs();
	int64_t switchesBefore = switches();
	int64_t idleStart = bench_now_ns();
	bench_sleep_ms(config.idleSeconds * 1000);
	result.idleCpuNs = bridge.CpuTimeNs() - cpuBefore;
	result.idleSwitches = switches() - switchesBefore;
	result.idleSeconds = (bench_now_ns() - idleStart) / 1e9;

	bridge.Stop(10);
	rdx.Stop(10);
	broker.Stop(10);
	result.ok = cpuBefore >= 0;
	if (!result.ok)
		result.error = "cannot read rdx-mqtt's CPU time";
	return result;
}
