#include "WeeklyHours.h"

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


// Mo..Su as 0..6, the German names too; -1 for another word.
int
day_of(const std::string& word)
{
	if (word.size() != 2)
		return -1;
	std::string lower = {(char)tolower((unsigned char)word[0]),
		(char)tolower((unsigned char)word[1])};
	static const char* const kNames[][2] = {{"mo", "mo"}, {"tu", "di"},
		{"we", "mi"}, {"th", "do"}, {"fr", "fr"}, {"sa", "sa"},
		{"su", "so"}};
	for (int day = 0; day < 7; day++) {
		if (lower == kNames[day][0] || lower == kNames[day][1])
			return day;
	}
	return -1;
}


// "HH:MM" (or "H:MM") as minutes; 24:00 only where an end may be.
bool
minute_of(const std::string& text, bool end, int* minute)
{
	size_t colon = text.find(':');
	if (colon == std::string::npos || colon == 0 || colon > 2
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
	hours->fWindows.clear();
	size_t start = 0;
	for (;;) {
		size_t comma = text.find(',', start);
		std::string group = trimmed(text.substr(start,
			comma == std::string::npos ? std::string::npos : comma - start));
		if (group.empty()) {
			*problem = "empty hours";
			return false;
		}
		size_t blank = group.find_first_of(kBlanks);
		std::string days = group.substr(0, blank);
		size_t dash = days.find('-');
		int first = day_of(days.substr(0, dash));
		int last = dash == std::string::npos ? first
			: day_of(days.substr(dash + 1));
		if (first < 0 || last < 0) {
			*problem = "\"" + days + "\" is not a day or a range of days"
				" (Mo Tu We Th Fr Sa Su)";
			return false;
		}
		uint8 mask = 0;
		for (int day = first;; day = (day + 1) % 7) {
			mask |= (uint8)(1 << day);
			if (day == last)
				break;
		}
		if (blank == std::string::npos) {
			*problem = "\"" + days + "\" has no hours (HH:MM-HH:MM)";
			return false;
		}
		size_t at = blank;
		while ((at = group.find_first_not_of(kBlanks, at))
				!= std::string::npos) {
			size_t end = group.find_first_of(kBlanks, at);
			std::string range = group.substr(at, end == std::string::npos
				? std::string::npos : end - at);
			at = end;
			size_t minus = range.find('-');
			Window window = {mask, 0, 0};
			int from, to;
			if (minus == std::string::npos
				|| !minute_of(range.substr(0, minus), false, &from)
				|| !minute_of(range.substr(minus + 1), true, &to)) {
				*problem = "\"" + range + "\" is not a time range"
					" (HH:MM-HH:MM)";
				return false;
			}
			if (from == to) {
				*problem = "\"" + range + "\" is empty";
				return false;
			}
			window.start = (int16)from;
			window.end = (int16)to;
			hours->fWindows.push_back(window);
		}
		if (comma == std::string::npos)
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
