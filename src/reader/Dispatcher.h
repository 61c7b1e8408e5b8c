#ifndef DISPATCHER_H
#define DISPATCHER_H

#include <OS.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class AccessLog;
class CardAnnouncer;
class PinBuffer;
class PinLocks;
class RepeatFilter;
class TagDecision;
class TagList;
class TagPoster;

// Decides, once for all sources, what becomes of a tag read: the repeat
// rule, then the tag list and its rules at the local time (or learning),
// then passing it on to rdx. Every read gives exactly one line: source,
// tag, outcome, and for a refusal the line of the list that decided.
//
// A tag whose rules want a PIN now is not passed on: the reader that read
// it waits for the PIN (its next digits and Enter) for a while, and only
// the right PIN passes it on, with the time to deliver it counted from
// the PIN's Enter. A wrong PIN, or none in time, opens nothing; too many
// wrong ones in a row refuse the tag for a while (PinLocks). The PIN's
// outcome is a line and a record of its own, with the tag, never the
// digits.
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
		// A PIN after the tag:
		kPinWanted,		// waiting for it at that reader
		kWrongPin,
		kNoPin,			// none in time, or a reader without keys
		kPinLocked,		// too many wrong PINs in a row: refused
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
	// keys: whether the source can take a PIN typed after the tag. When the
	// outcome is kPinWanted, the source is to await it.
			Outcome			Dispatch(const std::string& source,
								const std::string& tag, bigtime_t now,
								bool keys);

	// How PINs are taken: how long a reader waits for one, and the locks
	// after wrong ones. Without locks no tag that wants a PIN passes.
			void			SetPins(PinLocks* locks, bigtime_t wait)
								{ fLocks = locks; fPinWait = wait; }
	// The PIN typed at the source after the tag it waits for (the source
	// overwrites it afterwards). now is the time of its Enter.
			Outcome			PinEntered(const std::string& source,
								const PinBuffer& pin, bigtime_t now);
	// Ends every wait whose time is up at now, each with a no-pin line;
	// the sources whose wait ended, which stop awaiting a PIN.
			std::vector<std::string> EndLateWaits(bigtime_t now);
			bool			IsAwaitingPin(const std::string& source) const
								{ return fWaits.count(source) > 0; }
	// When the first wait ends; B_INFINITE_TIMEOUT when none is running.
			bigtime_t		NextPinDeadline() const;

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
	struct PinWait {
		std::string		tag;
		std::string		hash;
		bigtime_t		deadline;
	};

			Outcome			_Decide(const std::string& source,
								const std::string& tag, bool listed,
								bigtime_t now, bool keys,
								std::string* detail);
			Outcome			_Post(const std::string& source,
								const std::string& tag, bigtime_t since,
								std::string* detail);
			Outcome			_CheckPin(const std::string& source,
								const PinWait& wait, const PinBuffer& pin,
								bigtime_t now, std::string* detail);
			void			_Report(const std::string& source,
								const std::string& tag, Outcome outcome,
								const std::string& detail);

			TagList&		fTags;
			RepeatFilter&	fRepeats;
			TagPoster&		fPoster;
			Mode			fMode;
			FILE*			fOutput;
			AccessLog*		fLog = nullptr;
			CardAnnouncer*	fAnnouncer = nullptr;
			PinLocks*		fLocks = nullptr;
			bigtime_t		fPinWait = 10000000;
			std::map<std::string, PinWait> fWaits;
			bool			fLockdown = false;
};

#endif
