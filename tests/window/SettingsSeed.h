#ifndef TEST_SETTINGS_SEED_H
#define TEST_SETTINGS_SEED_H

// The settings file as the program keeps it, written and read past the
// program's own code: each setting NAME is the extended attribute
// "user.NAME" of $XDG_CONFIG_HOME/RDX/RDX_settings, holding the 4-byte type
// code (most significant byte first) and then the value's bytes.
//
// Tests seed the board address (and board use) before the window or the
// program starts, so that nothing ever reaches for the default board.

#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace seed {

inline std::string
Text(const std::string& text)
{
	// As a save writes it: with the terminator.
	return std::string("CSTR") + text + std::string(1, '\0');
}


inline std::string
Bool(bool value)
{
	return std::string("BOOL") + std::string(1, value ? '\1' : '\0');
}


inline std::string
Int32(int32_t value)
{
	std::string bytes(4, '\0');
	memcpy(bytes.data(), &value, 4);
	return "LONG" + bytes;
}


inline std::string
Rect(float left, float top, float right, float bottom)
{
	float values[4] = {left, top, right, bottom};
	return "RECT" + std::string((const char*)values, sizeof(values));
}


typedef std::vector<std::pair<std::string, std::string>> Values;


inline std::string
SettingsFile(const std::string& configHome)
{
	return configHome + "/RDX/RDX_settings";
}


// Creates the settings file below configHome and stores the values. False
// when any step fails.
inline bool
Write(const std::string& configHome, const Values& values)
{
	mkdir(configHome.c_str(), 0700);
	mkdir((configHome + "/RDX").c_str(), 0755);
	std::string file = SettingsFile(configHome);
	int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
	if (fd < 0)
		return false;
	close(fd);
	for (const auto& [name, value] : values) {
		std::string attribute = "user." + name;
		if (setxattr(file.c_str(), attribute.c_str(), value.data(),
				value.size(), 0) != 0) {
			return false;
		}
	}
	return true;
}


// The stored bytes of a setting (type code included), read with
// getxattr(2); nothing when it is not stored.
inline std::optional<std::string>
Read(const std::string& configHome, const std::string& name)
{
	std::string file = SettingsFile(configHome);
	std::string attribute = "user." + name;
	ssize_t size = getxattr(file.c_str(), attribute.c_str(), nullptr, 0);
	if (size < 0)
		return std::nullopt;
	std::string value((size_t)size, '\0');
	size = getxattr(file.c_str(), attribute.c_str(), value.data(),
		value.size());
	if (size < 0)
		return std::nullopt;
	value.resize((size_t)size);
	return value;
}


// A stored rectangle's four floats; false when it is not a rectangle.
inline bool
ReadRect(const std::string& configHome, const std::string& name,
	float values[4])
{
	std::optional<std::string> stored = Read(configHome, name);
	if (!stored || stored->size() != 20 || stored->compare(0, 4, "RECT") != 0)
		return false;
	memcpy(values, stored->data() + 4, 16);
	return true;
}

}	// namespace seed

#endif
