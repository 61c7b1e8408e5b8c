#include "TagRules.h"

#include <cctype>

namespace {

const char* const kBlanks = " \t";


std::string
trimmed(const std::string& text)
{
	size_t start = text.find_first_not_of(kBlanks);
	if (start == std::string::npos)
		return std::string();
	return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}


std::string
lower(std::string text)
{
	for (char& c : text)
		c = (char)tolower((unsigned char)c);
	return text;
}


bool
is_name(const std::string& name)
{
	if (name.empty() || name.size() > 64)
		return false;
	for (char c : name) {
		if (!isalnum((unsigned char)c) && c != '_' && c != '-')
			return false;
	}
	return true;
}

}	// namespace


bool
TagRules::Parse(const std::string& text, TagRules* rules,
	std::string* problem)
{
	*rules = TagRules();
	if (trimmed(text).empty()) {
		*problem = "no rule after the '|'";
		return false;
	}
	size_t start = 0;
	for (;;) {
		size_t semicolon = text.find(';', start);
		std::string item = trimmed(text.substr(start,
			semicolon == std::string::npos ? std::string::npos
				: semicolon - start));
		size_t blank = item.find_first_of(kBlanks);
		std::string word = lower(item.substr(0, blank));
		std::string rest = blank == std::string::npos ? std::string()
			: trimmed(item.substr(blank));

		if (item.empty()) {
			*problem = "an empty rule between ';'";
			return false;
		}
		if (word == "off" && rest.empty())
			rules->fOff = true;
		else if (word == "from" || word == "until") {
			bool until = word == "until";
			LocalTime time;
			bool hasTime = false;
			if (!LocalTime::ParseWritten(rest, &time, &hasTime)) {
				*problem = "\"" + item + "\": " + word + " takes a date"
					" (2026-12-18) or a date and time (2026-12-18 17:00)";
				return false;
			}
			int64& bound = until ? rules->fUntil : rules->fFrom;
			if (bound >= 0) {
				*problem = "\"" + word + "\" is given twice";
				return false;
			}
			// A date alone: from its start, until its end.
			bound = time.Key() + (until && !hasTime ? 1440 : 0);
		} else if (item[0] == '@') {
			std::string name = item.substr(1);
			if (!is_name(name)) {
				*problem = "\"" + item + "\" is not the name of a set of"
					" hours (@ then letters, digits, '-' or '_')";
				return false;
			}
			rules->fNames.push_back(name);
		} else {
			WeeklyHours hours;
			std::string why;
			if (!WeeklyHours::Parse(item, &hours, &why)) {
				*problem = "cannot read \"" + item + "\": " + why;
				return false;
			}
			rules->fHours.push_back(std::move(hours));
		}
		if (semicolon == std::string::npos)
			break;
		start = semicolon + 1;
	}
	if (rules->HasFrom() && rules->HasUntil()
		&& rules->fUntil <= rules->fFrom) {
		*problem = "\"until\" is not after \"from\": it would never let the"
			" tag in";
		return false;
	}
	return true;
}
