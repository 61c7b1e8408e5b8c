#ifndef MQTT_OPTIONS_H
#define MQTT_OPTIONS_H

#include <string>
#include <vector>

// The command line of rdx-mqtt: [--config FILE] | --help | --version.
struct MqttOptions {
	std::string		configFile;
	bool			help = false;
	bool			version = false;
	// Set when the command line is wrong.
	std::string		error;

	static	MqttOptions		Parse(const std::vector<std::string>& arguments);
	static	const char*		Usage();
};

#endif
