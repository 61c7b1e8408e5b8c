#include "TagLine.h"

#include "TagList.h"

#include <cctype>

namespace {

const char* const kBlanks = " \t\r\v\f";


std::string
trimmed(const std::string& text)
{
	size_t start = text.find_first_not_of(kBlanks);
	if (start == std::string::npos)
		return std::string();
	return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

}	// namespace


TagLine
TagLine::Parse(int number, const std::string& text)
{
	TagLine line;
	line.fNumber = number;
	line.fText = text;

	std::string content = text;
	size_t hash = content.find('#');
	if (hash != std::string::npos)
		content.erase(hash);
	content = trimmed(content);
	if (content.empty()) {
		line.fKind = hash != std::string::npos ? kComment : kBlank;
		return line;
	}

	if (content[0] == '@') {
		line.fKind = kHours;
		size_t equals = content.find('=');
		line.fHoursName = trimmed(content.substr(1, equals == std::string::npos
			? std::string::npos : equals - 1));
		TagRules probe;
		std::string why;
		if (equals == std::string::npos) {
			line.fProblem = "a set of hours needs '=' and its hours"
				" (@name = Mo-Fr 07:00-19:00)";
		} else if (!TagRules::Parse("@" + line.fHoursName, &probe, &why)
			|| line.fHoursName.empty()) {
			line.fProblem = "\"@" + line.fHoursName + "\" is not a name (@"
				" then letters, digits, '-' or '_')";
		} else if (!WeeklyHours::Parse(content.substr(equals + 1),
				&line.fHours, &why)) {
			line.fProblem = "@" + line.fHoursName + ": " + why;
		}
		return line;
	}

	size_t bar = content.find('|');
	std::string head = trimmed(content.substr(0, bar));
	if (head.empty()) {
		line.fKind = kMalformed;
		line.fProblem = "no tag before the '|'";
		return line;
	}
	line.fKind = kTag;
	size_t blank = head.find_first_of(kBlanks);
	line.fTag = TagList::Normalized(head.substr(0, blank));
	if (blank != std::string::npos)
		line.fName = trimmed(head.substr(blank));
	if (bar == std::string::npos)
		return line;

	line.fHasRules = true;
	line.fRulesText = trimmed(content.substr(bar + 1));
	std::string why;
	if (!TagRules::Parse(line.fRulesText, &line.fRules, &why))
		line.fProblem = why;
	return line;
}


std::string
TagLine::Compose(const std::string& tag, const std::string& name,
	const std::string& rules)
{
	std::string shownName = name;
	for (char& c : shownName) {
		// A name must not end the line, start a comment or the rules.
		if ((unsigned char)c < 0x20 || c == 0x7f || c == '#' || c == '|')
			c = ' ';
	}
	std::string text = TagList::Normalized(tag);
	shownName = trimmed(shownName);
	if (!shownName.empty())
		text += " " + shownName;
	std::string shownRules = rules;
	for (char& c : shownRules) {
		if ((unsigned char)c < 0x20 || c == 0x7f || c == '#')
			c = ' ';
	}
	shownRules = trimmed(shownRules);
	if (!shownRules.empty())
		text += " | " + shownRules;
	return text;
}


bool
TagLine::IsWritableTag(const std::string& tag)
{
	if (tag.empty() || tag.size() > 64 || tag[0] == '@')
		return false;
	for (char c : tag) {
		if ((unsigned char)c <= 0x20 || c == 0x7f || c == '#' || c == '|')
			return false;
	}
	return true;
}
