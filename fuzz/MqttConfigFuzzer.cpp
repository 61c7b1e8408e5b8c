// Feeds arbitrary text to the reader of rdx-mqtt's settings (mqtt.conf).
//
// A refused file must name the line at fault, and that line must say
// something. An accepted one must give settings that are what the file
// said: every text is handed on to the MQTT library as a C string, so none
// may hold a byte that cuts it short or a control character that a person
// cannot see in the file (a tab is a blank); written out again as
// "key = value" lines they read back the same; and the topics made from
// them are topics a broker takes.

#include "FuzzCheck.h"

#include <MqttConfig.h>
#include <TopicMap.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char* kName = "mqtt.conf";


bool
plain(const std::string& text)
{
	for (unsigned char c : text) {
		if ((c < 0x20 && c != '\t') || c == 0x7f)
			return false;
	}
	return true;
}


std::string
written(const MqttConfig& config)
{
	std::string text = "host = " + config.host + "\n"
		+ "keepalive = " + std::to_string(config.keepAlive) + "\n"
		+ "door = " + config.door + "\n";
	if (config.port != 0)
		text += "port = " + std::to_string(config.port) + "\n";
	for (const auto& [key, value] : {std::pair{"tls_ca", &config.tlsCA},
			{"tls_cert", &config.tlsCert}, {"tls_key", &config.tlsKey},
			{"username", &config.username},
			{"password_file", &config.passwordFile},
			{"client_id", &config.clientID}, {"prefix", &config.prefix}}) {
		if (!value->empty())
			text += std::string(key) + " = " + *value + "\n";
	}
	return text;
}


bool
same(const MqttConfig& a, const MqttConfig& b)
{
	return a.host == b.host && a.port == b.port && a.tlsCA == b.tlsCA
		&& a.tlsCert == b.tlsCert && a.tlsKey == b.tlsKey
		&& a.username == b.username && a.passwordFile == b.passwordFile
		&& a.clientID == b.clientID && a.door == b.door
		&& a.prefix == b.prefix && a.keepAlive == b.keepAlive;
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text(reinterpret_cast<const char*>(data), size);
	MqttConfig config;
	if (config.Parse(text, kName) != B_OK) {
		// "mqtt.conf:N: ...", N a line with more than blanks and a comment.
		const std::string& error = config.Error();
		std::string prefix = std::string(kName) + ":";
		FUZZ_CHECK(error.compare(0, prefix.size(), prefix) == 0);
		long number = strtol(error.c_str() + prefix.size(), nullptr, 10);
		FUZZ_CHECK(number >= 1);
		size_t start = 0;
		for (long n = 1; n < number; n++) {
			start = text.find('\n', start);
			FUZZ_CHECK(start != std::string::npos);
			start++;
		}
		std::string line = text.substr(start, text.find('\n', start) - start);
		line = line.substr(0, line.find('#'));
		FUZZ_CHECK(line.find_first_not_of(" \t\r") != std::string::npos);
		return 0;
	}

	for (const std::string* value : {&config.host, &config.tlsCA,
			&config.tlsCert, &config.tlsKey, &config.username,
			&config.passwordFile, &config.clientID, &config.door,
			&config.prefix})
		FUZZ_CHECK(plain(*value));
	FUZZ_CHECK(!config.host.empty()
		&& config.host.find_first_of(" \t/") == std::string::npos);
	FUZZ_CHECK(config.port == 0 || (config.port >= 1 && config.port <= 65535));
	FUZZ_CHECK(config.keepAlive >= 5 && config.keepAlive <= 3600);

	MqttConfig again;
	FUZZ_CHECK(again.Parse(written(config), kName) == B_OK);
	FUZZ_CHECK(same(config, again));

	// Finish() reads the password file: not one the input names.
	config.passwordFile.clear();
	if (config.Finish() != B_OK) {
		FUZZ_CHECK(!config.Error().empty());
		return 0;
	}
	FUZZ_CHECK(config.port >= 1 && config.port <= 65535);
	FUZZ_CHECK(!config.clientID.empty() && !config.prefix.empty());
	TopicMap topics(config.prefix);
	for (const std::string& topic : topics.Subscriptions()) {
		FUZZ_CHECK(topic.find('#') == std::string::npos
			&& topic.find('+') == std::string::npos);
	}
	FUZZ_CHECK(topics.Open().compare(0, config.prefix.size() + 1,
		config.prefix + "/") == 0);
	return 0;
}
