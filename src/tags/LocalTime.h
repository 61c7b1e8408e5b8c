#ifndef LOCAL_TIME_H
#define LOCAL_TIME_H

#include <SupportDefs.h>

#include <ctime>
#include <string>

// A moment as the machine's wall clock shows it, to the minute: what the
// rules of the tag list are written in and compared with. Made from an
// instant by the C library's time zone rules, so that on the days the
// clocks change an hour that is skipped never shows and an hour that
// happens twice shows twice.
class LocalTime {
public:
							LocalTime() = default;
	// A date and a minute of the day (0 to 1440: 1440 is the end of the
	// day, as "until DATE" means it).
							LocalTime(int year, int month, int day,
								int minute = 0);

	static	LocalTime		FromTime(time_t seconds);
	static	LocalTime		Now();

	// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM" as written; false for anything
	// else or a date that does not exist. *hasTime tells which it was.
	static	bool			ParseWritten(const std::string& text,
								LocalTime* time, bool* hasTime = nullptr);
	// "YYYY-MM-DD HH:MM" taken as the machine's wall clock and made into
	// the moment it names: a time skipped when the clocks go forward is
	// moved as the C library moves it (*moved is then true); of a time
	// that happens twice, the first. False for another text.
	static	bool			ParseMoment(const std::string& text,
								LocalTime* time, bool* moved = nullptr);

			int				Year() const { return fYear; }
			int				Month() const { return fMonth; }
			int				Day() const { return fDay; }
	// 0 Monday to 6 Sunday.
			int				Weekday() const;
	// Minutes since midnight.
			int				Minute() const { return fMinute; }
	// Minutes since 1970-01-01 00:00 of the wall clock: orders moments
	// as a person reads them, not as seconds pass.
			int64			Key() const;

	// "2026-12-08 09:14"
			std::string		ToString() const;

private:
			int64			_Days() const;

			int				fYear = 1970;
			int				fMonth = 1;
			int				fDay = 1;
			int				fMinute = 0;
};

#endif
