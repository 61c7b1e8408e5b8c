#include "TagForm.h"

#include <LocalTime.h>
#include <RuleText.h>
#include <TagFile.h>
#include <TagLine.h>
#include <TagListEditor.h>
#include <TagRules.h>
#include <WeeklyHours.h>

#include <Locale.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string
trimmed(const std::string& text)
{
	return std::string(rule_text::trimmed(text));
}


// The items of a line's rules, which the list's own parse has accepted:
// they are separated by ';'.
std::vector<std::string>
items_of(const std::string& rules, char separator)
{
	std::vector<std::string> items;
	size_t start = 0;
	for (;;) {
		size_t end = rules.find(separator, start);
		std::string item = trimmed(rules.substr(start, end == std::string::npos
			? std::string::npos : end - start));
		if (!item.empty())
			items.push_back(item);
		if (end == std::string::npos)
			return items;
		start = end + 1;
	}
}


// The words of a text between blanks (spaces and tabs, as the list has
// them).
std::vector<std::string>
words_of(const std::string& text)
{
	std::vector<std::string> words;
	size_t at = 0;
	while ((at = rule_text::first_non_blank(text, at)) != std::string::npos) {
		size_t end = rule_text::first_blank(text, at);
		words.push_back(text.substr(at, end == std::string::npos
			? std::string::npos : end - at));
		at = end;
	}
	return words;
}


// The first word of an item in lower case: the list reads "OFF" and "From"
// as "off" and "from".
std::string
first_word(const std::string& item)
{
	std::string word = item.substr(0, rule_text::first_blank(item));
	for (char& c : word)
		c = rule_text::ascii_lower(c);
	return word;
}


// What follows the first word of an item.
std::string
after_first_word(const std::string& item)
{
	size_t blank = rule_text::first_blank(item);
	return blank == std::string::npos ? std::string()
		: trimmed(item.substr(blank));
}


// The rows for one item of weekly hours ("Mo-Fr 08:00-12:00 13:00-17:00,
// Sa 09:00-13:00"): one per window. False when there are more windows
// than rows.
bool
rows_of(const std::string& hours, std::vector<TagForm::HoursRow>* rows)
{
	rows->assign(TagForm::kRows, TagForm::HoursRow());
	size_t count = 0;
	for (const std::string& group : items_of(hours, ',')) {
		std::vector<std::string> words = words_of(group);
		for (size_t i = 1; i < words.size(); i++) {
			if (count >= rows->size())
				return false;
			size_t dash = words[i].find('-');
			(*rows)[count++] = {words[0], words[i].substr(0, dash),
				dash == std::string::npos ? "" : words[i].substr(dash + 1)};
		}
	}
	return count > 0;
}


bool
any_contains(const std::vector<WeeklyHours>& hours, const LocalTime& time)
{
	for (const WeeklyHours& item : hours) {
		if (item.Contains(time))
			return true;
	}
	return false;
}


// Whether two texts of rules let a tag in at exactly the same times: the
// same "off", dates and named sets, and weekly hours that hold at the same
// minutes of every day of the week. The form shows a line in its fields
// only when what they make again passes this.
bool
same_rules(const std::string& a, const std::string& b)
{
	TagRules left, right;
	std::string why;
	if (!TagRules::Parse(a, &left, &why) || !TagRules::Parse(b, &right, &why))
		return false;
	std::vector<std::string> leftNames = left.HoursNames();
	std::vector<std::string> rightNames = right.HoursNames();
	std::sort(leftNames.begin(), leftNames.end());
	std::sort(rightNames.begin(), rightNames.end());
	if (left.PinHash() != right.PinHash()
		|| left.PinRules().size() != right.PinRules().size())
		return false;
	for (size_t i = 0; i < left.PinRules().size(); i++) {
		const TagRules::PinRule& a = left.PinRules()[i];
		const TagRules::PinRule& b = right.PinRules()[i];
		if (a.when != b.when || a.name != b.name
			|| a.hours.CountWindows() != b.hours.CountWindows())
			return false;
		for (int minute = 0; minute < 7 * 1440; minute++) {
			LocalTime time(2027, 1, 4 + minute / 1440, minute % 1440);
			if (a.hours.Contains(time) != b.hours.Contains(time))
				return false;
		}
	}
	if (left.IsOff() != right.IsOff() || left.From() != right.From()
		|| left.Until() != right.Until() || leftNames != rightNames
		|| left.Hours().empty() != right.Hours().empty())
		return false;
	// 4 January 2027 is a Monday: its week has every day once.
	for (int day = 0; day < 7; day++) {
		for (int minute = 0; minute < 1440; minute++) {
			LocalTime time(2027, 1, 4 + day, minute);
			if (any_contains(left.Hours(), time)
				!= any_contains(right.Hours(), time))
				return false;
		}
	}
	return true;
}

}	// namespace


TagForm::TagForm()
	:
	rows(kRows)
{
}


TagForm
TagForm::FromLine(const TagLine& line)
{
	TagForm form;
	form.tag = line.Tag();
	form.name = line.Name();
	// "0055 Flat #4 | Mo-Fr 08:00-17:00" has no rules as the list reads
	// it, and lets its tag in never: not "always", which a save would make
	// true.
	form.unreadable = line.Problem();
	if (!line.HasRules() && form.unreadable.empty())
		return form;
	// Shown as written, whole, unless the fields can say exactly the same:
	// the form never keeps anything it does not show.
	std::string rules = line.RulesText();
	form.when = kWritten;
	form.written = rules;
	std::string why;
	if (!form.unreadable.empty() || !TagRules::Parse(rules, nullptr, &why))
		return form;

	TagForm fitted = form;
	std::vector<std::string> rest, hours, names, pins;
	int offs = 0;
	for (const std::string& item : items_of(rules, ';')) {
		std::string word = first_word(item);
		if (word == "pinhash")
			fitted.pinHash = after_first_word(item);
		else if (word == "pin")
			pins.push_back(item);
		else if (word == "from")
			fitted.validFrom = ShownDate(after_first_word(item));
		else if (word == "until")
			fitted.validUntil = ShownDate(after_first_word(item));
		else {
			rest.push_back(item);
			if (word == "off")
				offs++;
			else if (item[0] == '@')
				names.push_back(item.substr(1));
			else
				hours.push_back(item);
		}
	}
	// One "pin" item of the plain kinds has its own fields; more are shown
	// as written with the rest.
	std::vector<std::string> pinWords = pins.size() == 1
		? words_of(pins[0]) : std::vector<std::string>();
	for (std::string& word : pinWords) {
		if (word[0] != '@')
			word = first_word(word);
	}
	if (pins.empty())
		fitted.pinWhen = kNoPin;
	else if (pinWords.size() == 1)
		fitted.pinWhen = kPinAlways;
	else if (pinWords.size() == 2 && pinWords[1][0] == '@') {
		fitted.pinWhen = kPinInSet;
		fitted.pinSet = pinWords[1].substr(1);
	} else if (pinWords.size() == 3 && pinWords[1] == "outside"
		&& pinWords[2][0] == '@') {
		fitted.pinWhen = kPinOutsideSet;
		fitted.pinSet = pinWords[2].substr(1);
	} else {
		fitted.pinWhen = kPinWritten;
		rest.insert(rest.end(), pins.begin(), pins.end());
	}
	fitted.written.clear();
	if (rest.empty())
		fitted.when = kAlways;
	else if (offs == 1 && rest.size() == 1)
		fitted.when = kOff;
	else if (names.size() == 1 && rest.size() == 1) {
		fitted.when = kNamedSet;
		fitted.namedSet = names[0];
	} else if (hours.size() == 1 && rest.size() == 1
		&& rows_of(hours[0], &fitted.rows))
		fitted.when = kHours;
	else {
		fitted.rows.assign(kRows, HoursRow());
		for (const std::string& item : rest)
			fitted.written += (fitted.written.empty() ? "" : " ; ") + item;
	}
	std::string again;
	if (fitted.Rules(&again, &why) && same_rules(again, rules))
		return fitted;
	return form;
}


TagForm
TagForm::FromHours(const std::string& hours)
{
	TagForm form;
	form.when = kWritten;
	form.written = trimmed(hours);
	TagForm fitted;
	fitted.when = kHours;
	std::string again, why;
	if (rows_of(form.written, &fitted.rows) && fitted.Hours(&again, &why)
		&& same_rules(again, form.written))
		return fitted;
	return form;
}


bool
TagForm::ListDate(const std::string& text, std::string* date)
{
	std::string written = trimmed(text);
	int day, month, year, used = 0;
	// "31.03.2027" and what follows it.
	if (sscanf(written.c_str(), "%2d.%2d.%4d%n", &day, &month, &year, &used)
			== 3 && used >= 8) {
		char iso[16];
		snprintf(iso, sizeof(iso), "%04d-%02d-%02d", year, month, day);
		written = iso + written.substr((size_t)used);
	}
	LocalTime time;
	if (!LocalTime::ParseWritten(written, &time))
		return false;
	*date = written;
	return true;
}


std::string
TagForm::ShownDate(const std::string& date)
{
	int year, month, day, used = 0;
	if (sscanf(date.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3
		|| used != 10)
		return date;
	char shown[16];
	snprintf(shown, sizeof(shown), "%02d.%02d.%04d", day, month, year);
	return shown + date.substr(10);
}


bool
TagForm::_WhenItems(std::vector<std::string>* items,
	std::string* problem) const
{
	switch (when) {
		case kAlways:
			return true;
		case kOff:
			items->push_back("off");
			return true;
		case kNamedSet:
		{
			std::string set = trimmed(namedSet);
			if (!set.empty() && set[0] == '@')
				set.erase(0, 1);
			if (set.empty()) {
				*problem = B_TRANSLATE("hours: choose a named set");
				return false;
			}
			// One name: more rules in this field would be saved without
			// being shown as rules.
			if (!TagRules::IsHoursName(set)) {
				*problem = B_TRANSLATE("named set: one name of letters, digits,"
					" '-' or '_'");
				return false;
			}
			items->push_back("@" + set);
			return true;
		}
		case kWritten:
		{
			std::string rules = trimmed(written);
			std::string why;
			if (rules.empty()) {
				*problem = B_TRANSLATE("as written: no rules (choose always"
					" for a tag that may open at any time)");
				return false;
			}
			if (!TagRules::Parse(rules, nullptr, &why)) {
				*problem = std::string(B_TRANSLATE("as written")) + ": "
					+ why;
				return false;
			}
			items->push_back(rules);
			return true;
		}
		case kHours:
			break;
	}

	std::string groups;
	for (size_t i = 0; i < rows.size(); i++) {
		const HoursRow& row = rows[i];
		std::string days = trimmed(row.days);
		std::string from = trimmed(row.from);
		std::string to = trimmed(row.to);
		if (days.empty() && from.empty() && to.empty())
			continue;
		std::string group = days + " " + from + "-" + to;
		WeeklyHours hours;
		std::string why;
		// A row is one window: days, from and to, each a word of its own.
		if (WeeklyHours::Parse(group, &hours, &why)
			&& hours.CountWindows() != 1) {
			why = B_TRANSLATE("one day or range of days, one time from and one"
				" to");
		}
		if (days.empty() || from.empty() || to.empty() || !why.empty()) {
			*problem = B_TRANSLATE("hours, row ")
				+ std::to_string(i + 1) + ": "
				+ (why.empty() ? std::string(B_TRANSLATE(
				"days, from and to")) : why);
			return false;
		}
		groups += (groups.empty() ? "" : ", ") + group;
	}
	if (groups.empty()) {
		*problem = B_TRANSLATE("hours: at least one row of days and times");
		return false;
	}
	items->push_back(groups);
	return true;
}


bool
TagForm::Hours(std::string* hours, std::string* problem) const
{
	if (when == kWritten) {
		std::string text = trimmed(written);
		WeeklyHours parsed;
		std::string why;
		if (!WeeklyHours::Parse(text, &parsed, &why)) {
			*problem = std::string(B_TRANSLATE("as written")) + ": " + why;
			return false;
		}
		*hours = text;
		return true;
	}
	TagForm rowsOnly;
	rowsOnly.when = kHours;
	rowsOnly.rows = rows;
	std::vector<std::string> items;
	if (!rowsOnly._WhenItems(&items, problem))
		return false;
	*hours = items.front();
	return true;
}


bool
TagForm::Rules(std::string* rules, std::string* problem) const
{
	std::vector<std::string> items;
	if (!_WhenItems(&items, problem))
		return false;

	std::string from, until;
	if (!trimmed(validFrom).empty() && !ListDate(validFrom, &from)) {
		*problem = B_TRANSLATE(
			"valid from: not a date (31.03.2027 or 2027-03-31)");
		return false;
	}
	if (!trimmed(validUntil).empty() && !ListDate(validUntil, &until)) {
		*problem = B_TRANSLATE(
			"valid until: not a date (31.03.2027 or 2027-03-31)");
		return false;
	}
	if (!from.empty() && !until.empty()) {
		LocalTime start, end;
		LocalTime::ParseWritten(from, &start);
		LocalTime::ParseWritten(until, &end);
		if (start.Key() > end.Key()) {
			*problem = B_TRANSLATE("valid from: after valid until");
			return false;
		}
	}
	if (!from.empty())
		items.push_back("from " + from);
	if (!until.empty())
		items.push_back("until " + until);

	std::string set = trimmed(pinSet);
	if (!set.empty() && set[0] == '@')
		set.erase(0, 1);
	switch (pinWhen) {
		case kNoPin:
			break;
		case kPinAlways:
			items.push_back("pin");
			break;
		case kPinInSet:
		case kPinOutsideSet:
			if (set.empty()) {
				*problem = B_TRANSLATE("PIN: choose a named set");
				return false;
			}
			items.push_back(std::string(pinWhen == kPinInSet ? "pin @"
				: "pin outside @") + set);
			break;
		case kPinWritten:
			// Its items are in the rules as written.
			if (when != kWritten) {
				*problem = B_TRANSLATE("PIN: choose when it is asked");
				return false;
			}
			break;
	}
	if (pinWhen != kNoPin) {
		if (pinHash.empty()) {
			*problem = B_TRANSLATE("PIN: type it, twice");
			return false;
		}
		items.push_back("pinhash " + pinHash);
	}

	rules->clear();
	for (const std::string& item : items)
		*rules += (rules->empty() ? "" : " ; ") + item;
	// A PIN asked but never set lets the tag in never: "never" chosen
	// while "pin" items stand in the rules as written would save one.
	TagRules parsed;
	std::string why;
	if (TagRules::Parse(*rules, &parsed, &why) && parsed.HasPinRules()
		&& !parsed.HasPinHash()) {
		*problem = B_TRANSLATE("PIN: the rules ask for one, but none is"
			" set: type it, twice, or take 'pin' out of the rules");
		return false;
	}
	return true;
}


status_t
TagForm::Apply(TagListEditor& editor, const std::string& oldTag,
	std::string* problem) const
{
	std::string rules;
	if (!Rules(&rules, problem))
		return B_BAD_VALUE;
	return editor.SetTag(oldTag, trimmed(tag), name, rules, problem);
}


std::string
hours_of(const TagLine& line)
{
	// A list saved with Windows line ends keeps its '\r', which says
	// nothing.
	std::string text = line.Text();
	if (!text.empty() && text.back() == '\r')
		text.pop_back();
	size_t equals = text.find('=');
	if (equals == std::string::npos)
		return std::string();
	size_t end = text.find('#', equals);
	return trimmed(text.substr(equals + 1, end == std::string::npos
		? std::string::npos : end - equals - 1));
}


std::string
when_in_words(const TagFile& file, const TagLine& line)
{
	const std::string& refusal = file.RefusalOf(line);
	if (!refusal.empty()) {
		// The library ends its reason with the tag that it keeps out; the
		// row says that already.
		std::string reason = refusal;
		std::string tail = translate_format("%s: %s is let in never", "",
			line.Tag().c_str());
		if (reason.size() > tail.size()
			&& reason.compare(reason.size() - tail.size(), tail.size(), tail)
				== 0)
			reason.erase(reason.size() - tail.size());
		return translate_format("never: %s (line %d)", reason.c_str(),
			line.Number());
	}
	if (!line.HasRules())
		return B_TRANSLATE("always");
	std::string words;
	for (const std::string& item : items_of(line.RulesText(), ';')) {
		std::string word = item;
		std::string first = first_word(item);
		// The PIN itself is nobody's business in a table.
		if (first == "pinhash")
			continue;
		if (first == "pin")
			word = B_TRANSLATE("PIN") + item.substr(3);
		else if (first == "off" && item.size() == 3)
			word = B_TRANSLATE("off");
		else if (first == "from")
			word = std::string(B_TRANSLATE("from")) + " "
				+ TagForm::ShownDate(after_first_word(item));
		else if (first == "until")
			word = std::string(B_TRANSLATE("until")) + " "
				+ TagForm::ShownDate(after_first_word(item));
		words += (words.empty() ? "" : ", ") + word;
	}
	return words;
}
