#ifndef TAG_FORM_H
#define TAG_FORM_H

#include <SupportDefs.h>

#include <string>
#include <vector>

class TagFile;
class TagLine;
class TagListEditor;

// What the add and change dialog holds, without the dialog: a tag, its
// name, when it may open (always, off, hours in rows of days and times, a
// named set of hours, or rules as the list writes them) and its validity
// dates. It is filled from a line of the list and made into one; input the
// list cannot hold is refused with a few words naming the field, and
// nothing is changed.
//
// The form keeps nothing it does not show: rules that its fields cannot
// hold exactly ("off ; Mo-Su 00:00-24:00", more windows than it has rows,
// hours beside a named set) are shown as written, and whatever is saved
// is what the fields say, no more.
class TagForm {
public:
	enum When {
		kAlways,
		kOff,
		kHours,
		kNamedSet,
		kWritten,
	};

	// When the PIN typed after the tag is asked: never, always, while a
	// named set's hours hold or while they do not; kPinWritten when the
	// line's "pin" items are more than that and stand in the rules as
	// written.
	enum PinWhen {
		kNoPin,
		kPinAlways,
		kPinInSet,
		kPinOutsideSet,
		kPinWritten,
	};

	struct HoursRow {
		std::string	days;		// "Mo-Fr", "Sa"
		std::string	from;		// "07:00"
		std::string	to;			// "19:00"
	};

	// The number of hours rows the dialog shows.
	static	const int		kRows = 3;

							TagForm();

	// The form of a line of the list. Its fields say exactly what the
	// line's rules say, or the rules are shown as written (kWritten). A
	// line that cannot be read is never shown as "always": its rules are
	// shown as written, maybe none, and the operator chooses anew.
	static	TagForm			FromLine(const TagLine& line);
	// The form of a named set's hours (what follows its '='): in rows
	// when they hold them exactly, else as written.
	static	TagForm			FromHours(const std::string& hours);

	// The text after the '|' that the form stands for; false with *problem
	// ("valid from: not a date") when a field cannot be read.
			bool			Rules(std::string* rules,
								std::string* problem) const;
	// The hours alone, for a named set: the rows, or the text as written.
			bool			Hours(std::string* hours,
								std::string* problem) const;
	// Writes the form into the list as a change of oldTag's line, or as a
	// new line when oldTag is empty; B_OK, or the refusal in *problem.
			status_t		Apply(TagListEditor& editor,
								const std::string& oldTag,
								std::string* problem) const;

	// A date as written in the form, "31.03.2027" or "2027-03-31", with an
	// optional " HH:MM", in the list's way ("2027-03-31"); false for
	// another text.
	static	bool			ListDate(const std::string& text,
								std::string* date);
	// A date of the list as the form and the table show it, "31.03.2027"
	// (and the time after it, if any).
	static	std::string		ShownDate(const std::string& date);

			std::string		tag;
			std::string		name;
			When			when = kAlways;
			std::vector<HoursRow> rows;
			std::string		namedSet;
	// kWritten: the rules as the list writes them, without the dates,
	// which are in their own fields.
			std::string		written;
	// Why the line cannot be read, when it cannot: it lets its tag in
	// never, and the dialog says so as it opens.
			std::string		unreadable;
			std::string		validFrom;
			std::string		validUntil;
			PinWhen			pinWhen = kNoPin;
			std::string		pinSet;
	// The PIN as the list keeps it (its slow hash, never the digits): the
	// line's, or a new one the dialog made. Without a PIN asked it is not
	// written.
			std::string		pinHash;

private:
			bool			_WhenItems(std::vector<std::string>* items,
								std::string* problem) const;
};

// The hours of a named set's line as written after its '=', without the
// blanks around them and without a comment after them.
std::string hours_of(const TagLine& line);

// When the line's tag may open, in words for the table: "always", "off",
// "Mo-Fr 07:00-19:00, until 31.03.2027", "@staff", or "never: WHY (line
// 12)" for a line that cannot be used. Translated through the locale where
// it has words of its own.
std::string when_in_words(const TagFile& file, const TagLine& line);

#endif
