#include "StorageTestSupport.h"

#include <AttributeStore.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>


void
StorageTest::SetUp()
{
	fTemp = std::make_unique<TempDir>("rdx-storage");
	mkdir(fTemp->Sub("home").c_str(), 0700);
	setenv("HOME", fTemp->Sub("home").c_str(), 1);
	setenv("XDG_CONFIG_HOME", fTemp->Sub("config").c_str(), 1);
}


void
StorageTest::TearDown()
{
	fTemp.reset();
}


std::string
StorageTest::MakeFile(const std::string& name, const std::string& data) const
{
	std::string path = fTemp->Sub(name);
	FILE* file = fopen(path.c_str(), "w");
	if (file == nullptr)
		throw std::runtime_error("cannot make " + path);
	fwrite(data.data(), 1, data.size(), file);
	fclose(file);
	return path;
}


void
AttributeTest::SetUp()
{
	fTemp = std::make_unique<TempDir>("rdx-attributes");
	BPrivate::ForceAttributeFallback(GetParam());
}


void
AttributeTest::TearDown()
{
	BPrivate::ForceAttributeFallback(false);
	fTemp.reset();
}


std::string
AttributeTest::MakeFile(const std::string& name) const
{
	std::string path = fTemp->Sub(name);
	FILE* file = fopen(path.c_str(), "w");
	if (file == nullptr)
		throw std::runtime_error("cannot make " + path);
	fclose(file);
	return path;
}


std::optional<std::string>
AttributeTest::Raw(const std::string& path, const std::string& name) const
{
	if (Fallback()) {
		BPrivate::AttributeStore store(path);
		if (store.Load() != B_OK)
			throw std::runtime_error("unreadable store");
		std::string value;
		if (store.Get(name, &value) != B_OK)
			return std::nullopt;
		return value;
	}
	std::string attribute = "user." + name;
	char buffer[65536];
	ssize_t size = getxattr(path.c_str(), attribute.c_str(), buffer,
		sizeof(buffer));
	if (size < 0)
		return std::nullopt;
	return std::string(buffer, (size_t)size);
}


std::string
attribute_param_name(const ::testing::TestParamInfo<bool>& info)
{
	return info.param ? "Fallback" : "Xattr";
}


std::string
command_output(const std::string& command)
{
	FILE* pipe = popen(command.c_str(), "r");
	if (pipe == nullptr)
		return "";
	std::string output;
	char buffer[4096];
	size_t count;
	while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
		output.append(buffer, count);
	pclose(pipe);
	return output;
}
