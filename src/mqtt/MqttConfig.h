#ifndef MQTT_CONFIG_H
#define MQTT_CONFIG_H

#include <SupportDefs.h>

#include <string>

// The settings of rdx-mqtt, from $XDG_CONFIG_HOME/RDX/mqtt.conf or a file
// named on the command line: "key = value" lines, '#' starts a comment.
// Every key has a default; a key that is not known, a value that does not
// fit its key, or a file that cannot be read is an error that names it.
class MqttConfig {
public:
							MqttConfig();

			// Reads the file. A missing file is an error only when
			// mustExist; otherwise the defaults stay. B_OK, or B_BAD_VALUE
			// with Error() naming the file, the line and what is wrong.
			status_t		Load(const std::string& path, bool mustExist);
			// Reads settings from text, as from a file of that name.
			status_t		Parse(const std::string& text,
								const std::string& name);
			// Fills in what follows from other settings (the port from TLS,
			// the prefix from the door) and checks that they fit together.
			status_t		Finish();

			const std::string& Error() const { return fError; }

	// Where the settings are looked for when no file is named.
	static	std::string		DefaultPath();

			std::string		host = "127.0.0.1";
			// 0 until Finish(): 1883, or 8883 with TLS.
			int32			port = 0;
			std::string		tlsCA;
			std::string		tlsCert;
			std::string		tlsKey;
			std::string		username;
			std::string		passwordFile;
			// Read from passwordFile by Finish().
			std::string		password;
			std::string		clientID;
			std::string		door;
			std::string		prefix;
			int32			keepAlive = 60;
			// rdx-door's settings, for the door's contact on the broker and
			// its entities; empty: where rdx-door looks by default.
			std::string		doorConf;

			bool			UsesTLS() const { return !tlsCA.empty(); }

private:
			status_t		_Set(const std::string& key,
								const std::string& value,
								const std::string& where);
			status_t		_Fail(const std::string& error);

			std::string		fError;
};

#endif
