#include "SettingsTestSupport.h"

#include "ChildProcess.h"

#include <AttributeStore.h>
#include <Node.h>
#include <Prefs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>


std::string
stored_value(const char* type, const std::string& bytes)
{
	return std::string(type, 4) + bytes;
}


std::string
int32_bytes(int32_t value)
{
	std::string bytes(4, '\0');
	memcpy(bytes.data(), &value, 4);
	return bytes;
}


std::string
float_bytes(float a, float b, float c, float d)
{
	float values[4] = {a, b, c, d};
	return std::string((const char*)values, sizeof(values));
}


void
SettingsTest::SetUp()
{
	fTemp = std::make_unique<TempDir>("rdx-settings");
	mkdir(fTemp->Sub("home").c_str(), 0700);
	setenv("HOME", fTemp->Sub("home").c_str(), 1);
	setenv("XDG_CONFIG_HOME", fTemp->Sub("config").c_str(), 1);
	fOldUmask = umask(022);
	BPrivate::ForceAttributeFallback(GetParam());
}


void
SettingsTest::TearDown()
{
	BPrivate::ForceAttributeFallback(false);
	umask(fOldUmask);
	fTemp.reset();
}


std::string
SettingsTest::SettingsDirectory() const
{
	return fTemp->Sub("config/RDX");
}


std::string
SettingsTest::SettingsFile() const
{
	return SettingsDirectory() + "/RDX_settings";
}


std::optional<std::string>
SettingsTest::Raw(const std::string& name) const
{
	if (Fallback()) {
		BPrivate::AttributeStore store(SettingsFile());
		if (store.Load() != B_OK)
			throw std::runtime_error("unreadable store");
		std::string value;
		if (store.Get(name, &value) != B_OK)
			return std::nullopt;
		return value;
	}

	std::string attribute = "user." + name;
	ssize_t size = getxattr(SettingsFile().c_str(), attribute.c_str(),
		nullptr, 0);
	if (size < 0)
		return std::nullopt;
	std::string value((size_t)size, '\0');
	size = getxattr(SettingsFile().c_str(), attribute.c_str(), value.data(),
		value.size());
	if (size < 0)
		return std::nullopt;
	value.resize((size_t)size);
	return value;
}


void
SettingsTest::SetRaw(const std::string& name, const std::string& value) const
{
	if (Fallback()) {
		BPrivate::AttributeStore store(SettingsFile());
		ASSERT_EQ(store.Load(), B_OK);
		store.Set(name, value);
		ASSERT_EQ(store.Commit(), B_OK);
		return;
	}
	ASSERT_EQ(setxattr(SettingsFile().c_str(), ("user." + name).c_str(),
		value.data(), value.size(), 0), 0) << strerror(errno);
}


void
SettingsTest::RemoveRaw(const std::string& name) const
{
	if (Fallback()) {
		BPrivate::AttributeStore store(SettingsFile());
		ASSERT_EQ(store.Load(), B_OK);
		ASSERT_TRUE(store.Remove(name));
		ASSERT_EQ(store.Commit(), B_OK);
		return;
	}
	ASSERT_EQ(removexattr(SettingsFile().c_str(), ("user." + name).c_str()), 0)
		<< strerror(errno);
}


std::string
SettingsTest::Construct(std::unique_ptr<Prefs>* prefs) const
{
	return captured_output([&] { *prefs = std::make_unique<Prefs>(); });
}


std::string
captured_output(const std::function<void()>& function)
{
	const char* base = getenv("TMPDIR");
	std::string path = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-settings-out-XXXXXX";
	int fd = mkstemp(path.data());
	if (fd < 0)
		throw std::runtime_error("mkstemp failed");
	fflush(stdout);
	int saved = dup(STDOUT_FILENO);
	dup2(fd, STDOUT_FILENO);
	close(fd);

	function();

	fflush(stdout);
	dup2(saved, STDOUT_FILENO);
	close(saved);
	std::string text = read_file(path);
	unlink(path.c_str());
	return text;
}


std::string
test_param_name(const ::testing::TestParamInfo<bool>& info)
{
	return info.param ? "Fallback" : "Xattr";
}
