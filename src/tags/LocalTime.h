#ifndef LOCAL_TIME_H
#define LOCAL_TIME_H

#include <SupportDefs.h>

#include <ctime>
#include <string>

// A moment as the machine's wall clock shows it, to the minute, together
// with the moment itself. Weekly hours are compared with the wall clock (on
// the days the clocks change an hour that is skipped never shows and an
// hour that happens twice shows twice); validity dates name moments, which
// pass as real time does, whatever the wall clock shows meanwhile. Both come
// from the C library's time zone rules.
class LocalTime {
public:
	// Of a wall-clock time that happens twice, which one.
	enum Occurrence {
		kFirst,
		kSecond,
	};

							LocalTime() = default;
	// A date and a minute of the day (0 to 1440: 1440 is the end of the
	// day, as "until DATE" means it). Its moment is the first time the
	// wall clock shows it.
							LocalTime(int year, int month, int day,
								int minute = 0);

	static	LocalTime		FromTime(time_t seconds);
	static	LocalTime		Now();

	// "YYYY-MM-DD", or "YYYY-MM-DD HH:MM" with one or more blanks (spaces,
	// tabs) between, as written in the list; false for anything else or a
	// date that does not exist. *hasTime tells which it was.
	static	bool			ParseWritten(const std::string& text,
								LocalTime* time, bool* hasTime = nullptr);
	// "YYYY-MM-DD HH:MM", optionally followed by blanks and the offset
	// from UTC ("+01:00", "-05:00") that names one of an hour that happens
	// twice. Without an offset: of a time that happens twice the first; a
	// time skipped when the clocks go forward is moved as the C library
	// moves it (*moved is then true). False for another text, and for an
	// offset the wall clock does not have at that time.
	static	bool			ParseMoment(const std::string& text,
								LocalTime* time, bool* moved = nullptr);

	// The moment (seconds since 1970-01-01 00:00 UTC) that a wall-clock
	// time (a Key()) names: of a time that happens twice the first or the
	// second; a time that is skipped names the moment the clocks jump.
	static	int64			MomentOf(int64 key, Occurrence which);
	// How often the wall clock shows that time: 0 (skipped), 1 or 2.
	static	int				CountOccurrences(int64 key);

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
	// The moment itself, in seconds since 1970-01-01 00:00 UTC.
			int64			Moment() const;

	// "2026-12-08 09:14"
			std::string		ToString() const;
	// The offset from UTC at the moment: "+01:00".
			std::string		OffsetString() const;

private:
			int64			_Days() const;

			int				fYear = 1970;
			int				fMonth = 1;
			int				fDay = 1;
			int				fMinute = 0;
			// Made from an instant: that instant. Otherwise the moment is
			// found from the wall clock when asked.
			bool			fHasMoment = false;
			int64			fMoment = 0;
};

#endif
