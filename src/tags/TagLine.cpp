#include "TagLine.h"

#include "RuleText.h"
#include "TagKey.h"

#include <Locale.h>

#include <cstdio>

namespace {

using namespace rule_text;


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


bool
is_control(char c)
{
	return ((unsigned char)c < 0x20 && c != '\t') || c == 0x7f;
}


// Why a control character makes the line unreadable; empty when it holds
// none. A carriage return at its end was taken off before.
std::string
control_problem(std::string_view line)
{
	for (char c : line) {
		if (!is_control(c))
			continue;
		char code[8];
		snprintf(code, sizeof(code), "0x%02X", (unsigned)(unsigned char)c);
		return translate_format("a control character (%s) on the line: only"
			" spaces and tabs may stand between its words", code);
	}
	return std::string();
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
	// One carriage return at the end is another system's line end.
	if (!all.empty() && all.back() == '\r')
		all.remove_suffix(1);

	size_t start = first_non_blank(all);
	if (start == std::string_view::npos)
		return line;
	std::string control = control_problem(all);
	if (all[start] == '#') {
		line.fKind = kComment;
		if (!control.empty()) {
			line.fKind = kMalformed;
			line._Detail().problem = control;
		}
		return line;
	}
	if (all[start] == '@') {
		line._ParseHours(all, start, control);
		return line;
	}

	// TAG [NAME] [| RULES] [# COMMENT]
	size_t tagEnd = start;
	while (tagEnd < all.size() && !is_blank(all[tagEnd]) && all[tagEnd] != '|'
		&& all[tagEnd] != '#')
		tagEnd++;
	if (tagEnd == start) {
		line.fKind = kMalformed;
		line._Detail().problem = B_TRANSLATE("no tag before the '|'");
		return line;
	}
	line.fKind = kTag;
	line.fTagAt = (uint32)start;
	line.fTagLength = (uint32)(tagEnd - start);
	size_t comment = all.find('#', tagEnd);
	size_t bar = all.find('|', tagEnd);
	bool rulesBar = bar != std::string_view::npos && bar < comment;
	std::string_view name = trimmed(all.substr(tagEnd,
		(rulesBar ? bar : comment) - tagEnd));
	line.fNameAt = offset_in(line.fText, name);
	line.fNameLength = (uint32)name.size();
	std::string_view rules;
	if (rulesBar) {
		line.fHasRules = true;
		size_t end = comment == std::string_view::npos ? all.size() : comment;
		rules = trimmed(all.substr(bar + 1, end - bar - 1));
		line.fRulesAt = rules.empty() ? (uint32)(bar + 1)
			: offset_in(line.fText, rules);
		line.fRulesLength = (uint32)rules.size();
	}

	std::string why;
	if (!control.empty())
		why = control;
	else if (tagEnd - start > 64)
		why = B_TRANSLATE("a tag is at most 64 characters long");
	else if (bar != std::string_view::npos && !rulesBar) {
		why = B_TRANSLATE("a '|' after the '#' reads two ways (rules hidden"
			" in a comment, or a comment meant as rules?): put the comment"
			" last, TAG NAME | RULES # COMMENT");
	} else if (rulesBar && all.find('|', bar + 1) != std::string_view::npos) {
		why = B_TRANSLATE("a second '|' reads two ways: a line has one '|'"
			" before its rules, whose items are separated by ';'");
	} else if (rulesBar)
		TagRules::Parse(rules, nullptr, &why);
	if (!why.empty())
		line._Detail().problem = why;
	return line;
}


void
TagLine::_ParseHours(std::string_view all, size_t start,
	const std::string& control)
{
	// @NAME = HOURS [# COMMENT]: the name is what can be read after the
	// '@', and a line with it is that set's definition even when the rest
	// cannot be read.
	size_t nameEnd = start + 1;
	while (nameEnd < all.size() && TagRules::IsHoursNameCharacter(all[nameEnd]))
		nameEnd++;
	std::string_view name = all.substr(start + 1, nameEnd - start - 1);
	Detail& detail = _Detail();
	if (name.empty()) {
		fKind = kMalformed;
		detail.problem = B_TRANSLATE("no name after the '@' (@name = Mo-Fr"
			" 07:00-19:00)");
		return;
	}
	fKind = kHours;
	detail.hoursName = std::string(name);
	size_t comment = all.find('#', nameEnd);
	std::string_view rest = all.substr(nameEnd, comment == std::string_view::npos
		? std::string_view::npos : comment - nameEnd);
	size_t equals = first_non_blank(rest);
	std::string why;
	if (!control.empty())
		detail.problem = control;
	else if (name.size() > 64) {
		detail.problem = B_TRANSLATE("the name of a set of hours is at most"
			" 64 characters long");
	} else if (all.find('|') != std::string_view::npos) {
		detail.problem = translate_format("@%s: a set of hours holds no '|'"
			" (not even in its comment)", detail.hoursName.c_str());
	} else if (equals == std::string_view::npos || rest[equals] != '=') {
		detail.problem = translate_format("@%s: a set of hours needs '=' and"
			" its hours (@%s = Mo-Fr 07:00-19:00)", detail.hoursName.c_str(),
			detail.hoursName.c_str());
	} else if (!WeeklyHours::Parse(trimmed(rest.substr(equals + 1)),
			&detail.hours, &why)) {
		detail.problem = "@" + detail.hoursName + ": " + why;
	}
}


std::string
TagLine::Problem() const
{
	return fDetail != nullptr ? fDetail->problem : std::string();
}


std::string
TagLine::Tag() const
{
	return TagKey::Normalized(TagText());
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
	std::string text = TagKey::Normalized(tag);
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
