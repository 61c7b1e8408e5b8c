#ifndef TAG_LINE_H
#define TAG_LINE_H

#include "TagRules.h"
#include "WeeklyHours.h"

#include <SupportDefs.h>

#include <memory>
#include <string>
#include <string_view>

// One line of the tag list as it was read: its number and its exact text
// (kept so that a writer can put back every line it did not change byte
// for byte), and what it says:
//
//	# a comment                         kComment (or kBlank)
//	@staff = Mo-Fr 07:00-19:00          kHours: a named set of hours
//	0014594826 front desk | @staff      kTag: tag, name, rules
//	04A1B2C3 # a learned card           kTag without rules
//
// The grammar is README's "The list, exactly", and nothing more: a line
// that could be read two ways (a '|' after the '#', a second '|', a
// character that looks like a '|', a control character, a byte outside
// ASCII by the tag) cannot be read at all. Such a line keeps its kind and
// its tag or set name, with Problem() saying what is wrong: that tag, or
// every tag that uses that set, is let in never. A line that has not even
// a tag or a name is kMalformed.
//
// A list holds ten thousand of these: a line keeps its text and where in
// it the parts are, and gives the parts (and its rules) when asked.
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
	static	TagLine			Parse(int number, std::string text);

			int				Number() const { return fNumber; }
			void			SetNumber(int number) { fNumber = number; }
			const std::string& Text() const { return fText; }
			Kind			What() const { return (Kind)fKind; }
	// Empty when the line can be used.
			std::string		Problem() const;

	// kTag: the tag in upper case, the name, whether a '|' gave rules.
			std::string		Tag() const;
	// The tag as written, for comparing without a copy.
			std::string_view TagText() const
								{ return _Part(fTagAt, fTagLength); }
			std::string		Name() const;
			bool			HasRules() const { return fHasRules; }
	// Read from the text again on every call: a list keeps no more than
	// its lines.
			TagRules		Rules() const;
	// The text after the '|' up to the comment, as written (trimmed).
			std::string		RulesText() const;
			std::string_view RulesView() const
								{ return _Part(fRulesAt, fRulesLength); }
	// Where that text starts in Text(): a writer may change the rules and
	// keep every other byte of the line.
			size_t			RulesOffset() const { return fRulesAt; }

	// kHours: the set's name without '@', and its hours.
			std::string		HoursName() const;
			const WeeklyHours& Hours() const;

	// The text of a tag's line as a writer makes it: "TAG NAME | RULES",
	// or without the '|' when rules is empty. Control characters in the
	// name become blanks.
	static	std::string		Compose(const std::string& tag,
								const std::string& name,
								const std::string& rules);
	// Whether a tag can stand as the first word of a line and be read back
	// as itself: printable ASCII without '#' or '|', no leading '@', 1 to
	// 64 bytes.
	static	bool			IsWritableTag(const std::string& tag);

private:
	// What only some lines have: a problem, a set of hours.
	struct Detail {
		std::string		problem;
		std::string		hoursName;
		WeeklyHours		hours;
	};

			std::string_view _Part(uint32 at, uint32 length) const
								{ return std::string_view(fText).substr(at,
									length); }
			Detail&			_Detail();
			void			_ParseHours(std::string_view all, size_t start,
								const std::string& problem);

			std::string		fText;
			std::shared_ptr<const Detail> fDetail;
			int				fNumber = 0;
			uint32			fTagAt = 0;
			uint32			fTagLength = 0;
			uint32			fNameAt = 0;
			uint32			fNameLength = 0;
			uint32			fRulesAt = 0;
			uint32			fRulesLength = 0;
			uint8			fKind = kBlank;
			bool			fHasRules = false;
};

#endif
