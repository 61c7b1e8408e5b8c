#include "MqttOptions.h"

#include <Locale.h>


MqttOptions
MqttOptions::Parse(const std::vector<std::string>& arguments)
{
	MqttOptions options;
	for (size_t i = 0; i < arguments.size(); i++) {
		const std::string& argument = arguments[i];
		if (argument == "--help" || argument == "-h")
			options.help = true;
		else if (argument == "--version")
			options.version = true;
		else if (argument == "--config") {
			if (i + 1 >= arguments.size()) {
				options.error = B_TRANSLATE("--config needs a file");
				return options;
			}
			options.configFile = arguments[++i];
		} else if (argument.rfind("--config=", 0) == 0)
			options.configFile = argument.substr(9);
		else {
			options.error = translate_format("unknown argument \"%s\"",
				argument.c_str());
			return options;
		}
	}
	if (options.error.empty() && !options.help && !options.version) {
		for (const std::string& argument : arguments) {
			if (argument == "--config=")
				options.error = B_TRANSLATE("--config needs a file");
		}
	}
	return options;
}


const char*
MqttOptions::Usage()
{
	return
		"usage: rdx-mqtt [--config FILE]\n"
		"Puts the door of the rdx of this user on an MQTT broker: relay"
			" states, board use,\n"
		"tag reads, an open command, and Home Assistant discovery.\n"
		"With rdx-door: the door's state, alarms and events, and its contact"
			" on the broker.\n"
		"  --config FILE  the settings (default:"
			" $XDG_CONFIG_HOME/RDX/mqtt.conf)\n"
		"  --help         this text\n"
		"  --version      the program's version\n"
		"Settings, \"key = value\" lines: host, port, tls_ca, tls_cert,"
			" tls_key, username,\n"
		"password_file, client_id, door, prefix, keepalive, door_conf.\n"
		"Whoever may publish to <prefix>/open can open the door.\n"
		"Exit status: 0 stopped by a signal, 1 could not run, 2 bad"
			" arguments or settings.\n";
}
