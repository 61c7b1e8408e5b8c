#include "SettingsHome.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

int
remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
	remove(path);
	return 0;
}

}	// namespace


SettingsHome::SettingsHome()
{
	const char* base = getenv("TMPDIR");
	std::string pattern = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-bench-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr) {
		fprintf(stderr, "rdx-bench: mkdtemp: %s\n", strerror(errno));
		return;
	}
	fPath = pattern;
	bool made = mkdir((fPath + "/home").c_str(), 0700) == 0
		&& mkdir((fPath + "/config").c_str(), 0700) == 0
		&& mkdir((fPath + "/config/RDX").c_str(), 0755) == 0
		&& mkdir(RuntimeDirectory().c_str(), 0700) == 0;
	int fd = made ? open(SettingsFile().c_str(), O_WRONLY | O_CREAT | O_EXCL
		| O_CLOEXEC, 0644) : -1;
	if (fd < 0) {
		fprintf(stderr, "rdx-bench: cannot make the settings home in %s: %s\n",
			fPath.c_str(), strerror(errno));
		return;
	}
	close(fd);
	fValid = true;
}


SettingsHome::~SettingsHome()
{
	if (!fPath.empty())
		nftw(fPath.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}


std::string
SettingsHome::SettingsFile() const
{
	return fPath + "/config/RDX/RDX_settings";
}


std::string
SettingsHome::RuntimeDirectory() const
{
	return fPath + "/runtime";
}


bool
SettingsHome::SetText(const char* name, const std::string& text)
{
	return _Set(name, "CSTR", text + std::string(1, '\0'));
}


bool
SettingsHome::SetBool(const char* name, bool value)
{
	return _Set(name, "BOOL", std::string(1, value ? '\1' : '\0'));
}


bool
SettingsHome::SetInt32(const char* name, int32 value)
{
	uint32 bits = (uint32)value;
	std::string bytes;
	for (int i = 0; i < 4; i++)
		bytes += (char)((bits >> (8 * i)) & 0xff);
	return _Set(name, "LONG", bytes);
}


std::map<std::string, std::string>
SettingsHome::Environment() const
{
	return {
		{"HOME", fPath + "/home"},
		{"XDG_CONFIG_HOME", fPath + "/config"},
		{"XDG_RUNTIME_DIR", RuntimeDirectory()},
	};
}


bool
SettingsHome::_Set(const char* name, const char* type, const std::string& bytes)
{
	std::string value = std::string(type, 4) + bytes;
	std::string attribute = std::string("user.") + name;
	if (setxattr(SettingsFile().c_str(), attribute.c_str(), value.data(),
			value.size(), 0) != 0) {
		fprintf(stderr, "rdx-bench: cannot seed %s in %s: %s\n", name,
			SettingsFile().c_str(), strerror(errno));
		return false;
	}
	return true;
}
