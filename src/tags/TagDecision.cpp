#include "TagDecision.h"


const char*
TagDecision::VerdictWord(Verdict verdict)
{
	switch (verdict) {
		case kPass: return "pass";
		case kUnknown: return "unknown";
		case kOff: return "off";
		case kNotYetValid: return "not-yet-valid";
		case kExpired: return "expired";
		case kOutsideHours: return "outside-hours";
		case kBadRule: return "bad-rule";
		case kPinWanted: return "pin-wanted";
	}
	return "unknown";
}


TagDecision
TagDecision::Decide(const TagFile& file, const std::string& tag,
	const LocalTime& time)
{
	TagDecision decision;
	decision.fLine = file.Find(tag);
	if (decision.fLine == nullptr)
		return decision;
	const TagLine& line = *decision.fLine;

	// Fail-secure first: a line that cannot be read says nothing else.
	const std::string& refusal = file.RefusalOf(line);
	if (!refusal.empty()) {
		decision.fVerdict = kBadRule;
		decision.fDetail = refusal;
		return decision;
	}
	decision.fVerdict = kPass;
	if (!line.HasRules())
		return decision;

	const TagRules& rules = line.Rules();
	// Dates are moments: they pass as real time does, also while the
	// wall clock shows an hour for the second time.
	if (rules.IsOff())
		decision.fVerdict = kOff;
	else if (rules.HasFrom() && rules.IsBeforeFrom(time))
		decision.fVerdict = kNotYetValid;
	else if (rules.HasUntil() && rules.IsAtOrAfterUntil(time))
		decision.fVerdict = kExpired;
	else if (rules.HasHours()) {
		bool inside = false;
		for (const WeeklyHours& hours : rules.Hours()) {
			if (hours.Contains(time)) {
				inside = true;
				break;
			}
		}
		for (size_t i = 0; !inside && i < rules.HoursNames().size(); i++) {
			const WeeklyHours* named = file.NamedHours(rules.HoursNames()[i]);
			inside = named != nullptr && named->Contains(time);
		}
		if (!inside)
			decision.fVerdict = kOutsideHours;
	}
	if (decision.fVerdict == kPass && AsksPin(file, rules, time))
		decision.fVerdict = kPinWanted;
	return decision;
}


bool
TagDecision::AsksPin(const TagFile& file, const TagRules& rules,
	const LocalTime& time)
{
	for (const TagRules::PinRule& rule : rules.PinRules()) {
		if (rule.when == TagRules::PinRule::kAlways)
			return true;
		bool inside;
		if (!rule.name.empty()) {
			const WeeklyHours* named = file.NamedHours(rule.name);
			// A set that cannot be read refuses the line before this;
			// should one slip through, the PIN is asked.
			if (named == nullptr)
				return true;
			inside = named->Contains(time);
		} else
			inside = rule.hours.Contains(time);
		if (inside == (rule.when == TagRules::PinRule::kWhile))
			return true;
	}
	return false;
}
