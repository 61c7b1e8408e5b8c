#include "TagRules.h"

#include "PinHash.h"
#include "RuleText.h"

#include <Locale.h>


namespace {

using namespace rule_text;

// A moment and the wall clock differ by less than a day (offsets from UTC
// lie within -12 and +14 hours): wall-clock times further apart than two
// days are in the same order as the moments they name.
const int64 kNearMinutes = 2 * 1440;


bool
is_word(std::string_view text, const char* word)
{
	size_t i = 0;
	for (; word[i] != '\0'; i++) {
		if (i >= text.size() || ascii_lower(text[i]) != word[i])
			return false;
	}
	return i == text.size();
}


// "pin", "pin HOURS", "pin @name", "pin outside HOURS", "pin outside
// @name": rest is what follows "pin".
bool
parse_pin(std::string_view item, std::string_view rest,
	TagRules::PinRule* rule, std::string* problem)
{
	if (rest.empty())
		return true;
	size_t blank = first_blank(rest);
	if (is_word(rest.substr(0, blank), "outside")) {
		rule->when = TagRules::PinRule::kOutside;
		rest = blank == std::string_view::npos ? std::string_view()
			: trimmed(rest.substr(blank));
		if (rest.empty()) {
			*problem = B_TRANSLATE("\"pin outside\" needs hours or @name"
				" (pin outside @staff)");
			return false;
		}
	} else
		rule->when = TagRules::PinRule::kWhile;
	if (rest[0] == '@') {
		if (!TagRules::IsHoursName(rest.substr(1))) {
			*problem = translate_format("\"%s\": \"%s\" is not the name of a"
				" set of hours (@ then letters, digits, '-' or '_')",
				std::string(item).c_str(), std::string(rest).c_str());
			return false;
		}
		rule->name = std::string(rest.substr(1));
		return true;
	}
	std::string why;
	if (!WeeklyHours::Parse(rest, &rule->hours, &why)) {
		*problem = translate_format("cannot read \"%s\": %s",
			std::string(item).c_str(), why.c_str());
		return false;
	}
	return true;
}

}	// namespace


bool
TagRules::IsHoursNameCharacter(char c)
{
	// ASCII by hand: isalnum() would take a locale's letters too.
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
		|| (c >= '0' && c <= '9') || c == '_' || c == '-';
}


bool
TagRules::IsHoursName(std::string_view name)
{
	if (name.empty() || name.size() > 64)
		return false;
	for (char c : name) {
		if (!IsHoursNameCharacter(c))
			return false;
	}
	return true;
}


int64
TagRules::From() const
{
	return LocalTime::MomentOf(fFromKey, LocalTime::kSecond);
}


int64
TagRules::Until() const
{
	return LocalTime::MomentOf(fUntilKey, LocalTime::kFirst);
}


bool
TagRules::IsBeforeFrom(const LocalTime& time) const
{
	int64 gap = fFromKey - time.Key();
	if (gap > kNearMinutes || gap < -kNearMinutes)
		return gap > 0;
	return time.Moment() < From();
}


bool
TagRules::IsAtOrAfterUntil(const LocalTime& time) const
{
	int64 gap = fUntilKey - time.Key();
	if (gap > kNearMinutes || gap < -kNearMinutes)
		return gap <= 0;
	return time.Moment() >= Until();
}


bool
TagRules::Parse(const std::string& text, TagRules* rules,
	std::string* problem)
{
	return Parse(std::string_view(text), rules, problem);
}


bool
TagRules::Parse(std::string_view text, TagRules* rules, std::string* problem)
{
	TagRules parsed;
	WeeklyHours hours;
	if (trimmed(text).empty()) {
		*problem = B_TRANSLATE("no rule after the '|'");
		return false;
	}
	size_t start = 0;
	for (;;) {
		size_t semicolon = text.find(';', start);
		std::string_view item = trimmed(text.substr(start,
			semicolon == std::string_view::npos ? std::string_view::npos
				: semicolon - start));
		size_t blank = first_blank(item);
		std::string_view word = item.substr(0, blank);
		std::string_view rest = blank == std::string_view::npos
			? std::string_view() : trimmed(item.substr(blank));

		if (item.empty()) {
			*problem = B_TRANSLATE("an empty rule between ';'");
			return false;
		}
		if (is_word(word, "off") && rest.empty())
			parsed.fOff = true;
		else if (is_word(word, "from") || is_word(word, "until")) {
			bool until = is_word(word, "until");
			const char* name = until ? "until" : "from";
			LocalTime time;
			bool hasTime = false;
			if (!LocalTime::ParseWritten(std::string(rest), &time, &hasTime)) {
				*problem = translate_format("\"%s\": %s takes a date"
					" (2026-12-18) or a date and time (2026-12-18 17:00)",
					std::string(item).c_str(), name);
				return false;
			}
			bool& given = until ? parsed.fHasUntil : parsed.fHasFrom;
			if (given) {
				*problem = translate_format("\"%s\" is given twice", name);
				return false;
			}
			given = true;
			// A date alone: from its start, until its end.
			(until ? parsed.fUntilKey : parsed.fFromKey) = time.Key()
				+ (until && !hasTime ? 1440 : 0);
		} else if (is_word(word, "pin")) {
			PinRule rule;
			if (!parse_pin(item, rest, &rule, problem))
				return false;
			if (rules != nullptr)
				parsed.fPins.push_back(std::move(rule));
		} else if (is_word(word, "pinhash")) {
			if (!parsed.fPinHash.empty()) {
				*problem = B_TRANSLATE("\"pinhash\" is given twice");
				return false;
			}
			if (!PinHash::IsWellFormed(rest)) {
				*problem = B_TRANSLATE("\"pinhash\" takes the text that"
					" rdx-reader --set-pin writes ($argon2id$v=19$m=...,t=...,"
					"p=1$SALT$HASH)");
				return false;
			}
			parsed.fPinHash = std::string(rest);
		} else if (item[0] == '@') {
			if (!IsHoursName(item.substr(1))) {
				*problem = translate_format("\"%s\" is not the name of a set"
					" of hours (@ then letters, digits, '-' or '_')",
					std::string(item).c_str());
				return false;
			}
			if (rules != nullptr)
				parsed.fNames.emplace_back(item.substr(1));
		} else {
			std::string why;
			if (!WeeklyHours::Parse(item, &hours, &why)) {
				*problem = translate_format("cannot read \"%s\": %s",
					std::string(item).c_str(), why.c_str());
				return false;
			}
			if (rules != nullptr)
				parsed.fHours.push_back(std::move(hours));
		}
		if (semicolon == std::string_view::npos)
			break;
		start = semicolon + 1;
	}
	if (parsed.fHasFrom && parsed.fHasUntil) {
		// Only dates close together need the time zone's rules.
		int64 gap = parsed.fUntilKey - parsed.fFromKey;
		bool after = gap > kNearMinutes || (gap >= -kNearMinutes
			&& parsed.Until() > parsed.From());
		if (!after) {
			*problem = B_TRANSLATE("\"until\" is not after \"from\": it would"
				" never let the tag in");
			return false;
		}
	}
	if (rules != nullptr)
		*rules = std::move(parsed);
	return true;
}
