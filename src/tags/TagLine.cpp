#include "TagLine.h"

#include "TagList.h"

#include <Locale.h>

#include <cctype>

namespace {

// By hand: the library's find_first_of() asks memchr() for every byte.
inline bool
is_blank(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}


std::string_view
trimmed(std::string_view text)
{
	size_t start = 0;
	while (start < text.size() && is_blank(text[start]))
		start++;
	size_t end = text.size();
	while (end > start && is_blank(text[end - 1]))
		end--;
	return text.substr(start, end - start);
}


// Where the view lies in the text it was taken from.
uint32
offset_in(const std::string& text, std::string_view part)
{
	return part.empty() ? 0 : (uint32)(part.data() - text.data());
}


std::string
trimmed_copy(const std::string& text)
{
	return std::string(trimmed(text));
}

}	// namespace


TagLine::Detail&
TagLine::_Detail()
{
	if (fDetail == nullptr)
		fDetail = std::make_shared<Detail>();
	// Only Parse() writes, before the line is shared with anyone.
	return const_cast<Detail&>(*fDetail);
}


TagLine
TagLine::Parse(int number, std::string text)
{
	TagLine line;
	line.fNumber = number;
	line.fText = std::move(text);
	std::string_view all(line.fText);

	std::string_view content = all.substr(0, all.find('#'));
	content = trimmed(content);
	if (content.empty()) {
		line.fKind = all.find('#') != std::string_view::npos ? kComment
			: kBlank;
		return line;
	}

	if (content[0] == '@') {
		line.fKind = kHours;
		Detail& detail = line._Detail();
		size_t equals = content.find('=');
		std::string_view name = trimmed(content.substr(1,
			equals == std::string_view::npos ? std::string_view::npos
				: equals - 1));
		detail.hoursName = std::string(name);
		std::string why;
		if (equals == std::string_view::npos) {
			detail.problem = B_TRANSLATE("a set of hours needs '=' and its"
				" hours (@name = Mo-Fr 07:00-19:00)");
		} else if (!TagRules::IsHoursName(name)) {
			detail.problem = translate_format("\"@%s\" is not a name (@ then"
				" letters, digits, '-' or '_')", detail.hoursName.c_str());
		} else if (!WeeklyHours::Parse(content.substr(equals + 1),
				&detail.hours, &why)) {
			detail.problem = "@" + detail.hoursName + ": " + why;
		}
		return line;
	}

	size_t bar = content.find('|');
	std::string_view head = trimmed(content.substr(0, bar));
	if (head.empty()) {
		line.fKind = kMalformed;
		line._Detail().problem = B_TRANSLATE("no tag before the '|'");
		return line;
	}
	line.fKind = kTag;
	size_t blank = 0;
	while (blank < head.size() && !is_blank(head[blank]))
		blank++;
	if (blank == head.size())
		blank = std::string_view::npos;
	std::string_view tag = head.substr(0, blank);
	line.fTagAt = offset_in(line.fText, tag);
	line.fTagLength = (uint32)tag.size();
	if (blank != std::string_view::npos) {
		std::string_view name = trimmed(head.substr(blank));
		line.fNameAt = offset_in(line.fText, name);
		line.fNameLength = (uint32)name.size();
	}
	if (bar == std::string_view::npos)
		return line;

	line.fHasRules = true;
	std::string_view rules = trimmed(content.substr(bar + 1));
	line.fRulesAt = offset_in(line.fText, rules);
	line.fRulesLength = (uint32)rules.size();
	std::string why;
	if (!TagRules::Parse(rules, nullptr, &why))
		line._Detail().problem = why;
	return line;
}


std::string
TagLine::Problem() const
{
	return fDetail != nullptr ? fDetail->problem : std::string();
}


std::string
TagLine::Tag() const
{
	return TagList::Normalized(std::string(TagText()));
}


std::string
TagLine::Name() const
{
	return std::string(_Part(fNameAt, fNameLength));
}


std::string
TagLine::RulesText() const
{
	return std::string(_Part(fRulesAt, fRulesLength));
}


TagRules
TagLine::Rules() const
{
	TagRules rules;
	std::string why;
	if (fHasRules && Problem().empty())
		TagRules::Parse(_Part(fRulesAt, fRulesLength), &rules, &why);
	return rules;
}


std::string
TagLine::HoursName() const
{
	return fDetail != nullptr ? fDetail->hoursName : std::string();
}


const WeeklyHours&
TagLine::Hours() const
{
	static const WeeklyHours kNone;
	return fDetail != nullptr ? fDetail->hours : kNone;
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
	shownName = trimmed_copy(shownName);
	if (!shownName.empty())
		text += " " + shownName;
	std::string shownRules = rules;
	for (char& c : shownRules) {
		if ((unsigned char)c < 0x20 || c == 0x7f || c == '#')
			c = ' ';
	}
	shownRules = trimmed_copy(shownRules);
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
