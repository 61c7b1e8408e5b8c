#include "ConfigText.h"

#include <cctype>
#include <cstring>


std::string
ConfigText::Trim(const std::string& text)
{
	size_t start = text.find_first_not_of(" \t\r");
	if (start == std::string::npos)
		return std::string();
	size_t end = text.find_last_not_of(" \t\r");
	return text.substr(start, end - start + 1);
}


bool
ConfigText::IsPlainName(const std::string& name)
{
	if (name.empty() || name.size() > 64)
		return false;
	for (char c : name) {
		if (!isalnum((unsigned char)c) && strchr("-_.", c) == nullptr)
			return false;
	}
	return true;
}
