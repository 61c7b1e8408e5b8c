#include "LocalTime.h"

#include <cstdio>

namespace {

bool
is_leap(int year)
{
	return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}


int
days_in_month(int year, int month)
{
	static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30,
		31};
	return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}


// Reads exactly count digits at text[*at].
bool
digits(const std::string& text, size_t* at, int count, int* value)
{
	*value = 0;
	for (int i = 0; i < count; i++, (*at)++) {
		if (*at >= text.size() || text[*at] < '0' || text[*at] > '9')
			return false;
		*value = *value * 10 + (text[*at] - '0');
	}
	return true;
}

}	// namespace


LocalTime::LocalTime(int year, int month, int day, int minute)
	:
	fYear(year),
	fMonth(month),
	fDay(day),
	fMinute(minute)
{
}


LocalTime
LocalTime::FromTime(time_t seconds)
{
	struct tm local;
	if (localtime_r(&seconds, &local) == nullptr)
		return LocalTime();
	return LocalTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
		local.tm_hour * 60 + local.tm_min);
}


LocalTime
LocalTime::Now()
{
	return FromTime(time(nullptr));
}


bool
LocalTime::ParseWritten(const std::string& text, LocalTime* time,
	bool* hasTime)
{
	size_t at = 0;
	int year, month, day;
	if (!digits(text, &at, 4, &year) || at >= text.size() || text[at++] != '-'
		|| !digits(text, &at, 2, &month) || at >= text.size()
		|| text[at++] != '-' || !digits(text, &at, 2, &day)) {
		return false;
	}
	if (year < 1970 || month < 1 || month > 12 || day < 1
		|| day > days_in_month(year, month)) {
		return false;
	}
	int minute = 0;
	bool withTime = at < text.size();
	if (withTime) {
		int hour, minutes;
		if (text[at++] != ' ' || !digits(text, &at, 2, &hour)
			|| at >= text.size() || text[at++] != ':'
			|| !digits(text, &at, 2, &minutes) || at != text.size()
			|| hour > 23 || minutes > 59) {
			return false;
		}
		minute = hour * 60 + minutes;
	}
	*time = LocalTime(year, month, day, minute);
	if (hasTime != nullptr)
		*hasTime = withTime;
	return true;
}


bool
LocalTime::ParseMoment(const std::string& text, LocalTime* time, bool* moved)
{
	LocalTime written;
	bool hasTime = false;
	if (!ParseWritten(text, &written, &hasTime) || !hasTime)
		return false;
	struct tm local = {};
	local.tm_year = written.fYear - 1900;
	local.tm_mon = written.fMonth - 1;
	local.tm_mday = written.fDay;
	local.tm_hour = written.fMinute / 60;
	local.tm_min = written.fMinute % 60;
	// The time zone's rules say whether summer time holds then.
	local.tm_isdst = -1;
	time_t seconds = mktime(&local);
	if (seconds == (time_t)-1)
		return false;
	*time = FromTime(seconds);
	if (moved != nullptr)
		*moved = time->Key() != written.Key();
	return true;
}


int64
LocalTime::_Days() const
{
	// Days since 1970-01-01 of the proleptic Gregorian calendar.
	int year = fYear - (fMonth <= 2 ? 1 : 0);
	int era = (year >= 0 ? year : year - 399) / 400;
	int yearOfEra = year - era * 400;
	int month = fMonth + (fMonth > 2 ? -3 : 9);
	int dayOfYear = (153 * month + 2) / 5 + fDay - 1;
	int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100
		+ dayOfYear;
	return (int64)era * 146097 + dayOfEra - 719468;
}


int
LocalTime::Weekday() const
{
	// 1970-01-01 was a Thursday.
	int64 days = _Days();
	return (int)(((days % 7) + 7 + 3) % 7);
}


int64
LocalTime::Key() const
{
	return _Days() * 1440 + fMinute;
}


std::string
LocalTime::ToString() const
{
	char text[40];
	snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d", fYear, fMonth,
		fDay, fMinute / 60, fMinute % 60);
	return text;
}
