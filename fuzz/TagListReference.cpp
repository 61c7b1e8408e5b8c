// The tag list read a second time, as plainly as it can be written, from
// the README's section "The list, exactly". The parts below follow that
// section's paragraphs in their order; each quotes the sentence it carries
// out, so that a reader can hold the two side by side.
//
// Where the text leaves a question open, the place is marked "Open
// question" and says which way was taken and why.

#include "TagListReference.h"

#include <set>


namespace {

const size_t kMaxTagBytes = 64;
const size_t kMaxSetNameBytes = 64;


// ---- Lines -------------------------------------------------------------

// "Lines end with a line feed; one carriage return right before it (or at
// the end of the file) is ignored, so a list saved with Windows line ends
// reads the same."
std::vector<std::string>
split_lines(const std::string& text)
{
	std::vector<std::string> lines;
	size_t start = 0;
	while (start < text.size()) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		lines.push_back(line);
		start = end + 1;
	}
	return lines;
}


// "A *blank* is a space or a tab."
bool
is_blank(char c)
{
	return c == ' ' || c == '\t';
}


// "Any other control character on a line (a carriage return inside it, a
// NUL, a form feed, DEL) makes the line unreadable."
// Open question: the list is read as bytes, so a control character is taken
// to be an ASCII one (0 to 31 and 127); bytes from 128 on are ordinary.
bool
has_control_character(const std::string& line)
{
	for (char c : line) {
		unsigned char byte = static_cast<unsigned char>(c);
		if (byte == '\t')
			continue;
		if (byte < 0x20 || byte == 0x7f)
			return true;
	}
	return false;
}


// "A character that looks like a `|` anywhere on the line (`¦` U+00A6,
// `ǀ` U+01C0, `׀` U+05C0, `∣` U+2223, `│` U+2502, `❘` U+2758, `｜` U+FF5C,
// `￨` U+FFE8 ...)"; on a set's line "a `|` or a character that looks like
// one anywhere on it".
bool
has_look_alike(const std::string& line)
{
	static const char* const kLookAlikes[] = {"\u00A6", "\u01C0",
		"\u05C0", "\u2223", "\u2502", "\u2758", "\uFF5C", "\uFFE8"};
	for (const char* bar : kLookAlikes) {
		if (line.find(bar) != std::string::npos)
			return true;
	}
	return false;
}


std::string
trim_blanks(const std::string& text)
{
	size_t start = 0;
	while (start < text.size() && is_blank(text[start]))
		start++;
	size_t end = text.size();
	while (end > start && is_blank(text[end - 1]))
		end--;
	return text.substr(start, end - start);
}


// Words separated by one or more blanks.
std::vector<std::string>
split_at_blanks(const std::string& text)
{
	std::vector<std::string> words;
	std::string word;
	for (char c : text) {
		if (is_blank(c)) {
			if (!word.empty())
				words.push_back(word);
			word.clear();
			continue;
		}
		word += c;
	}
	if (!word.empty())
		words.push_back(word);
	return words;
}


// Every piece between the separators, empty ones included.
std::vector<std::string>
split_at(const std::string& text, char separator)
{
	std::vector<std::string> pieces;
	size_t start = 0;
	while (true) {
		size_t end = text.find(separator, start);
		if (end == std::string::npos) {
			pieces.push_back(text.substr(start));
			return pieces;
		}
		pieces.push_back(text.substr(start, end - start));
		start = end + 1;
	}
}


std::string
ascii_lower(const std::string& text)
{
	std::string lower = text;
	for (char& c : lower) {
		if (c >= 'A' && c <= 'Z')
			c = c - 'A' + 'a';
	}
	return lower;
}


// ---- Nothing and comments ----------------------------------------------

// "A line that is empty or only blanks says nothing. A line whose first
// character after blanks is `#` is a comment." "A line whose first
// character after blanks is `@` defines a set". "Every other line is"
// a tag line.
enum LineKind {
	kNothing,
	kComment,
	kSetLine,
	kTagLine
};


size_t
first_after_blanks(const std::string& line)
{
	for (size_t i = 0; i < line.size(); i++) {
		if (!is_blank(line[i]))
			return i;
	}
	return std::string::npos;
}


LineKind
kind_of(const std::string& line)
{
	size_t first = first_after_blanks(line);
	if (first == std::string::npos)
		return kNothing;
	if (line[first] == '#')
		return kComment;
	if (line[first] == '@')
		return kSetLine;
	return kTagLine;
}


// ---- Time --------------------------------------------------------------
// (Placed before the rules because the rules need it.)

// The local wall clock at a moment, counted in seconds as if that wall
// clock were UTC, so that wall times can be compared and searched for.
bool
wall_seconds(time_t moment, time_t& wall)
{
	struct tm local;
	if (localtime_r(&moment, &local) == nullptr)
		return false;
	wall = timegm(&local);
	return true;
}


time_t
wall_time_of(int year, int month, int day, int hour, int minute)
{
	struct tm wall = {};
	wall.tm_year = year - 1900;
	wall.tm_mon = month - 1;
	wall.tm_mday = day;
	wall.tm_hour = hour;
	wall.tm_min = minute;
	// timegm counts days past the month's end on into the next month.
	return timegm(&wall);
}


// Every moment at which the local wall clock shows `wall`: none in an hour
// that the clocks skip, two in an hour that happens twice. No time zone is
// more than 26 hours off UTC, so the offsets in force from 30 hours before
// to 30 hours after hold every offset that can reach this wall time.
std::vector<time_t>
moments_showing(time_t wall)
{
	std::set<time_t> offsets;
	for (int hour = -30; hour <= 30; hour++) {
		time_t sample = wall + hour * 3600;
		time_t sampleWall;
		if (wall_seconds(sample, sampleWall))
			offsets.insert(sampleWall - sample);
	}
	std::set<time_t> moments;
	for (time_t offset : offsets) {
		time_t candidate = wall - offset;
		time_t candidateWall;
		if (wall_seconds(candidate, candidateWall) && candidateWall == wall)
			moments.insert(candidate);
	}
	return std::vector<time_t>(moments.begin(), moments.end());
}


time_t
offset_at(time_t moment)
{
	time_t wall = 0;
	wall_seconds(moment, wall);
	return wall - moment;
}


// The moment the clocks jump over a wall time that they skip: the first
// second whose wall clock is past it while the second before showed a
// time before it.
bool
jump_over(time_t wall, time_t& jump)
{
	for (int hour = -30; hour < 30; hour++) {
		time_t low = wall + hour * 3600;
		time_t high = low + 3600;
		time_t lowOffset = offset_at(low);
		if (offset_at(high) == lowOffset)
			continue;
		// The offset changes within this hour: find the first second of
		// the new one.
		while (high - low > 1) {
			time_t middle = low + (high - low) / 2;
			if (offset_at(middle) == lowOffset)
				low = middle;
			else
				high = middle;
		}
		time_t before;
		time_t after;
		if (!wall_seconds(high - 1, before) || !wall_seconds(high, after))
			continue;
		if (before < wall && wall < after) {
			jump = high;
			return true;
		}
	}
	return false;
}


// "`from` and `until` name moments, read so that a period is never longer
// than written: of a time that happens twice, `until` means the first and
// `from` the second; a time that the clocks skip means the moment they
// jump."
enum DateWord {
	kFromWord,
	kUntilWord
};


bool
place_moment(DateWord word, time_t wall, time_t& moment)
{
	std::vector<time_t> moments = moments_showing(wall);
	if (!moments.empty()) {
		moment = word == kUntilWord ? moments.front() : moments.back();
		return true;
	}
	return jump_over(wall, moment);
}


// "Weekly hours compare with the machine's wall clock: on the day the
// clocks go forward the skipped hour matches nothing, on the day they go
// back the repeated hour matches both times." The wall clock at the
// moment is what localtime shows, which does exactly that.
// A window runs from its start up to, not including, its end: the README's
// own example has `Mo-Fr 08:00-17:00` refuse at 17:00.
bool
window_holds(const ReferenceWindow& window, time_t when)
{
	struct tm local;
	if (localtime_r(&when, &local) == nullptr)
		return false;
	int day = (local.tm_wday + 6) % 7;
	long second = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
	long start = window.startMinute * 60L;
	long end = window.endMinute * 60L;
	if (window.endMinute > window.startMinute)
		return day == window.day && second >= start && second < end;
	// "an end before the start runs past midnight into the next day, and
	// the window belongs to the day it starts on"
	if (day == window.day && second >= start)
		return true;
	return day == (window.day + 1) % 7 && second < end;
}


// ---- Rules: weekly hours -----------------------------------------------

// "DAYS is a day (`Mo Tu We Th Fr Sa Su`, or the German `Di Mi Do So`)"
// "The words `off`, `from`, `until` and the day names are read in any
// case." Monday is 0.
int
day_number(const std::string& word)
{
	std::string lower = ascii_lower(word);
	if (lower == "mo")
		return 0;
	if (lower == "tu" || lower == "di")
		return 1;
	if (lower == "we" || lower == "mi")
		return 2;
	if (lower == "th" || lower == "do")
		return 3;
	if (lower == "fr")
		return 4;
	if (lower == "sa")
		return 5;
	if (lower == "su" || lower == "so")
		return 6;
	return -1;
}


// "or two different days joined by `-` (`Mo-Fr`; `Fr-Mo` runs over the
// weekend)"
bool
read_days(const std::string& word, std::vector<int>& days)
{
	std::vector<std::string> parts = split_at(word, '-');
	if (parts.size() == 1) {
		int day = day_number(parts[0]);
		if (day < 0)
			return false;
		days.push_back(day);
		return true;
	}
	if (parts.size() != 2)
		return false;
	int first = day_number(parts[0]);
	int last = day_number(parts[1]);
	if (first < 0 || last < 0 || first == last)
		return false;
	for (int day = first; day != last; day = (day + 1) % 7)
		days.push_back(day);
	days.push_back(last);
	return true;
}


bool
all_digits(const std::string& text)
{
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
	}
	return !text.empty();
}


// The value of a few decimal digits (the callers have checked them).
int
number_of(const std::string& digits)
{
	int value = 0;
	for (char c : digits)
		value = value * 10 + (c - '0');
	return value;
}


// One end of a range: `H:MM` or `HH:MM`. The hour is read here and judged
// by the caller, since `24:00` may stand only at the end.
bool
read_clock(const std::string& text, int& hour, int& minute)
{
	size_t colon = text.find(':');
	if (colon == std::string::npos)
		return false;
	std::string hours = text.substr(0, colon);
	std::string minutes = text.substr(colon + 1);
	if (hours.size() < 1 || hours.size() > 2 || !all_digits(hours))
		return false;
	if (minutes.size() != 2 || !all_digits(minutes))
		return false;
	hour = number_of(hours);
	minute = number_of(minutes);
	return minute <= 59;
}


// "RANGE is START-END without blanks, each of them `H:MM` or `HH:MM`
// (`7:00-19:00`), hours 0 to 23 (`24:00` only as an end)" "A range's start
// and end differ".
bool
read_range(const std::string& word, int& startMinute, int& endMinute)
{
	std::vector<std::string> ends = split_at(word, '-');
	if (ends.size() != 2)
		return false;
	int startHour, startMin, endHour, endMin;
	if (!read_clock(ends[0], startHour, startMin)
		|| !read_clock(ends[1], endHour, endMin))
		return false;
	if (startHour > 23)
		return false;
	bool endIsMidnight = ends[1] == "24:00";
	if (endHour > 23 && !endIsMidnight)
		return false;
	startMinute = startHour * 60 + startMin;
	endMinute = endHour * 60 + endMin;
	return startMinute != endMinute;
}


// "Weekly hours: `DAYS RANGE [RANGE…]`, several such groups separated by
// `,`." "separated from the days and from each other by blanks"
// Open question: blanks around the `,` are not spoken of; the README's own
// example has one after it. Any number of blanks on either side is taken.
bool
read_weekly_hours(const std::string& text,
	std::vector<ReferenceWindow>& windows, std::string& whyNot)
{
	for (const std::string& piece : split_at(text, ',')) {
		std::vector<std::string> words = split_at_blanks(piece);
		if (words.empty()) {
			whyNot = "an empty group of weekly hours";
			return false;
		}
		std::vector<int> days;
		if (!read_days(words[0], days)) {
			whyNot = "not days: " + words[0];
			return false;
		}
		if (words.size() < 2) {
			whyNot = "days without a time range";
			return false;
		}
		for (size_t i = 1; i < words.size(); i++) {
			int startMinute, endMinute;
			if (!read_range(words[i], startMinute, endMinute)) {
				whyNot = "not a time range: " + words[i];
				return false;
			}
			for (int day : days) {
				ReferenceWindow window;
				window.day = day;
				window.startMinute = startMinute;
				window.endMinute = endMinute;
				windows.push_back(window);
			}
		}
	}
	return true;
}


// ---- Named sets of hours -----------------------------------------------

struct SetLine {
	std::string		name;
	bool			readable = false;
	std::string		whyNot;
	std::vector<ReferenceWindow> windows;
};


// "NAME is 1 to 64 ASCII letters, digits, `-` and `_`"
bool
is_name_character(char c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
		|| (c >= '0' && c <= '9') || c == '-' || c == '_';
}


bool
is_set_name(const std::string& name)
{
	if (name.empty() || name.size() > kMaxSetNameBytes)
		return false;
	for (char c : name) {
		if (!is_name_character(c))
			return false;
	}
	return true;
}


// "`@NAME = HOURS`, optionally followed by a comment." "blanks around the
// `=` are allowed" "HOURS are weekly hours as below (not `@NAME`, dates or
// `off`)." "The line defines the set named by the letters, digits, `-` and
// `_` after the `@`, also when the rest of it cannot be read" "and so is
// `@ crew = …`, with a blank after the `@`" "A line with no name after the
// `@` defines nothing and cannot be read." "A set whose first line cannot
// be read (no `=`, hours that cannot be read, a name longer than 64, a `|`
// anywhere on it, its comment too) lets in never"
SetLine
read_set_line(const std::string& line)
{
	SetLine set;
	size_t at = first_after_blanks(line);
	size_t nameStart = at + 1;
	while (nameStart < line.size()
		&& (line[nameStart] == ' ' || line[nameStart] == '\t'))
		nameStart++;
	size_t nameEnd = nameStart;
	while (nameEnd < line.size() && is_name_character(line[nameEnd]))
		nameEnd++;
	set.name = line.substr(nameStart, nameEnd - nameStart);

	if (has_control_character(line)) {
		set.whyNot = "a control character";
		return set;
	}
	if (line.find('|') != std::string::npos || has_look_alike(line)) {
		set.whyNot = "a | on a set's line";
		return set;
	}
	if (!is_set_name(set.name)) {
		set.whyNot = "not a set name";
		return set;
	}
	if (nameStart != at + 1) {
		set.whyNot = "a blank after the @";
		return set;
	}
	// "Anywhere else a `#` also starts a comment that runs to the end of
	// the line"
	size_t hash = line.find('#', nameEnd);
	std::string body = trim_blanks(line.substr(nameEnd,
		hash == std::string::npos ? std::string::npos : hash - nameEnd));
	if (body.empty() || body[0] != '=') {
		set.whyNot = "no = after the name";
		return set;
	}
	std::string hours = trim_blanks(body.substr(1));
	if (!read_weekly_hours(hours, set.windows, set.whyNot))
		return set;
	set.readable = true;
	return set;
}


// "A set defined on several lines is its first line; the later ones do not
// count".
const SetLine*
find_set(const std::vector<SetLine>& sets, const std::string& name)
{
	for (const SetLine& set : sets) {
		// "compared exactly (`@Staff` is not `@staff`)"
		if (set.name == name)
			return &set;
	}
	return nullptr;
}


// ---- Rules: dates ------------------------------------------------------

int
days_in_month(int year, int month)
{
	static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
	if (month == 2 && leap)
		return 29;
	return kDays[month - 1];
}


// "DATE is `YYYY-MM-DD`, a date that exists, from 1970 on"
bool
read_date(const std::string& word, int& year, int& month, int& day)
{
	if (word.size() != 10 || word[4] != '-' || word[7] != '-')
		return false;
	std::string years = word.substr(0, 4);
	std::string months = word.substr(5, 2);
	std::string days = word.substr(8, 2);
	if (!all_digits(years) || !all_digits(months) || !all_digits(days))
		return false;
	year = number_of(years);
	month = number_of(months);
	day = number_of(days);
	if (year < 1970 || month < 1 || month > 12)
		return false;
	return day >= 1 && day <= days_in_month(year, month);
}


// "`HH:MM` is 00:00 to 23:59, two digits each"
bool
read_date_time(const std::string& word, int& hour, int& minute)
{
	if (word.size() != 5 || word[2] != ':')
		return false;
	std::string hours = word.substr(0, 2);
	std::string minutes = word.substr(3, 2);
	if (!all_digits(hours) || !all_digits(minutes))
		return false;
	hour = number_of(hours);
	minute = number_of(minutes);
	return hour <= 23 && minute <= 59;
}


// "`from DATE[ HH:MM]` and `until DATE[ HH:MM]`" "one or more blanks after
// the date" "A date alone means `00:00` of that day for `from` and `00:00`
// of the next day for `until` (to the end of that day)."
// Open question: the blanks between the word and the date are not spoken
// of; like those after the date, one or more are taken.
bool
read_date_item(DateWord word, const std::vector<std::string>& words,
	time_t& moment, std::string& whyNot)
{
	if (words.size() != 2 && words.size() != 3) {
		whyNot = "a date item that is not a word, a date and maybe a time";
		return false;
	}
	int year, month, day;
	if (!read_date(words[1], year, month, day)) {
		whyNot = "not a date: " + words[1];
		return false;
	}
	int hour = 0;
	int minute = 0;
	if (words.size() == 3 && !read_date_time(words[2], hour, minute)) {
		whyNot = "not a time of day: " + words[2];
		return false;
	}
	if (words.size() == 2 && word == kUntilWord)
		day++;
	if (!place_moment(word, wall_time_of(year, month, day, hour, minute),
			moment)) {
		whyNot = "a date and time that cannot be placed in time";
		return false;
	}
	return true;
}


// ---- Rules: a PIN -------------------------------------------------------

// "`pin HOURS` asks for the PIN while HOURS hold, `pin outside HOURS`
// while they do not; HOURS is either weekly hours as below or one `@NAME`
// (defined and readable, as for an `@NAME` item), separated from `pin`
// (and from `outside`) by blanks."
bool
read_pin_item(const std::string& item, const std::vector<SetLine>& sets,
	ReferencePinItem& pin, std::string& whyNot)
{
	std::vector<std::string> words = split_at_blanks(item);
	// "`pin`: the tag passes only with its PIN ... at any time."
	if (words.size() == 1) {
		pin.when = ReferencePinItem::kAlways;
		return true;
	}
	// What follows the word `pin` and its blanks.
	std::string hours = trim_blanks(item.substr(3));
	pin.when = ReferencePinItem::kWhile;
	if (ascii_lower(words[1]) == "outside") {
		pin.when = ReferencePinItem::kOutside;
		size_t at = hours.find_first_of(" \t");
		if (at == std::string::npos) {
			whyNot = "pin outside without hours";
			return false;
		}
		hours = trim_blanks(hours.substr(at));
	}
	if (hours[0] == '@') {
		std::string name = hours.substr(1);
		if (!is_set_name(name)) {
			whyNot = "not a set name after pin: " + hours;
			return false;
		}
		const SetLine* set = find_set(sets, name);
		if (set == nullptr || !set->readable) {
			whyNot = "no readable set after pin: " + hours;
			return false;
		}
		pin.windows = set->windows;
		return true;
	}
	return read_weekly_hours(hours, pin.windows, whyNot);
}


bool
is_hash_character(char c)
{
	return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
		|| (c >= '0' && c <= '9') || c == '+' || c == '/';
}


// "decimal without leading zeros"
bool
read_cost(const std::string& digits, int low, int high)
{
	if (!all_digits(digits) || digits.size() > 5
		|| (digits.size() > 1 && digits[0] == '0'))
		return false;
	int value = number_of(digits);
	return value >= low && value <= high;
}


// "`$argon2id$v=19$m=M,t=T,p=1$` followed by the salt (22 characters), `$`
// and the hash (43 characters), both of `A-Z a-z 0-9 + /`; M is 8 to 65536
// and T 1 to 10, decimal without leading zeros"
bool
is_pin_hash(const std::string& text)
{
	const std::string head = "$argon2id$v=19$m=";
	if (text.compare(0, head.size(), head) != 0)
		return false;
	size_t comma = text.find(',', head.size());
	if (comma == std::string::npos
		|| !read_cost(text.substr(head.size(), comma - head.size()), 8, 65536))
		return false;
	if (text.compare(comma, 3, ",t=") != 0)
		return false;
	size_t lanes = text.find(",p=1$", comma + 3);
	if (lanes == std::string::npos
		|| !read_cost(text.substr(comma + 3, lanes - comma - 3), 1, 10))
		return false;
	std::string rest = text.substr(lanes + 5);
	if (rest.size() != 22 + 1 + 43 || rest[22] != '$')
		return false;
	for (size_t i = 0; i < rest.size(); i++) {
		if (i != 22 && !is_hash_character(rest[i]))
			return false;
	}
	return true;
}


// Whether a `pin` item asks for the PIN at the moment.
bool
pin_item_asks(const ReferencePinItem& pin, time_t when)
{
	if (pin.when == ReferencePinItem::kAlways)
		return true;
	bool holds = false;
	for (const ReferenceWindow& window : pin.windows) {
		if (window_holds(window, when))
			holds = true;
	}
	return pin.when == ReferencePinItem::kWhile ? holds : !holds;
}


// ---- Tag lines, Read two ways, Rules -----------------------------------

// "Rules are items separated by `;`, with blanks around each allowed; an
// empty item (`;;`, a `;` at the end) makes the line unreadable."
bool
read_rules(const std::string& rules, const std::vector<SetLine>& sets,
	ReferenceTagLine& line)
{
	std::vector<std::string> items = split_at(rules, ';');
	for (size_t index = 0; index < items.size(); index++) {
		std::string item = trim_blanks(items[index]);
		if (item.empty()) {
			line.whyNot = "an empty item";
			return false;
		}
		std::vector<std::string> words = split_at_blanks(item);
		std::string first = ascii_lower(words[0]);

		// "`off`: the tag never passes."
		if (ascii_lower(item) == "off") {
			line.off = true;
			continue;
		}
		// "Each at most once on a line"
		if (first == "from") {
			if (line.hasFrom) {
				line.whyNot = "a second from";
				return false;
			}
			if (!read_date_item(kFromWord, words, line.from, line.whyNot))
				return false;
			line.hasFrom = true;
			continue;
		}
		if (first == "until") {
			if (line.hasUntil) {
				line.whyNot = "a second until";
				return false;
			}
			if (!read_date_item(kUntilWord, words, line.until, line.whyNot))
				return false;
			line.hasUntil = true;
			continue;
		}
		// "`pin`" items; "A line may have several `pin` items".
		if (first == "pin") {
			ReferencePinItem pin;
			if (!read_pin_item(item, sets, pin, line.whyNot))
				return false;
			line.pinItems.push_back(pin);
			continue;
		}
		// "`pinhash HASH`" "one word after blanks" "At most once on a line."
		if (first == "pinhash") {
			if (line.hasPinHash) {
				line.whyNot = "a second pinhash";
				return false;
			}
			if (words.size() != 2 || !is_pin_hash(words[1])) {
				line.whyNot = "not a PIN's hash";
				return false;
			}
			line.hasPinHash = true;
			continue;
		}
		// "`@NAME`: the hours of a named set, defined anywhere in the file."
		if (item[0] == '@') {
			std::string name = item.substr(1);
			if (!is_set_name(name)) {
				line.whyNot = "not a set name: " + item;
				return false;
			}
			const SetLine* set = find_set(sets, name);
			if (set == nullptr) {
				line.whyNot = "no such set: " + item;
				return false;
			}
			if (!set->readable) {
				line.whyNot = "a set that cannot be read: " + item;
				return false;
			}
			line.windows.insert(line.windows.end(), set->windows.begin(),
				set->windows.end());
			line.hasHours = true;
			continue;
		}
		// Weekly hours, or "Anything else (an unknown word, ...) makes the
		// line unreadable".
		if (!read_weekly_hours(item, line.windows, line.whyNot))
			return false;
		line.hasHours = true;
	}
	// "and the moment `until` names after the one `from` names (in
	// whichever order they are written)"
	if (line.hasFrom && line.hasUntil && line.until <= line.from) {
		line.whyNot = "until not after from";
		return false;
	}
	// "A line with a `pin` item but no `pinhash` lets its tag in never
	// (`bad-rule`), at any time, until its PIN is set"
	if (!line.pinItems.empty() && !line.hasPinHash) {
		line.whyNot = "a PIN asked but none set";
		return false;
	}
	return true;
}


// "Every other line is `TAG [NAME] [| RULES] [# COMMENT]`."
ReferenceTagLine
read_tag_line(const std::string& text, const std::vector<SetLine>& sets)
{
	ReferenceTagLine line;
	// "TAG is the first word, printable ASCII up to the first blank, `|`
	// or `#`" "Anything else right before or after the tag, in place of a
	// blank (a no-break space, a control character, a character outside
	// ASCII), makes the line unreadable, and the tag is the ASCII word by
	// it"
	size_t start = first_after_blanks(text);
	size_t tagStart = start;
	while (tagStart < text.size() && text[tagStart] != ' '
		&& text[tagStart] != '\t' && (text[tagStart] < ' '
			|| text[tagStart] >= 0x7f))
		tagStart++;
	size_t tagEnd = tagStart;
	while (tagEnd < text.size() && text[tagEnd] > ' ' && text[tagEnd] < 0x7f
		&& text[tagEnd] != '|' && text[tagEnd] != '#')
		tagEnd++;
	bool oddBeside = tagStart != start || (tagEnd < text.size()
		&& text[tagEnd] != ' ' && text[tagEnd] != '\t' && text[tagEnd] != '|'
		&& text[tagEnd] != '#');
	line.tag = text.substr(tagStart, tagEnd - tagStart);
	std::string rest = text.substr(tagEnd);
	// "Anywhere else a `#` also starts a comment that runs to the end of
	// the line, wherever it stands"
	size_t hash = rest.find('#');
	std::string body = rest.substr(0, hash);
	std::string comment = hash == std::string::npos ? "" : rest.substr(hash);

	if (has_control_character(text)) {
		line.whyNot = "a control character";
		return line;
	}
	// "1 to 64 bytes"
	if (line.tag.empty() || line.tag.size() > kMaxTagBytes) {
		line.whyNot = "no tag of 1 to 64 bytes";
		return line;
	}
	if (oddBeside) {
		line.whyNot = "something else than a blank by the tag";
		return line;
	}
	if (has_look_alike(text)) {
		line.whyNot = "a character that looks like a |";
		return line;
	}
	// "A `|` after a `#` on a tag line" "Such a line lets its tag in never"
	if (comment.find('|') != std::string::npos) {
		line.whyNot = "a | after a #";
		return line;
	}
	size_t bar = body.find('|');
	// "A line without a `|` lets its tag in at any time."
	if (bar == std::string::npos) {
		line.readable = true;
		return line;
	}
	// "A second `|`"
	if (body.find('|', bar + 1) != std::string::npos) {
		line.whyNot = "a second |";
		return line;
	}
	// "RULES is everything after the `|` up to the `#` or the end; a line
	// with a `|` and nothing after it ... lets its tag in never."
	std::string rules = trim_blanks(body.substr(bar + 1));
	if (rules.empty()) {
		line.whyNot = "nothing after the |";
		return line;
	}
	if (!read_rules(rules, sets, line))
		return line;
	line.readable = true;
	return line;
}


// "tags compare without regard to the case of the ASCII letters A-Z
// (`04a1b2c3` is `04A1B2C3`) and in no other way"
bool
same_tag(const std::string& listed, const std::string& presented)
{
	if (listed.empty())
		return false;
	return ascii_lower(listed) == ascii_lower(presented);
}


// ---- What decides ------------------------------------------------------

// "*What decides*, in this order: `off` gives `off`; before `from`,
// `not-yet-valid`; at or after `until`, `expired`; then, when the line has
// any hours (weekly hours or `@NAME`), the tag passes only while at least
// one of them holds, else `outside-hours`. A line with only dates passes
// within them."
ReferenceVerdict
decide_line(const ReferenceTagLine& line, time_t when)
{
	if (!line.readable)
		return kReferenceBadRule;
	if (line.off)
		return kReferenceOff;
	if (line.hasFrom && when < line.from)
		return kReferenceNotYetValid;
	if (line.hasUntil && when >= line.until)
		return kReferenceExpired;
	bool inside = !line.hasHours;
	for (const ReferenceWindow& window : line.windows) {
		if (window_holds(window, when))
			inside = true;
	}
	if (!inside)
		return kReferenceOutsideHours;
	// "Then, when the tag passes and a `pin` item asks for the PIN at that
	// moment, `pin-wanted`" "the PIN is asked when any of them asks"
	for (const ReferencePinItem& pin : line.pinItems) {
		if (pin_item_asks(pin, when))
			return kReferencePinWanted;
	}
	return kReferencePass;
}

}	// namespace


const char*
ReferenceVerdictWord(ReferenceVerdict verdict)
{
	switch (verdict) {
		case kReferencePass:
			return "pass";
		case kReferenceUnknown:
			return "unknown";
		case kReferenceOff:
			return "off";
		case kReferenceNotYetValid:
			return "not-yet-valid";
		case kReferenceExpired:
			return "expired";
		case kReferenceOutsideHours:
			return "outside-hours";
		case kReferenceBadRule:
			return "bad-rule";
		case kReferencePinWanted:
			return "pin-wanted";
	}
	return "bad-rule";
}


ReferenceList
ReferenceRead(const std::string& listText)
{
	std::vector<std::string> lines = split_lines(listText);

	// The sets first: "defined anywhere in the file".
	std::vector<SetLine> sets;
	for (const std::string& line : lines) {
		if (kind_of(line) == kSetLine)
			sets.push_back(read_set_line(line));
	}

	ReferenceList list;
	for (size_t index = 0; index < lines.size(); index++) {
		if (kind_of(lines[index]) != kTagLine)
			continue;
		ReferenceTagLine line = read_tag_line(lines[index], sets);
		line.lineNumber = static_cast<int>(index) + 1;
		list.tagLines.push_back(line);
	}
	return list;
}


// "*A tag on several lines* is its first line; the later ones do not
// count ... A first line that cannot be read lets its tag in never,
// whatever a later line says."
const ReferenceTagLine*
ReferenceLineFor(const ReferenceList& list, const std::string& tag)
{
	for (const ReferenceTagLine& line : list.tagLines) {
		if (same_tag(line.tag, tag))
			return &line;
	}
	return nullptr;
}


ReferenceVerdict
ReferenceDecide(const ReferenceList& list, const std::string& tag,
	time_t when)
{
	const ReferenceTagLine* line = ReferenceLineFor(list, tag);
	if (line == nullptr)
		return kReferenceUnknown;
	return decide_line(*line, when);
}


ReferenceVerdict
ReferenceDecide(const std::string& listText, const std::string& tag,
	time_t when)
{
	return ReferenceDecide(ReferenceRead(listText), tag, when);
}
