#include "WeeklyHours.h"

#include "RuleText.h"

#include <Locale.h>

#include <cctype>

namespace {

using namespace rule_text;


std::string
quoted(std::string_view text)
{
	return "\"" + std::string(text) + "\"";
}


// Mo..Su as 0..6, the German names too; -1 for another word.
int
day_of(std::string_view word)
{
	if (word.size() != 2)
		return -1;
	char first = ascii_lower(word[0]);
	char second = ascii_lower(word[1]);
	static const char kNames[7][2][3] = {{"mo", "mo"}, {"tu", "di"},
		{"we", "mi"}, {"th", "do"}, {"fr", "fr"}, {"sa", "sa"},
		{"su", "so"}};
	for (int day = 0; day < 7; day++) {
		for (int language = 0; language < 2; language++) {
			if (first == kNames[day][language][0]
				&& second == kNames[day][language][1])
				return day;
		}
	}
	return -1;
}


// "HH:MM" (or "H:MM") as minutes; 24:00 only where an end may be.
bool
minute_of(std::string_view text, bool end, int* minute)
{
	size_t colon = text.find(':');
	if (colon == std::string_view::npos || colon == 0 || colon > 2
		|| text.size() != colon + 3) {
		return false;
	}
	int hour = 0;
	for (size_t i = 0; i < colon; i++) {
		if (!isdigit((unsigned char)text[i]))
			return false;
		hour = hour * 10 + (text[i] - '0');
	}
	if (!isdigit((unsigned char)text[colon + 1])
		|| !isdigit((unsigned char)text[colon + 2])) {
		return false;
	}
	int minutes = (text[colon + 1] - '0') * 10 + (text[colon + 2] - '0');
	if (minutes > 59 || hour > 24 || (hour == 24 && (minutes != 0 || !end)))
		return false;
	*minute = hour * 60 + minutes;
	return true;
}

}	// namespace


bool
WeeklyHours::Parse(const std::string& text, WeeklyHours* hours,
	std::string* problem)
{
	return Parse(std::string_view(text), hours, problem);
}


bool
WeeklyHours::Parse(std::string_view text, WeeklyHours* hours,
	std::string* problem)
{
	hours->fWindows.clear();
	size_t start = 0;
	for (;;) {
		size_t comma = text.find(',', start);
		std::string_view group = trimmed(text.substr(start,
			comma == std::string_view::npos ? std::string_view::npos
				: comma - start));
		if (group.empty()) {
			*problem = B_TRANSLATE("empty hours");
			return false;
		}
		size_t blank = first_blank(group);
		std::string_view days = group.substr(0, blank);
		size_t dash = days.find('-');
		int first = day_of(days.substr(0, dash));
		int last = dash == std::string_view::npos ? first
			: day_of(days.substr(dash + 1));
		if (first < 0 || last < 0) {
			*problem = translate_format("%s is not a day or a range of days"
				" (Mo Tu We Th Fr Sa Su)", quoted(days).c_str());
			return false;
		}
		// "Mo-Mo" might mean the one day or the whole week round.
		if (dash != std::string_view::npos && first == last) {
			*problem = translate_format("%s joins a day to itself: write the"
				" day alone, or Mo-Su for the whole week",
				quoted(days).c_str());
			return false;
		}
		uint8 mask = 0;
		for (int day = first;; day = (day + 1) % 7) {
			mask |= (uint8)(1 << day);
			if (day == last)
				break;
		}
		if (blank == std::string_view::npos) {
			*problem = translate_format("%s has no hours (HH:MM-HH:MM)",
				quoted(days).c_str());
			return false;
		}
		size_t at = blank;
		while ((at = first_non_blank(group, at))
				!= std::string_view::npos) {
			size_t end = first_blank(group, at);
			std::string_view range = group.substr(at,
				end == std::string_view::npos ? std::string_view::npos
					: end - at);
			at = end;
			size_t minus = range.find('-');
			int from, to;
			if (minus == std::string_view::npos
				|| !minute_of(range.substr(0, minus), false, &from)
				|| !minute_of(range.substr(minus + 1), true, &to)) {
				*problem = translate_format("%s is not a time range"
					" (HH:MM-HH:MM)", quoted(range).c_str());
				return false;
			}
			if (from == to) {
				*problem = translate_format("%s is empty",
					quoted(range).c_str());
				return false;
			}
			hours->fWindows.push_back({mask, (int16)from, (int16)to});
		}
		if (comma == std::string_view::npos)
			break;
		start = comma + 1;
	}
	return true;
}


bool
WeeklyHours::Contains(const LocalTime& time) const
{
	int day = time.Weekday();
	int yesterday = (day + 6) % 7;
	int minute = time.Minute();
	for (const Window& window : fWindows) {
		bool today = (window.days & (1 << day)) != 0;
		if (window.start < window.end) {
			if (today && minute >= window.start && minute < window.end)
				return true;
			continue;
		}
		// Past midnight: the evening of its own day, the morning after.
		if (today && minute >= window.start)
			return true;
		if ((window.days & (1 << yesterday)) != 0 && minute < window.end)
			return true;
	}
	return false;
}
