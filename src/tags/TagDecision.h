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
	};

	static	TagDecision		Decide(const TagFile& file, const std::string& tag,
								const LocalTime& time);

			Verdict			What() const { return fVerdict; }
			bool			Passes() const { return fVerdict == kPass; }
	// The line that decided; null for kUnknown.
			const TagLine*	Line() const { return fLine; }
	// The word for the line and the log: "pass", "unknown", "off",
	// "not-yet-valid", "expired", "outside-hours", "bad-rule".
			const char*		Word() const { return VerdictWord(fVerdict); }
	static	const char*		VerdictWord(Verdict verdict);
	// For kBadRule: what is wrong with the line.
			const std::string& Detail() const { return fDetail; }

private:
			Verdict			fVerdict = kUnknown;
			const TagLine*	fLine = nullptr;
			std::string		fDetail;
};

#endif
