// rdx-mqtt: the door of this user's rdx on an MQTT broker.

#include "MqttOptions.h"

#include <Locale.h>
#include <MqttBridge.h>
#include <MqttConfig.h>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

int
main(int argc, char** argv)
{
	MqttOptions options = MqttOptions::Parse(
		std::vector<std::string>(argv + 1, argv + argc));
	if (!options.error.empty()) {
		fprintf(stderr, "rdx-mqtt: %s\n%s", options.error.c_str(),
			be_locale->GetLines(MqttOptions::Usage()).c_str());
		return 2;
	}
	if (options.help) {
		fputs(be_locale->GetLines(MqttOptions::Usage()).c_str(), stdout);
		return 0;
	}
	if (options.version) {
		printf("rdx-mqtt %s\n", RDX_VERSION);
		return 0;
	}

	MqttConfig config;
	bool named = !options.configFile.empty();
	std::string path = named ? options.configFile : MqttConfig::DefaultPath();
	if (config.Load(path, named) != B_OK || config.Finish() != B_OK) {
		fprintf(stderr, "rdx-mqtt: %s\n", config.Error().c_str());
		return 2;
	}

	// The signals end the one loop; a broker that closes its end must not
	// end the process.
	signal(SIGPIPE, SIG_IGN);
	sigset_t signals;
	sigemptyset(&signals);
	sigaddset(&signals, SIGTERM);
	sigaddset(&signals, SIGINT);
	sigaddset(&signals, SIGHUP);
	sigprocmask(SIG_BLOCK, &signals, nullptr);
	int signalFD = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
	if (signalFD < 0) {
		perror("rdx-mqtt: signalfd");
		return 1;
	}

	MqttBridge bridge(config);
	if (bridge.Init() != B_OK) {
		fprintf(stderr, "rdx-mqtt: %s\n", bridge.Error().c_str());
		close(signalFD);
		return 2;
	}
	bridge.Run(signalFD);
	close(signalFD);
	return 0;
}
