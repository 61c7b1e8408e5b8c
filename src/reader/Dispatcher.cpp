#include "Dispatcher.h"

#include "RepeatFilter.h"
#include "TagList.h"
#include "TagPoster.h"

#include <AccessLog.h>

#include <Errors.h>

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
	}
	return ReadOutcome::kUnknown;
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
	// place where a read is reported.
	std::string shownName = name.empty() ? "" : " (" + name + ")";
	fprintf(fOutput, "%s: %s%s: %s%s\n", source.c_str(), tag.c_str(),
		shownName.c_str(), OutcomeText(outcome), detail.c_str());
	fflush(fOutput);
	if (fLog != nullptr)
		fLog->Read(source.c_str(), tag.c_str(), log_outcome(outcome));
	return outcome;
}


Dispatcher::Outcome
Dispatcher::_Decide(const std::string& source, const std::string& tag,
	bool listed, bigtime_t now, std::string* detail)
{
	if (fRepeats.IsRepeat(source, tag, now))
		return kRepeat;

	if (fMode == kLearn) {
		if (listed)
			return kListedWhileLearning;
		char date[32];
		time_t seconds = time(nullptr);
		struct tm local;
		localtime_r(&seconds, &local);
		strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
		std::string problem;
		if (fTags.Append(tag, std::string("learned ") + date + " from "
				+ source, &problem) != B_OK) {
			*detail = ": cannot add it to " + fTags.Path() + ": " + problem;
			return kNotLearned;
		}
		return kLearned;
	}

	if (fMode == kListed && !listed) {
		if (fTags.IsEmpty())
			*detail = " (the tag list " + fTags.Path() + " is empty)";
		return kUnknown;
	}

	status_t status = fPoster.Post(tag, source);
	if (status == B_OK)
		return kPassedOn;
	if (status == B_BAD_PORT_ID) {
		*detail = ": rdx does not run, the read is dropped";
		return kNoRdx;
	}
	*detail = std::string(": ") + status_text(status) + ", the read is"
		" dropped";
	return kNotDelivered;
}
