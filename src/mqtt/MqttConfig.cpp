#include "MqttConfig.h"

#include <ConfigText.h>

#include <FindDirectory.h>
#include <Locale.h>
#include <Path.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const size_t kMaxFileSize = 64 * 1024;


bool
IsTopicPrefix(const std::string& prefix)
{
	if (prefix.empty() || prefix.size() > 200 || prefix.front() == '/'
		|| prefix.back() == '/' || prefix.find("//") != std::string::npos)
		return false;
	for (char c : prefix) {
		if (c == '+' || c == '#' || (unsigned char)c < 0x20 || c == 0x7f)
			return false;
	}
	return true;
}


// Reads a whole small file; *error says why not.
bool
ReadSmallFile(const std::string& path, std::string* data, std::string* error,
	struct stat* info)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
	if (fd < 0) {
		*error = strerror(errno);
		return false;
	}
	if (fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
		close(fd);
		*error = "not a regular file";
		return false;
	}
	data->clear();
	char buffer[4096];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			*error = strerror(errno);
			close(fd);
			return false;
		}
		if (count == 0)
			break;
		data->append(buffer, (size_t)count);
		if (data->size() > kMaxFileSize) {
			close(fd);
			*error = "larger than 64 KiB";
			return false;
		}
	}
	close(fd);
	return true;
}

}	// namespace


MqttConfig::MqttConfig()
{
	char name[HOST_NAME_MAX + 1] = {};
	if (gethostname(name, sizeof(name) - 1) == 0) {
		// The door's id defaults to the host's name, as far as it is a
		// plain name.
		std::string host(name);
		std::string plain;
		for (char c : host) {
			plain += isalnum((unsigned char)c) || strchr("-_", c) != nullptr
				? c : '_';
		}
		door = plain.substr(0, 64);
	}
	if (door.empty())
		door = "door";
}


std::string
MqttConfig::DefaultPath()
{
	BPath path;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path) != B_OK)
		return "mqtt.conf";
	return std::string(path.Path()) + "/RDX/mqtt.conf";
}


status_t
MqttConfig::Load(const std::string& path, bool mustExist)
{
	if (!mustExist && access(path.c_str(), F_OK) != 0 && errno == ENOENT)
		return B_OK;
	std::string data;
	std::string error;
	struct stat info;
	if (!ReadSmallFile(path, &data, &error, &info))
		return _Fail(translate_format("%s: cannot read it: %s", path.c_str(),
			error.c_str()));
	return Parse(data, path);
}


status_t
MqttConfig::Parse(const std::string& text, const std::string& name)
{
	size_t start = 0;
	int lineNumber = 0;
	while (start <= text.size()) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		start = end + 1;
		lineNumber++;

		size_t hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		line = ConfigText::Trim(line);
		if (line.empty())
			continue;
		std::string where = name + ":" + std::to_string(lineNumber);
		// Values go on as C strings: a NUL would cut one short, and no
		// control character belongs in a setting a person cannot see.
		for (unsigned char c : line) {
			if ((c < 0x20 && c != '\t') || c == 0x7f)
				return _Fail(where + ": a control character in the line");
		}
		size_t equals = line.find('=');
		if (equals == std::string::npos)
			return _Fail(translate_format("%s: \"%s\" is not \"key = value\"",
				where.c_str(), line.c_str()));
		std::string key = ConfigText::Trim(line.substr(0, equals));
		std::string value = ConfigText::Trim(line.substr(equals + 1));
		if (_Set(key, value, where) != B_OK)
			return B_BAD_VALUE;
	}
	return B_OK;
}


status_t
MqttConfig::_Set(const std::string& key, const std::string& value,
	const std::string& where)
{
	auto number = [&](int32 low, int32 high, int32* target) -> status_t {
		char* end = nullptr;
		errno = 0;
		long parsed = strtol(value.c_str(), &end, 10);
		if (value.empty() || *end != '\0' || errno != 0 || parsed < low
			|| parsed > high) {
			return _Fail(translate_format("%s: %s must be a number from %ld"
				" to %ld, not \"%s\"", where.c_str(), key.c_str(), (long)low,
				(long)high, value.c_str()));
		}
		*target = (int32)parsed;
		return B_OK;
	};
	auto path = [&](std::string* target) -> status_t {
		if (value.empty())
			return _Fail(translate_format("%s: %s needs a file name",
				where.c_str(), key.c_str()));
		*target = value;
		return B_OK;
	};

	if (key == "host") {
		if (value.empty() || value.find_first_of(" \t/") != std::string::npos)
			return _Fail(translate_format("%s: host \"%s\" is not a host name"
				" or address", where.c_str(), value.c_str()));
		host = value;
		return B_OK;
	}
	if (key == "port")
		return number(1, 65535, &port);
	if (key == "keepalive")
		return number(5, 3600, &keepAlive);
	if (key == "tls_ca")
		return path(&tlsCA);
	if (key == "tls_cert")
		return path(&tlsCert);
	if (key == "tls_key")
		return path(&tlsKey);
	if (key == "password_file")
		return path(&passwordFile);
	if (key == "door_conf")
		return path(&doorConf);
	if (key == "username") {
		if (value.empty() || value.size() > 256)
			return _Fail(translate_format("%s: username is empty or too long",
				where.c_str()));
		username = value;
		return B_OK;
	}
	if (key == "client_id") {
		if (!ConfigText::IsPlainName(value))
			return _Fail(translate_format("%s: client_id \"%s\" must be 1 to"
				" 64 letters, digits, '-', '_' or '.'", where.c_str(),
				value.c_str()));
		clientID = value;
		return B_OK;
	}
	if (key == "door") {
		if (!ConfigText::IsPlainName(value))
			return _Fail(translate_format("%s: door \"%s\" must be 1 to 64"
				" letters, digits, '-', '_' or '.'", where.c_str(),
				value.c_str()));
		door = value;
		return B_OK;
	}
	if (key == "prefix") {
		if (!IsTopicPrefix(value))
			return _Fail(translate_format("%s: prefix \"%s\" must be a topic"
				" without '+', '#', or a '/' at either end", where.c_str(),
				value.c_str()));
		prefix = value;
		return B_OK;
	}
	return _Fail(translate_format("%s: unknown key \"%s\"", where.c_str(),
		key.c_str()));
}


status_t
MqttConfig::Finish()
{
	if (port == 0)
		port = UsesTLS() ? 8883 : 1883;
	if (prefix.empty())
		prefix = "rdx/" + door;
	if (clientID.empty())
		clientID = "rdx-mqtt-" + door;
	if (tlsCert.empty() != tlsKey.empty())
		return _Fail(B_TRANSLATE("tls_cert and tls_key go together: give both"
			" or neither"));
	if (!tlsCert.empty() && !UsesTLS())
		return _Fail(B_TRANSLATE("tls_cert and tls_key need tls_ca"));
	if (!passwordFile.empty() && username.empty())
		return _Fail(B_TRANSLATE("password_file needs a username"));

	if (!passwordFile.empty()) {
		std::string data;
		std::string error;
		struct stat info;
		if (!ReadSmallFile(passwordFile, &data, &error, &info))
			return _Fail(translate_format("%s: cannot read the password: %s",
				passwordFile.c_str(), error.c_str()));
		// A password others can read is no secret: refuse rather than
		// hand it on.
		if ((info.st_mode & 077) != 0) {
			char mode[8];
			snprintf(mode, sizeof(mode), "%04o", info.st_mode & 07777);
			return _Fail(translate_format("%s: others may read it (mode %s);"
				" make it readable by you only (chmod 600)",
				passwordFile.c_str(), mode));
		}
		size_t newline = data.find('\n');
		password = data.substr(0, newline);
		if (!password.empty() && password.back() == '\r')
			password.pop_back();
		if (password.empty())
			return _Fail(translate_format("%s: the first line holds no password",
				passwordFile.c_str()));
	}
	return B_OK;
}


status_t
MqttConfig::_Fail(const std::string& error)
{
	fError = error;
	return B_BAD_VALUE;
}
