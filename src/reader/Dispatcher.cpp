#include "Dispatcher.h"

#include "CardAnnouncer.h"
#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"

#include <AccessLog.h>

#include <Errors.h>

#include <Locale.h>

#include <ctime>


Dispatcher::Dispatcher(TagList& tags, RepeatFilter& repeats,
	TagPoster& poster, Mode mode, FILE* output)
	:
	fTags(tags),
	fRepeats(repeats),
	fPoster(poster),
	fMode(mode),
	fOutput(output)
{
}


const char*
Dispatcher::OutcomeText(Outcome outcome)
{
	switch (outcome) {
		case kPassedOn: return "passed on";
		case kUnknown: return "unknown";
		case kRepeat: return "repeat";
		case kLearned: return "learned";
		case kListedWhileLearning: return "listed (learning: not passed on)";
		case kNoRdx: return "no rdx";
		case kNotDelivered: return "not delivered";
		case kNotLearned: return "not learned";
		case kOff: return "off";
		case kNotYetValid: return "not-yet-valid";
		case kExpired: return "expired";
		case kOutsideHours: return "outside-hours";
		case kBadRule: return "bad-rule";
		case kLockdown: return "lockdown";
	}
	return "?";
}


static ReadOutcome
log_outcome(Dispatcher::Outcome outcome)
{
	switch (outcome) {
		case Dispatcher::kPassedOn: return ReadOutcome::kPassedOn;
		case Dispatcher::kUnknown: return ReadOutcome::kUnknown;
		case Dispatcher::kRepeat: return ReadOutcome::kRepeat;
		case Dispatcher::kLearned: return ReadOutcome::kLearned;
		case Dispatcher::kListedWhileLearning:
			return ReadOutcome::kListedWhileLearning;
		case Dispatcher::kNoRdx: return ReadOutcome::kNoRdx;
		case Dispatcher::kNotDelivered: return ReadOutcome::kNotDelivered;
		case Dispatcher::kNotLearned: return ReadOutcome::kNotLearned;
		case Dispatcher::kOff: return ReadOutcome::kOff;
		case Dispatcher::kNotYetValid: return ReadOutcome::kNotYetValid;
		case Dispatcher::kExpired: return ReadOutcome::kExpired;
		case Dispatcher::kOutsideHours: return ReadOutcome::kOutsideHours;
		case Dispatcher::kBadRule: return ReadOutcome::kBadRule;
		case Dispatcher::kLockdown: return ReadOutcome::kLockdown;
	}
	return ReadOutcome::kUnknown;
}


Dispatcher::Outcome
Dispatcher::OutcomeOf(const TagDecision& decision)
{
	switch (decision.What()) {
		case TagDecision::kPass: return kPassedOn;
		case TagDecision::kUnknown: return kUnknown;
		case TagDecision::kOff: return kOff;
		case TagDecision::kNotYetValid: return kNotYetValid;
		case TagDecision::kExpired: return kExpired;
		case TagDecision::kOutsideHours: return kOutsideHours;
		case TagDecision::kBadRule: return kBadRule;
	}
	return kUnknown;
}


Dispatcher::Outcome
Dispatcher::Dispatch(const std::string& source, const std::string& tag)
{
	return Dispatch(source, tag, system_time());
}


Dispatcher::Outcome
Dispatcher::Dispatch(const std::string& source, const std::string& tag,
	bigtime_t now)
{
	std::string name;
	bool listed = fTags.Contains(tag, &name);
	std::string detail;
	Outcome outcome = _Decide(source, tag, listed, now, &detail);

	// Every read ends here, with its source, tag and outcome: the one
	// place where a read is reported. The name comes from a file and the
	// rest from devices: one line stays one line.
	std::string shownName = name.empty() ? "" : " (" + name + ")";
	fprintf(fOutput, "%s: %s%s: %s%s\n", TagList::Printable(source).c_str(),
		TagList::Printable(tag).c_str(), TagList::Printable(shownName).c_str(),
		OutcomeText(outcome), TagList::Printable(detail).c_str());
	fflush(fOutput);
	if (fLog != nullptr)
		fLog->Read(source.c_str(), tag.c_str(), log_outcome(outcome));
	if (fAnnouncer != nullptr && fMode == kListed)
		fAnnouncer->Read(source, tag, name, outcome, now);
	return outcome;
}


Dispatcher::Outcome
Dispatcher::_Decide(const std::string& source, const std::string& tag,
	bool listed, bigtime_t now, std::string* detail)
{
	if (fRepeats.IsRepeat(source, tag, now))
		return kRepeat;

	// The rules are asked only for a listed tag, at the wall clock's time
	// of the read.
	Outcome refusal = kPassedOn;
	if (listed && fMode != kAnyTag) {
		TagDecision decision = fTags.Decide(tag, LocalTime::Now());
		refusal = OutcomeOf(decision);
		if (refusal != kPassedOn) {
			int number = decision.Line()->Number();
			*detail = decision.Detail().empty()
				? translate_format(" (line %d)", number)
				: translate_format(" (line %d: %s)", number,
					decision.Detail().c_str());
		}
	}

	if (fMode == kLearn) {
		// Known already: never added twice, whether it passes now or not.
		if (listed && refusal != kPassedOn) {
			*detail += B_TRANSLATE(" (learning: listed already, not added"
				" again)");
			return refusal;
		}
		if (listed)
			return kListedWhileLearning;
		char date[32];
		time_t seconds = time(nullptr);
		struct tm local;
		localtime_r(&seconds, &local);
		strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
		std::string problem;
		auto waiting = [&]() {
			fprintf(fOutput, B_TRANSLATE("rdx-reader: another program is"
				" writing %s: waiting for it to finish\n"),
				TagList::Printable(fTags.Path()).c_str());
			fflush(fOutput);
		};
		if (fTags.Append(tag, std::string("learned ") + date + " from "
				+ source, &problem, waiting) != B_OK) {
			*detail = translate_format(": cannot add it to %s: %s",
				fTags.Path().c_str(), problem.c_str());
			return kNotLearned;
		}
		return kLearned;
	}

	if (fMode == kListed && !listed) {
		if (fTags.IsRefused())
			*detail = translate_format(" (the tag list %s is refused)",
				fTags.Path().c_str());
		else if (fTags.IsEmpty())
			*detail = translate_format(" (the tag list %s is empty)",
				fTags.Path().c_str());
		return kUnknown;
	}
	if (refusal != kPassedOn)
		return refusal;
	// What the list says stands first (an unknown card is still
	// announced); one it lets in is kept out during lockdown.
	if (fLockdown) {
		*detail = B_TRANSLATE(" (the door is in lockdown)");
		return kLockdown;
	}

	status_t status = fPoster.Post(tag, source);
	if (status == B_OK)
		return kPassedOn;
	if (status == B_BAD_PORT_ID) {
		*detail = B_TRANSLATE(": rdx does not run, the read is dropped");
		return kNoRdx;
	}
	*detail = translate_format(": %s, the read is dropped",
		status_text(status));
	return kNotDelivered;
}
