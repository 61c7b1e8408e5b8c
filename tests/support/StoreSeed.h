#ifndef TEST_STORE_SEED_H
#define TEST_STORE_SEED_H

// The settings as the program keeps them where the file system refuses
// extended attributes: the hidden store ".RDX_settings.attributes" beside
// the settings file, written and read here past the program's own code.
//
// Layout: "RDXATTR1", the entry count, then per entry the name length, the
// value length, the name and the value (type code and bytes, as in the
// extended attribute), and a CRC-32 of everything before it at the end.
// Numbers are 4 bytes, little-endian.

#include "SettingsSeed.h"

#include <cstdint>
#include <fcntl.h>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

inline std::string
StorePath(const std::string& configHome)
{
	return configHome + "/RDX/.RDX_settings.attributes";
}


inline uint32_t
Crc32(const std::string& data, size_t length)
{
	uint32_t crc = 0xFFFFFFFFu;
	for (size_t i = 0; i < length; i++) {
		crc ^= (uint8_t)data[i];
		for (int bit = 0; bit < 8; bit++)
			crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
	}
	return crc ^ 0xFFFFFFFFu;
}


inline void
AppendNumber(std::string& data, uint32_t value)
{
	for (int shift = 0; shift < 32; shift += 8)
		data += (char)(value >> shift);
}


inline uint32_t
NumberAt(const std::string& data, size_t offset)
{
	uint32_t value = 0;
	for (int i = 3; i >= 0; i--)
		value = (value << 8) | (uint8_t)data[offset + i];
	return value;
}


inline std::string
Encode(const seed::Values& values)
{
	std::map<std::string, std::string> sorted(values.begin(), values.end());
	std::string data = "RDXATTR1";
	AppendNumber(data, (uint32_t)sorted.size());
	for (const auto& [name, value] : sorted) {
		AppendNumber(data, (uint32_t)name.size());
		AppendNumber(data, (uint32_t)value.size());
		data += name + value;
	}
	AppendNumber(data, Crc32(data, data.size()));
	return data;
}


// The values of a store; nothing when it is missing or damaged.
inline std::optional<std::map<std::string, std::string>>
Decode(const std::string& data)
{
	if (data.size() < 16 || data.compare(0, 8, "RDXATTR1") != 0)
		return std::nullopt;
	size_t end = data.size() - 4;
	if (Crc32(data, end) != NumberAt(data, end))
		return std::nullopt;
	std::map<std::string, std::string> values;
	uint32_t count = NumberAt(data, 8);
	size_t offset = 12;
	for (uint32_t i = 0; i < count; i++) {
		if (end - offset < 8)
			return std::nullopt;
		uint32_t nameSize = NumberAt(data, offset);
		uint32_t valueSize = NumberAt(data, offset + 4);
		offset += 8;
		if (end - offset < (size_t)nameSize + valueSize)
			return std::nullopt;
		values[data.substr(offset, nameSize)]
			= data.substr(offset + nameSize, valueSize);
		offset += nameSize + valueSize;
	}
	if (offset != end)
		return std::nullopt;
	return values;
}


// Creates the settings file and its store with the values.
inline bool
Write(const std::string& configHome, const seed::Values& values)
{
	mkdir(configHome.c_str(), 0700);
	mkdir((configHome + "/RDX").c_str(), 0755);
	int fd = open(seed::SettingsFile(configHome).c_str(),
		O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
	if (fd < 0)
		return false;
	close(fd);
	std::string data = Encode(values);
	fd = open(StorePath(configHome).c_str(),
		O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
	if (fd < 0)
		return false;
	bool written = write(fd, data.data(), data.size()) == (ssize_t)data.size();
	return close(fd) == 0 && written;
}


// One stored value (type code and bytes); nothing when it is not stored.
inline std::optional<std::string>
Read(const std::string& configHome, const std::string& name)
{
	int fd = open(StorePath(configHome).c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return std::nullopt;
	std::string data;
	char buffer[4096];
	ssize_t count;
	while ((count = read(fd, buffer, sizeof(buffer))) > 0)
		data.append(buffer, (size_t)count);
	close(fd);
	std::optional<std::map<std::string, std::string>> values = Decode(data);
	if (!values || values->count(name) == 0)
		return std::nullopt;
	return values->at(name);
}

}	// namespace store

#endif
