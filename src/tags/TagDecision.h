#ifndef TAG_DECISION_H
#define TAG_DECISION_H

#include "LocalTime.h"
#include "TagFile.h"

#include <string>

// Whether a tag may pass at a moment, and why: a pure function of the list
// and the time the caller gives (its wall clock for weekly hours, the
// moment itself for validity dates), the same for live reads and for
// "rdx-reader --check".
class TagDecision {
public:
	enum Verdict {
		kPass,
		kUnknown,		// no line lists it
		kOff,
		kNotYetValid,
		kExpired,
		kOutsideHours,
		kBadRule,		// its line cannot be read: fail-secure
		kPinWanted,		// it passes once its PIN is typed after it
	};

	static	TagDecision		Decide(const TagFile& file, const std::string& tag,
								const LocalTime& time);

			Verdict			What() const { return fVerdict; }
	// Whether the tag alone lets its holder in: never when a PIN is
	// wanted, so that a caller who knows nothing of PINs opens nothing.
			bool			Passes() const { return fVerdict == kPass; }
			bool			WantsPin() const
								{ return fVerdict == kPinWanted; }
	// The line that decided; null for kUnknown.
			const TagLine*	Line() const { return fLine; }
	// The word for the line and the log: "pass", "unknown", "off",
	// "not-yet-valid", "expired", "outside-hours", "bad-rule",
	// "pin-wanted".
			const char*		Word() const { return VerdictWord(fVerdict); }
	static	const char*		VerdictWord(Verdict verdict);
	// For kBadRule: what is wrong with the line.
			const std::string& Detail() const { return fDetail; }

private:
	// Whether any "pin" item of the rules asks for the PIN at the time.
	static	bool			AsksPin(const TagFile& file,
								const TagRules& rules, const LocalTime& time);

			Verdict			fVerdict = kUnknown;
			const TagLine*	fLine = nullptr;
			std::string		fDetail;
};

#endif
