#ifndef DISPATCHER_H
#define DISPATCHER_H

#include <OS.h>

#include <cstdio>
#include <string>

class AccessLog;
class CardAnnouncer;
class RepeatFilter;
class TagDecision;
class TagList;
class TagPoster;

// Decides, once for all sources, what becomes of a tag read: the repeat
// rule, then the tag list and its rules at the local time (or learning),
// then passing it on to rdx. Every read gives exactly one line: source,
// tag, outcome, and for a refusal the line of the list that decided.
class Dispatcher {
public:
	enum Outcome {
		kPassedOn,
		kUnknown,
		kRepeat,
		kLearned,
		kListedWhileLearning,
		kNoRdx,
		kNotDelivered,
		kNotLearned,
		// Listed, but its line's rules refuse it now.
		kOff,
		kNotYetValid,
		kExpired,
		kOutsideHours,
		kBadRule,
		// It would have passed, but the door is in lockdown: not passed
		// on (rdx would refuse it anyway).
		kLockdown,
	};

	enum Mode {
		// Only listed tags pass: fail-secure.
		kListed,
		// Every tag passes, as a reader without a list would do.
		kAnyTag,
		// Unknown tags are added to the list; nothing passes.
		kLearn,
	};

							Dispatcher(TagList& tags, RepeatFilter& repeats,
								TagPoster& poster, Mode mode,
								FILE* output = stdout);

			Outcome			Dispatch(const std::string& source,
								const std::string& tag);
			Outcome			Dispatch(const std::string& source,
								const std::string& tag, bigtime_t now);

	// The words of the outcome in the line.
	static	const char*		OutcomeText(Outcome outcome);
	// The outcome of a tag's rules.
	static	Outcome			OutcomeOf(const TagDecision& decision);

	// Whether the door is in lockdown (LockdownFile, as the reader loop
	// watches it): a read that would pass is then refused.
			void			SetLockdown(bool on) { fLockdown = on; }
			bool			InLockdown() const { return fLockdown; }

	// Where every read is recorded as well; none by default.
			void			SetLog(AccessLog* log) { fLog = log; }
	// Who tells the desk about cards the list does not know; none by
	// default. Only reads decided by the list are told, not learning.
			void			SetAnnouncer(CardAnnouncer* announcer)
								{ fAnnouncer = announcer; }

private:
			Outcome			_Decide(const std::string& source,
								const std::string& tag, bool listed,
								bigtime_t now, std::string* detail);

			TagList&		fTags;
			RepeatFilter&	fRepeats;
			TagPoster&		fPoster;
			Mode			fMode;
			FILE*			fOutput;
			AccessLog*		fLog = nullptr;
			CardAnnouncer*	fAnnouncer = nullptr;
			bool			fLockdown = false;
};

#endif
