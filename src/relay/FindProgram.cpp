#include "FindProgram.h"

#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>


static std::string
DefaultPath()
{
	size_t size = confstr(_CS_PATH, nullptr, 0);
	if (size == 0)
		return "/bin:/usr/bin";
	std::string path(size, '\0');
	confstr(_CS_PATH, path.data(), size);
	path.resize(size - 1);
	return path;
}


std::string
FindProgram(const char* name)
{
	if (name == nullptr || name[0] == '\0')
		return std::string();
	// A name with a slash is not looked up, as with the shell.
	if (std::string_view(name).find('/') != std::string_view::npos)
		return access(name, X_OK) == 0 ? std::string(name) : std::string();

	const char* variable = getenv("PATH");
	std::string path = variable != nullptr ? variable : DefaultPath();

	size_t start = 0;
	for (;;) {
		size_t end = path.find(':', start);
		std::string_view directory = std::string_view(path).substr(start,
			end == std::string::npos ? std::string::npos : end - start);
		// An empty entry means the current directory.
		std::string candidate(directory.empty() ? "." : directory);
		candidate += '/';
		candidate += name;
		struct stat info;
		if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)
			&& access(candidate.c_str(), X_OK) == 0) {
			return candidate;
		}
		if (end == std::string::npos)
			break;
		start = end + 1;
	}
	return std::string();
}
