#ifndef TAG_LINE_H
#define TAG_LINE_H

#include "TagRules.h"
#include "WeeklyHours.h"

#include <string>

// One line of the tag list as it was read: its number and its exact text
// (kept so that a writer can put back every line it did not change byte
// for byte), and what it says:
//
//	# a comment                         kComment (or kBlank)
//	@staff = Mo-Fr 07:00-19:00          kHours: a named set of hours
//	0014594826 front desk | @staff      kTag: tag, name, rules
//	04A1B2C3 # a learned card           kTag without rules
//
// A line whose rules or hours cannot be read keeps its kind and its tag,
// with Problem() saying what is wrong: its tag is let in never. A line
// that is not even that is kMalformed.
class TagLine {
public:
	enum Kind {
		kBlank,
		kComment,
		kTag,
		kHours,
		kMalformed,
	};

	// text without its '\n' (a '\r' before it is kept, and ignored).
	static	TagLine			Parse(int number, const std::string& text);

			int				Number() const { return fNumber; }
			void			SetNumber(int number) { fNumber = number; }
			const std::string& Text() const { return fText; }
			Kind			What() const { return fKind; }
	// Empty when the line can be used.
			const std::string& Problem() const { return fProblem; }

	// kTag: the tag in upper case, the name, whether a '|' gave rules.
			const std::string& Tag() const { return fTag; }
			const std::string& Name() const { return fName; }
			bool			HasRules() const { return fHasRules; }
			const TagRules&	Rules() const { return fRules; }
	// The text after the '|', as written (trimmed).
			const std::string& RulesText() const { return fRulesText; }

	// kHours: the set's name without '@', and its hours.
			const std::string& HoursName() const { return fHoursName; }
			const WeeklyHours& Hours() const { return fHours; }

	// The text of a tag's line as a writer makes it: "TAG NAME | RULES",
	// or without the '|' when rules is empty. Control characters in the
	// name become blanks.
	static	std::string		Compose(const std::string& tag,
								const std::string& name,
								const std::string& rules);
	// Whether a tag can stand as the first word of a line and be read back
	// as itself: no blank, no control character, no '#' or '|', no leading
	// '@', 1 to 64 bytes.
	static	bool			IsWritableTag(const std::string& tag);

private:
			int				fNumber = 0;
			std::string		fText;
			Kind			fKind = kBlank;
			std::string		fProblem;
			std::string		fTag;
			std::string		fName;
			bool			fHasRules = false;
			TagRules		fRules;
			std::string		fRulesText;
			std::string		fHoursName;
			WeeklyHours		fHours;
};

#endif
