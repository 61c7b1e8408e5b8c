#include "Dispatcher.h"

#include "CardAnnouncer.h"
#include "PinBuffer.h"
#include "PinLocks.h"
#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"

#include <AccessLog.h>

#include <Errors.h>

#include <Locale.h>

#include <PinHash.h>

#include <algorithm>
#include <ctime>

namespace {

// "14:05" for a lock's end, as the person at the door reads a clock.
std::string
clock_of(time_t moment)
{
	struct tm local;
	char text[16] = "?";
	if (localtime_r(&moment, &local) != nullptr)
		strftime(text, sizeof(text), "%H:%M", &local);
	return text;
}

}	// namespace


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
		case kPinWanted: return "pin-wanted";
		case kWrongPin: return "wrong-pin";
		case kNoPin: return "no-pin";
		case kPinLocked: return "pin-locked";
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
		case Dispatcher::kPinWanted: return ReadOutcome::kPinWanted;
		case Dispatcher::kWrongPin: return ReadOutcome::kWrongPin;
		case Dispatcher::kNoPin: return ReadOutcome::kNoPin;
		case Dispatcher::kPinLocked: return ReadOutcome::kPinLocked;
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
		case TagDecision::kPinWanted: return kPinWanted;
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
	return Dispatch(source, tag, now, false);
}


Dispatcher::Outcome
Dispatcher::Dispatch(const std::string& source, const std::string& tag,
	bigtime_t now, bool keys)
{
	bool listed = fTags.Contains(tag);
	std::string detail;
	Outcome outcome = _Decide(source, tag, listed, now, keys, &detail);
	_Report(source, tag, outcome, detail);
	if (fAnnouncer != nullptr && fMode == kListed) {
		std::string name;
		fTags.Contains(tag, &name);
		fAnnouncer->Read(source, tag, name, outcome, now);
	}
	return outcome;
}


void
Dispatcher::_Report(const std::string& source, const std::string& tag,
	Outcome outcome, const std::string& detail)
{
	std::string name;
	fTags.Contains(tag, &name);
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
}


Dispatcher::Outcome
Dispatcher::_Post(const std::string& source, const std::string& tag,
	bigtime_t since, std::string* detail)
{
	// Also for a PIN typed after lockdown began.
	if (fLockdown) {
		*detail += B_TRANSLATE(" (the door is in lockdown)");
		return kLockdown;
	}
	status_t status = fPoster.Post(tag, source, since);
	if (status == B_OK)
		return kPassedOn;
	if (status == B_BAD_PORT_ID) {
		*detail += B_TRANSLATE(": rdx does not run, the read is dropped");
		return kNoRdx;
	}
	*detail += translate_format(": %s, the read is dropped",
		status_text(status));
	return kNotDelivered;
}


Dispatcher::Outcome
Dispatcher::PinEntered(const std::string& source, const PinBuffer& pin,
	bigtime_t now)
{
	auto found = fWaits.find(source);
	if (found == fWaits.end())
		return kNoPin;
	PinWait wait = std::move(found->second);
	fWaits.erase(found);
	std::string detail;
	Outcome outcome = _CheckPin(source, wait, pin, now, &detail);
	_Report(source, wait.tag, outcome, detail);
	return outcome;
}


Dispatcher::Outcome
Dispatcher::_CheckPin(const std::string& source, const PinWait& wait,
	const PinBuffer& pin, bigtime_t now, std::string* detail)
{
	// The list may have changed while the PIN was typed: it decides again,
	// and its hash of now is the one that counts.
	TagDecision decision = fTags.Decide(wait.tag, LocalTime::Now());
	if (!decision.Passes() && !decision.WantsPin()) {
		Outcome refusal = OutcomeOf(decision);
		if (decision.Line() != nullptr)
			*detail = translate_format(" (line %d)",
				decision.Line()->Number());
		return refusal;
	}
	std::string hash = decision.Line()->Rules().PinHash();
	if (hash.empty())
		hash = wait.hash;
	time_t until = 0;
	if (fLocks == nullptr || fLocks->IsLocked(wait.tag, time(nullptr),
			&until)) {
		if (until != 0)
			*detail = translate_format(" (until %s)", clock_of(until).c_str());
		return kPinLocked;
	}
	bool right = pin.IsUsable() && PinHash::Verify(hash, pin.Data(),
		pin.Length());
	std::string problem;
	if (right) {
		fLocks->Right(wait.tag, &problem);
		if (!problem.empty())
			fprintf(fOutput, "rdx-reader: %s\n", problem.c_str());
		*detail = B_TRANSLATE(" (the PIN is right)");
		return _Post(source, wait.tag, now, detail);
	}
	int wrong = fLocks->Wrong(wait.tag, time(nullptr), &until, &problem);
	if (!problem.empty())
		fprintf(fOutput, "rdx-reader: %s\n", problem.c_str());
	if (pin.TypedFast()) {
		*detail = B_TRANSLATE(" (typed at a reader's pace: a tag read where"
			" the PIN was awaited)");
	}
	if (until != 0) {
		*detail += translate_format(" (%d in a row: refused until %s)",
			wrong, clock_of(until).c_str());
	} else {
		*detail += translate_format(" (%d of %d in a row)", wrong,
			fLocks->Tries());
	}
	return kWrongPin;
}


std::vector<std::string>
Dispatcher::EndLateWaits(bigtime_t now)
{
	std::vector<std::string> ended;
	for (auto wait = fWaits.begin(); wait != fWaits.end();) {
		if (wait->second.deadline > now) {
			wait++;
			continue;
		}
		ended.push_back(wait->first);
		std::string tag = wait->second.tag;
		wait = fWaits.erase(wait);
		_Report(ended.back(), tag, kNoPin, translate_format(" (none within"
			" %d s)", (int)(fPinWait / 1000000)));
	}
	return ended;
}


bigtime_t
Dispatcher::NextPinDeadline() const
{
	bigtime_t next = B_INFINITE_TIMEOUT;
	for (const auto& [source, wait] : fWaits)
		next = std::min(next, wait.deadline);
	return next;
}


Dispatcher::Outcome
Dispatcher::_Decide(const std::string& source, const std::string& tag,
	bool listed, bigtime_t now, bool keys, std::string* detail)
{
	if (fRepeats.IsRepeat(source, tag, now))
		return kRepeat;

	// The rules are asked only for a listed tag, at the wall clock's time
	// of the read.
	Outcome refusal = kPassedOn;
	std::string hash;
	if (listed && fMode != kAnyTag) {
		TagDecision decision = fTags.Decide(tag, LocalTime::Now());
		refusal = OutcomeOf(decision);
		if (decision.WantsPin())
			hash = decision.Line()->Rules().PinHash();
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
		if (listed && refusal != kPassedOn && refusal != kPinWanted) {
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
	if (refusal != kPassedOn && refusal != kPinWanted)
		return refusal;
	// What the list says stands first (an unknown card is still
	// announced); one it lets in is kept out during lockdown.
	if (fLockdown) {
		*detail = B_TRANSLATE(" (the door is in lockdown)");
		return kLockdown;
	}

	// A tag refused for its wrong PINs is refused whatever its rules say
	// now, and whatever PIN would follow.
	time_t until = 0;
	if (listed && fMode == kListed && fLocks != nullptr
		&& fLocks->IsLocked(TagList::Normalized(tag), time(nullptr), &until)) {
		*detail = translate_format(" (too many wrong PINs: refused until %s)",
			clock_of(until).c_str());
		return kPinLocked;
	}
	if (refusal == kPinWanted) {
		if (!keys || fLocks == nullptr) {
			*detail += B_TRANSLATE(": this reader has no keys to type a PIN"
				" on");
			return kNoPin;
		}
		// Without a record of wrong PINs to go by, a lock might be missed.
		std::string doubt;
		if (!fLocks->IsKept(&doubt)) {
			*detail = translate_format(" (the record of wrong PINs cannot be"
				" used: %s)", doubt.c_str());
			return kPinLocked;
		}
		fWaits[source] = {TagList::Normalized(tag), hash, now + fPinWait};
		*detail += translate_format(": type the PIN and Enter within %d s",
			(int)(fPinWait / 1000000));
		return kPinWanted;
	}
	return _Post(source, tag, system_time(), detail);
}
