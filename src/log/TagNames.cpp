#include "TagNames.h"

#include <cstdlib>
#include <fstream>


std::string
TagListPath()
{
	const char* config = getenv("XDG_CONFIG_HOME");
	if (config != nullptr && config[0] == '/')
		return std::string(config) + "/RDX/tags";
	const char* home = getenv("HOME");
	if (home == nullptr || home[0] == '\0')
		return std::string();
	return std::string(home) + "/.config/RDX/tags";
}


std::string
upper_case(const std::string& text)
{
	std::string upper = text;
	for (char& c : upper) {
		if (c >= 'a' && c <= 'z')
			c = (char)(c - 'a' + 'A');
	}
	return upper;
}


static std::string
trimmed(const std::string& text)
{
	const char* blanks = " \t\r";
	size_t start = text.find_first_not_of(blanks);
	if (start == std::string::npos)
		return std::string();
	size_t end = text.find_last_not_of(blanks);
	return text.substr(start, end - start + 1);
}


void
TagNames::Load(const std::string& path)
{
	fNames.clear();
	std::ifstream in(path);
	for (std::string line; std::getline(in, line);) {
		size_t hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		// The rules after a '|' are no part of the name.
		size_t bar = line.find('|');
		if (bar != std::string::npos)
			line.erase(bar);
		line = trimmed(line);
		if (line.empty())
			continue;
		size_t blank = line.find_first_of(" \t");
		std::string tag = line.substr(0, blank);
		std::string name = blank == std::string::npos ? std::string()
			: trimmed(line.substr(blank));
		fNames[upper_case(tag)] = name;
	}
}


std::string
TagNames::NameOf(const std::string& tag) const
{
	auto found = fNames.find(upper_case(tag));
	return found != fNames.end() ? found->second : std::string();
}
