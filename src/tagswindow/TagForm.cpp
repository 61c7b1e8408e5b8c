#include "TagForm.h"

#include <LocalTime.h>
#include <RuleText.h>
#include <TagFile.h>
#include <TagLine.h>
#include <TagListEditor.h>
#include <WeeklyHours.h>

#include <Locale.h>

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


bool
starts_with(const std::string& text, const char* prefix)
{
	return text.compare(0, strlen(prefix), prefix) == 0;
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
	if (!line.HasRules())
		return form;
	size_t row = 0;
	for (const std::string& item : items_of(line.RulesText(), ';')) {
		if (item == "off" && form.when != kNamedSet) {
			form.when = kOff;
		} else if (starts_with(item, "from ") && form.validFrom.empty()) {
			form.validFrom = ShownDate(trimmed(item.substr(5)));
		} else if (starts_with(item, "until ") && form.validUntil.empty()) {
			form.validUntil = ShownDate(trimmed(item.substr(6)));
		} else if (item[0] == '@' && form.when == kAlways) {
			form.when = kNamedSet;
			form.namedSet = item.substr(1);
		} else if (item[0] != '@' && (form.when == kAlways
				|| form.when == kHours)) {
			// "Mo-Fr 08:00-12:00 13:00-17:00, Sa 09:00-13:00": a row for
			// every window, as long as there are rows.
			std::vector<HoursRow> found;
			for (const std::string& group : items_of(item, ',')) {
				size_t blank = group.find_first_of(" \t");
				std::string days = group.substr(0, blank);
				for (const std::string& window : items_of(blank
						== std::string::npos ? "" : group.substr(blank), ' ')) {
					size_t dash = window.find('-');
					found.push_back({days, window.substr(0, dash),
						dash == std::string::npos ? ""
							: window.substr(dash + 1)});
				}
			}
			if (row + found.size() > form.rows.size()) {
				form.otherRules.push_back(item);
				continue;
			}
			for (const HoursRow& hours : found)
				form.rows[row++] = hours;
			form.when = kHours;
		} else
			form.otherRules.push_back(item);
	}
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
TagForm::Rules(std::string* rules, std::string* problem) const
{
	std::vector<std::string> items;
	if (when == kOff)
		items.push_back("off");
	else if (when == kNamedSet) {
		std::string set = trimmed(namedSet);
		if (!set.empty() && set[0] == '@')
			set.erase(0, 1);
		if (set.empty()) {
			*problem = be_locale->GetString("hours: choose a named set");
			return false;
		}
		items.push_back("@" + set);
	} else if (when == kHours) {
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
			if (days.empty() || from.empty() || to.empty()
				|| !WeeklyHours::Parse(group, &hours, &why)) {
				*problem = be_locale->GetString("hours, row ")
					+ std::to_string(i + 1) + ": "
					+ (why.empty() ? std::string(be_locale->GetString(
					"days, from and to")) : why);
				return false;
			}
			groups += (groups.empty() ? "" : ", ") + group;
		}
		if (groups.empty()) {
			*problem = be_locale->GetString(
			"hours: at least one row of days and times");
			return false;
		}
		items.push_back(groups);
	}

	std::string from, until;
	if (!trimmed(validFrom).empty() && !ListDate(validFrom, &from)) {
		*problem = be_locale->GetString(
			"valid from: not a date (31.03.2027 or 2027-03-31)");
		return false;
	}
	if (!trimmed(validUntil).empty() && !ListDate(validUntil, &until)) {
		*problem = be_locale->GetString(
			"valid until: not a date (31.03.2027 or 2027-03-31)");
		return false;
	}
	if (!from.empty() && !until.empty()) {
		LocalTime start, end;
		LocalTime::ParseWritten(from, &start);
		LocalTime::ParseWritten(until, &end);
		if (start.Key() > end.Key()) {
			*problem = be_locale->GetString("valid from: after valid until");
			return false;
		}
	}
	if (!from.empty())
		items.push_back("from " + from);
	if (!until.empty())
		items.push_back("until " + until);
	items.insert(items.end(), otherRules.begin(), otherRules.end());

	rules->clear();
	for (const std::string& item : items)
		*rules += (rules->empty() ? "" : " ; ") + item;
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
when_in_words(const TagFile& file, const TagLine& line)
{
	const std::string& refusal = file.RefusalOf(line);
	if (!refusal.empty())
		return std::string(be_locale->GetString("never")) + ": " + refusal;
	if (!line.HasRules() || line.RulesText().empty())
		return be_locale->GetString("always");
	std::string words;
	for (const std::string& item : items_of(line.RulesText(), ';')) {
		std::string word = item;
		if (item == "off")
			word = be_locale->GetString("off");
		else if (starts_with(item, "from "))
			word = std::string(be_locale->GetString("from")) + " "
				+ TagForm::ShownDate(trimmed(item.substr(5)));
		else if (starts_with(item, "until "))
			word = std::string(be_locale->GetString("until")) + " "
				+ TagForm::ShownDate(trimmed(item.substr(6)));
		words += (words.empty() ? "" : ", ") + word;
	}
	return words;
}
