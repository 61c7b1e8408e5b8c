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
//
// A PIN after the tag: "pin" asks for it always, "pin HOURS" or "pin
// @name" while those hours hold, "pin outside HOURS" or "pin outside
// @name" while they do not; any one of them that asks makes it asked.
// "pinhash $argon2id$..." is the PIN itself, as a slow hash.
class TagRules {
public:
	// One "pin" item: when it asks for the PIN.
	struct PinRule {
		enum When { kAlways, kWhile, kOutside };

		When			when = kAlways;
		// The hours, or the named set (without '@') when name is given.
		WeeklyHours		hours;
		std::string		name;
	};

	// false with *problem saying what cannot be read; *rules is then
	// not to be used.
	static	bool			Parse(const std::string& text, TagRules* rules,
								std::string* problem);
	// The same; rules may be null to check the text only.
	static	bool			Parse(std::string_view text, TagRules* rules,
								std::string* problem);
	// Whether a name can stand after '@': 1 to 64 ASCII letters, digits,
	// '-' and '_'.
	static	bool			IsHoursName(std::string_view name);
	// Whether the byte may stand in such a name.
	static	bool			IsHoursNameCharacter(char c);

			bool			IsOff() const { return fOff; }
			bool			HasFrom() const { return fHasFrom; }
			bool			HasUntil() const { return fHasUntil; }
	// The moments the dates name, in seconds since 1970 (UTC): valid from
	// From() on, before Until(). Read so that a period is never longer
	// than written: of a time that happens twice, "from" is the second and
	// "until" the first; a time the clocks skip is the moment they jump.
			int64			From() const;
			int64			Until() const;
	// Whether the moment is before From(), and whether it is at or after
	// Until(); the time zone's rules are asked only when the wall clock
	// is within two days of the date.
			bool			IsBeforeFrom(const LocalTime& time) const;
			bool			IsAtOrAfterUntil(const LocalTime& time) const;
	// Whether any hours are given at all (none: any time of day).
			bool			HasHours() const
								{ return !fHours.empty() || !fNames.empty(); }
			const std::vector<WeeklyHours>& Hours() const { return fHours; }
	// The named sets used, without their '@'.
			const std::vector<std::string>& HoursNames() const
								{ return fNames; }

	// Whether any "pin" item is given, and those items.
			bool			HasPinRules() const { return !fPins.empty(); }
			const std::vector<PinRule>& PinRules() const { return fPins; }
	// The "pinhash" item's text; empty when there is none.
			const std::string& PinHash() const { return fPinHash; }
			bool			HasPinHash() const { return !fPinHash.empty(); }

private:
			std::vector<WeeklyHours> fHours;
			std::vector<std::string> fNames;
			std::vector<PinRule> fPins;
			std::string		fPinHash;
			// As written: LocalTime keys (a date alone for "until": the
			// start of the next day).
			int64			fFromKey = 0;
			int64			fUntilKey = 0;
			bool			fHasFrom = false;
			bool			fHasUntil = false;
			bool			fOff = false;
};

#endif
