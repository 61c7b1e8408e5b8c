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


// Neither a blank nor a printable ASCII character: a control character, or
// a byte of a character outside ASCII. Tags and set names are ASCII, and
// only blanks stand around them; a no-break space that looks like a blank,
// or a letter that looks like one of a tag, would make the line read as
// something else than it shows.
bool
is_stray(char c)
{
	return !is_blank(c) && ((unsigned char)c <= 0x20 || (unsigned char)c >= 0x7f);
}


// Windows editors begin a file with a byte order mark, and a list put
// together from such files has one at the start of a line.
const std::string_view kByteOrderMark = "\xEF\xBB\xBF";


// Characters that look like a '|', as an input method or a word processor
// puts them in place of one: a line that holds one might mean rules where
// it shows none.
const std::string_view kBarLookalikes[] = {
	"\xC2\xA6",			// U+00A6 broken bar
	"\xC7\x80",			// U+01C0 dental click
	"\xD7\x80",			// U+05C0 paseq
	"\xE2\x88\xA3",		// U+2223 divides
	"\xE2\x94\x82",		// U+2502 box drawings light vertical
	"\xE2\x9D\x98",		// U+2758 light vertical bar
	"\xEF\xBD\x9C",		// U+FF5C fullwidth vertical line
	"\xEF\xBF\xA8",		// U+FFE8 halfwidth forms light vertical
};


// The first character on the line that looks like a '|'; empty for none.
std::string_view
bar_lookalike(std::string_view line)
{
	for (size_t i = 0; i < line.size(); i++) {
		if ((unsigned char)line[i] < 0xC2)
			continue;
		for (std::string_view lookalike : kBarLookalikes) {
			if (line.compare(i, lookalike.size(), lookalike) == 0)
				return line.substr(i, lookalike.size());
		}
	}
	return std::string_view();
}


// Why a byte that is neither a blank nor ASCII by the first word makes the
// line unreadable.
std::string
stray_problem(char c)
{
	char code[8];
	snprintf(code, sizeof(code), "0x%02X", (unsigned)(unsigned char)c);
	return translate_format("a character that is not a blank (%s: a no-break"
		" space, a letter outside ASCII?) stands by the first word: tags and"
		" names of sets are ASCII, and only spaces and tabs stand around them",
		code);
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
	// A byte order mark is the start of another system's file, not part
	// of the line; skipped, so that every index stays one into the text.
	size_t from = all.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0
		? kByteOrderMark.size() : 0;

	size_t start = first_non_blank(all, from);
	if (start == std::string_view::npos)
		return line;
	std::string problem = control_problem(all.substr(from));
	// What stands before the first ASCII character is read past, and the
	// line cannot be read: "\xC2\xA00001 | off" might be 0001's line.
	size_t first = start;
	while (first < all.size() && (is_blank(all[first]) || is_stray(all[first])))
		first++;
	if (first == all.size()) {
		line.fKind = kMalformed;
		line._Detail().problem = !problem.empty() ? problem
			: stray_problem(all[start]);
		return line;
	}
	if (problem.empty() && first != start)
		problem = stray_problem(all[start]);
	if (all[first] == '#') {
		line.fKind = kComment;
		if (!problem.empty()) {
			line.fKind = kMalformed;
			line._Detail().problem = problem;
		}
		return line;
	}
	if (all[first] == '@') {
		line._ParseHours(all, first, problem);
		return line;
	}

	// TAG [NAME] [| RULES] [# COMMENT]; the tag is printable ASCII, and
	// ends at anything else.
	size_t tagEnd = first;
	while (tagEnd < all.size() && !is_blank(all[tagEnd])
		&& !is_stray(all[tagEnd]) && all[tagEnd] != '|' && all[tagEnd] != '#')
		tagEnd++;
	if (tagEnd == first) {
		line.fKind = kMalformed;
		line._Detail().problem = !problem.empty() ? problem
			: B_TRANSLATE("no tag before the '|'");
		return line;
	}
	if (problem.empty() && tagEnd < all.size() && is_stray(all[tagEnd]))
		problem = stray_problem(all[tagEnd]);
	line.fKind = kTag;
	line.fTagAt = (uint32)first;
	line.fTagLength = (uint32)(tagEnd - first);
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
	std::string_view lookalike = bar_lookalike(all);
	if (!problem.empty())
		why = problem;
	else if (tagEnd - first > 64)
		why = B_TRANSLATE("a tag is at most 64 characters long");
	else if (!lookalike.empty()) {
		why = translate_format("\"%s\" looks like a '|' and reads two ways"
			" (rules, or a part of the name or comment?): write '|' before"
			" the rules, and nothing like it elsewhere on the line",
			std::string(lookalike).c_str());
	} else if (bar != std::string_view::npos && !rulesBar) {
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
	const std::string& problem)
{
	// @NAME = HOURS [# COMMENT]: the name is what can be read after the
	// '@', and a line with it is that set's definition even when the rest
	// cannot be read. Blanks (or what looks like them) between the '@' and
	// the name do not make it another line: "@ crew = ..." is still crew's
	// first line, which a later "@crew = ..." must not stand in for.
	size_t nameStart = start + 1;
	while (nameStart < all.size() && (is_blank(all[nameStart])
			|| is_stray(all[nameStart])))
		nameStart++;
	size_t nameEnd = nameStart;
	while (nameEnd < all.size() && TagRules::IsHoursNameCharacter(all[nameEnd]))
		nameEnd++;
	std::string_view name = all.substr(nameStart, nameEnd - nameStart);
	Detail& detail = _Detail();
	if (name.empty()) {
		fKind = kMalformed;
		detail.problem = !problem.empty() ? problem
			: B_TRANSLATE("no name after the '@' (@name = Mo-Fr 07:00-19:00)");
		return;
	}
	fKind = kHours;
	detail.hoursName = std::string(name);
	size_t comment = all.find('#', nameEnd);
	std::string_view rest = all.substr(nameEnd, comment == std::string_view::npos
		? std::string_view::npos : comment - nameEnd);
	size_t equals = first_non_blank(rest);
	std::string why;
	if (!problem.empty())
		detail.problem = problem;
	else if (nameStart != start + 1) {
		detail.problem = translate_format("@%s: nothing may stand between the"
			" '@' and the name (@%s = Mo-Fr 07:00-19:00)",
			detail.hoursName.c_str(), detail.hoursName.c_str());
	} else if (name.size() > 64) {
		detail.problem = B_TRANSLATE("the name of a set of hours is at most"
			" 64 characters long");
	} else if (all.find('|') != std::string_view::npos
		|| !bar_lookalike(all).empty()) {
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
		if (is_blank(c) || is_stray(c) || c == '#' || c == '|')
			return false;
	}
	return true;
}
