#include "LogFilter.h"

#include "TagNames.h"

#include <cstdio>
#include <ctime>


bool
LogFilter::Matches(const LogRecord& record) const
{
	if (since && record.Time() < *since)
		return false;
	if (until && record.Time() >= *until)
		return false;
	if (tag && upper_case(record.Tag()) != upper_case(*tag))
		return false;
	if (relay && record.Relay() != *relay)
		return false;
	if (event && record.Event() != *event)
		return false;
	// A read refused by rdx (a tag record) or at the door's exit button
	// counts with rdx-reader's reads: "--outcome lockdown" shows them all.
	if (outcome && record.Outcome() != *outcome)
		return false;
	if (doorEvent && (record.Event() != "door"
			|| record.DoorEvent() != *doorEvent))
		return false;
	return true;
}


std::optional<int64>
parse_local_time(const std::string& text, bool endOfDay)
{
	int year, month, day;
	int hour = 0;
	int minute = 0;
	int second = 0;
	int used = 0;
	bool dateOnly = false;
	char separator;
	if (sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3
		&& (size_t)used == text.size()) {
		dateOnly = true;
	} else if (sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year,
			&month, &day, &separator, &hour, &minute, &second, &used) == 7
		&& (size_t)used == text.size()) {
	} else if (sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &year, &month,
			&day, &separator, &hour, &minute, &used) == 6
		&& (size_t)used == text.size()) {
		second = 0;
	} else
		return std::nullopt;
	if (!dateOnly && separator != ' ' && separator != 'T')
		return std::nullopt;
	if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31
		|| hour > 23 || minute > 59 || second > 59) {
		return std::nullopt;
	}

	struct tm local = {};
	local.tm_year = year - 1900;
	local.tm_mon = month - 1;
	local.tm_mday = day + (dateOnly && endOfDay ? 1 : 0);
	local.tm_hour = hour;
	local.tm_min = minute;
	local.tm_sec = second;
	// Whether summer time holds is the date's business, not ours.
	local.tm_isdst = -1;
	time_t seconds = mktime(&local);
	if (seconds == (time_t)-1)
		return std::nullopt;
	return (int64)seconds * 1000;
}


std::string
format_local_time(int64 millisecondsSinceEpoch)
{
	time_t seconds = (time_t)(millisecondsSinceEpoch / 1000);
	int milliseconds = (int)(millisecondsSinceEpoch % 1000);
	if (milliseconds < 0) {
		seconds--;
		milliseconds += 1000;
	}
	struct tm local;
	localtime_r(&seconds, &local);
	char text[64];
	snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d.%03d",
		local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
		local.tm_min, local.tm_sec, milliseconds);
	return text;
}
