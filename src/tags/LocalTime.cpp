#include "LocalTime.h"

#include <algorithm>
#include <cstdio>

namespace {

const int64 kDay = 86400;


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


bool
is_blank(char c)
{
	return c == ' ' || c == '\t';
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


// Seconds east of UTC at the instant, as the time zone's rules say.
bool
offset_at(int64 seconds, long* offset)
{
	time_t instant = (time_t)seconds;
	struct tm local;
	if (localtime_r(&instant, &local) == nullptr)
		return false;
	*offset = local.tm_gmtoff;
	return true;
}


// The instants at which the wall clock shows wall (its seconds counted as
// if it were UTC), earliest first; *offsets gets the offsets in force
// around it. Every instant that shows it lies within a day of it, and
// within a day there is at most one change of the clocks.
int
instants_of(int64 wall, int64 found[3], long offsets[3], int* offsetCount)
{
	*offsetCount = 0;
	for (int64 probe : {wall - kDay, wall, wall + kDay}) {
		long offset;
		if (offset_at(probe, &offset) && std::find(offsets,
				offsets + *offsetCount, offset) == offsets + *offsetCount)
			offsets[(*offsetCount)++] = offset;
	}
	int count = 0;
	for (int i = 0; i < *offsetCount; i++) {
		int64 instant = wall - offsets[i];
		long offset;
		if (offset_at(instant, &offset) && offset == offsets[i])
			found[count++] = instant;
	}
	std::sort(found, found + count);
	return (int)(std::unique(found, found + count) - found);
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
	LocalTime time(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
		local.tm_hour * 60 + local.tm_min);
	time.fHasMoment = true;
	time.fMoment = seconds;
	return time;
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
		if (!is_blank(text[at]))
			return false;
		while (at < text.size() && is_blank(text[at]))
			at++;
		int hour, minutes;
		if (!digits(text, &at, 2, &hour) || at >= text.size()
			|| text[at++] != ':' || !digits(text, &at, 2, &minutes)
			|| at != text.size() || hour > 23 || minutes > 59) {
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
	// An offset is the last word, after a blank, beginning with a sign.
	std::string written = text;
	bool hasOffset = false;
	long offset = 0;
	size_t last = text.find_last_of(" \t");
	if (last != std::string::npos && last + 1 < text.size()
		&& (text[last + 1] == '+' || text[last + 1] == '-')) {
		size_t at = last + 2;
		int hours, minutes;
		if (!digits(text, &at, 2, &hours) || at >= text.size()
			|| text[at++] != ':' || !digits(text, &at, 2, &minutes)
			|| at != text.size() || hours > 23 || minutes > 59) {
			return false;
		}
		offset = (hours * 60 + minutes) * 60L;
		if (text[last + 1] == '-')
			offset = -offset;
		hasOffset = true;
		written = text.substr(0, last);
		while (!written.empty() && is_blank(written.back()))
			written.pop_back();
	}

	LocalTime wall;
	bool hasTime = false;
	if (!ParseWritten(written, &wall, &hasTime) || !hasTime)
		return false;
	int64 wallSeconds = wall.Key() * 60;
	if (hasOffset) {
		// The offset must be one the wall clock has then: it picks one of
		// the times the wall clock shows, it does not make up another.
		int64 instant = wallSeconds - offset;
		long actual;
		if (!offset_at(instant, &actual) || actual != offset)
			return false;
		*time = FromTime((time_t)instant);
		if (moved != nullptr)
			*moved = false;
		return true;
	}
	int64 found[3];
	long offsets[3];
	int offsetCount;
	if (instants_of(wallSeconds, found, offsets, &offsetCount) > 0) {
		*time = FromTime((time_t)found[0]);
		if (moved != nullptr)
			*moved = false;
		return true;
	}
	struct tm local = {};
	local.tm_year = wall.fYear - 1900;
	local.tm_mon = wall.fMonth - 1;
	local.tm_mday = wall.fDay;
	local.tm_hour = wall.fMinute / 60;
	local.tm_min = wall.fMinute % 60;
	// The time zone's rules say whether summer time holds then.
	local.tm_isdst = -1;
	time_t seconds = mktime(&local);
	if (seconds == (time_t)-1)
		return false;
	*time = FromTime(seconds);
	if (moved != nullptr)
		*moved = time->Key() != wall.Key();
	return true;
}


int64
LocalTime::MomentOf(int64 key, Occurrence which)
{
	int64 wall = key * 60;
	int64 found[3];
	long offsets[3];
	int offsetCount;
	int count = instants_of(wall, found, offsets, &offsetCount);
	if (count > 0)
		return which == kFirst ? found[0] : found[count - 1];
	if (offsetCount < 2)
		return wall - (offsetCount > 0 ? offsets[0] : 0);
	// Skipped: the clocks jump from before + wall's instant to after.
	// Before the jump the wall clock shows less than wall, from it on
	// more; the jump is the first second of the second kind.
	long before = *std::min_element(offsets, offsets + offsetCount);
	long after = *std::max_element(offsets, offsets + offsetCount);
	int64 low = wall - after;
	int64 high = wall - before;
	while (high - low > 1) {
		int64 middle = low + (high - low) / 2;
		long offset;
		if (offset_at(middle, &offset) && middle + offset > wall)
			high = middle;
		else
			low = middle;
	}
	return high;
}


int
LocalTime::CountOccurrences(int64 key)
{
	int64 found[3];
	long offsets[3];
	int offsetCount;
	return instants_of(key * 60, found, offsets, &offsetCount);
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


int64
LocalTime::Moment() const
{
	return fHasMoment ? fMoment : MomentOf(Key(), kFirst);
}


std::string
LocalTime::ToString() const
{
	char text[40];
	snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d", fYear, fMonth,
		fDay, fMinute / 60, fMinute % 60);
	return text;
}


std::string
LocalTime::OffsetString() const
{
	long offset;
	if (!offset_at(Moment(), &offset))
		offset = 0;
	long minutes = (offset < 0 ? -offset : offset) / 60 % (100 * 60);
	char text[32];
	snprintf(text, sizeof(text), "%c%02ld:%02ld", offset < 0 ? '-' : '+',
		minutes / 60, minutes % 60);
	return text;
}
