#ifndef TAG_RULES_H
#define TAG_RULES_H

#include "LocalTime.h"
#include "WeeklyHours.h"

#include <SupportDefs.h>

#include <string>
#include <string_view>
#include <vector>

// What follows the '|' of a tag's line: items separated by ';', each one
// of weekly hours ("Mo-Fr 08:00-17:00"), a named set of hours ("@staff"),
// "from DATE[ HH:MM]", "until DATE[ HH:MM]" (a date alone: to the end of
// that day) or "off". Any one of the hours items lets the tag in; the
// dates always apply; "off" lets it in never.
class TagRules {
public:
	// false with *problem saying what cannot be read; *rules is then
	// not to be used.
	static	bool			Parse(const std::string& text, TagRules* rules,
								std::string* problem);
	// The same; rules may be null to check the text only.
	static	bool			Parse(std::string_view text, TagRules* rules,
								std::string* problem);
	// Whether a name can stand after '@': letters, digits, '-' and '_'.
	static	bool			IsHoursName(std::string_view name);

			bool			IsOff() const { return fOff; }
			bool			HasFrom() const { return fFrom >= 0; }
			bool			HasUntil() const { return fUntil >= 0; }
	// LocalTime keys: valid from fFrom on, before fUntil.
			int64			From() const { return fFrom; }
			int64			Until() const { return fUntil; }
	// Whether any hours are given at all (none: any time of day).
			bool			HasHours() const
								{ return !fHours.empty() || !fNames.empty(); }
			const std::vector<WeeklyHours>& Hours() const { return fHours; }
	// The named sets used, without their '@'.
			const std::vector<std::string>& HoursNames() const
								{ return fNames; }

private:
			std::vector<WeeklyHours> fHours;
			std::vector<std::string> fNames;
			int64			fFrom = -1;
			int64			fUntil = -1;
			bool			fOff = false;
};

#endif
