#ifndef WEEKLY_HOURS_H
#define WEEKLY_HOURS_H

#include "LocalTime.h"

#include <SupportDefs.h>

#include <string>
#include <string_view>
#include <vector>

// Hours of the week: "Mo-Fr 07:00-19:00, Sa 09:00-13:00". A group is a
// day or a range of days (Mo Tu We Th Fr Sa Su, or the German Di Mi Do
// So; "Fr-Mo" wraps round the week), then one or more HH:MM-HH:MM;
// groups are separated by ','. A window that ends before it starts runs
// past midnight into the next day; 24:00 ends a window at midnight.
class WeeklyHours {
public:
	// false with *problem saying what cannot be read.
	static	bool			Parse(const std::string& text,
								WeeklyHours* hours, std::string* problem);
	static	bool			Parse(std::string_view text, WeeklyHours* hours,
								std::string* problem);

			bool			Contains(const LocalTime& time) const;
			bool			IsEmpty() const { return fWindows.empty(); }
			size_t			CountWindows() const { return fWindows.size(); }

private:
	struct Window {
		// Bit 0 Monday to bit 6 Sunday: the days the window starts on.
		uint8			days;
		int16			start;
		int16			end;
	};

			std::vector<Window> fWindows;
};

#endif
