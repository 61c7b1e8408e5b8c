#include "PathNames.h"


std::string
PathNames::Joined(const std::string& directory, const std::string& name)
{
	return directory == "/" ? "/" + name : directory + "/" + name;
}


void
PathNames::Push(const std::string& path, std::vector<std::string>* pending)
{
	std::vector<std::string> names;
	size_t start = 0;
	while (start <= path.size()) {
		size_t slash = path.find('/', start);
		if (slash == std::string::npos)
			slash = path.size();
		if (slash > start)
			names.push_back(path.substr(start, slash - start));
		start = slash + 1;
	}
	pending->insert(pending->end(), names.rbegin(), names.rend());
}
