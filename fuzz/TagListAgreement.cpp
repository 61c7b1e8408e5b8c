// Asks the tag list library and the plain reading of the README about the
// same list, tag by tag and moment by moment. The library is reached only
// through LibraryDecide, so that this side can be written without the
// library's code in view.

#include "TagListAgreement.h"

#include "FuzzCheck.h"
#include "LibraryTagDecision.h"
#include "TagListReference.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>


namespace {

// The library reads the whole list afresh for every question (some 50 µs
// under the sanitizers), so the questions are bounded: every tag at a few
// moments, and the tags whose lines have hours or dates, as they are
// written, at every moment listed below.
const size_t kMaxTags = 16;
const size_t kMaxFirstWords = 8;
const size_t kMaxMiddleWords = 3;
const size_t kMaxTimedTags = 3;
const size_t kMaxTextDates = 4;
const size_t kMaxTextTimes = 4;


bool
use_berlin_time()
{
	// The clock changes below are Berlin's; tzset, because localtime_r
	// need not look at TZ again once it has read it.
	setenv("TZ", "Europe/Berlin", 1);
	tzset();
	return true;
}


// ---- The tags to ask about ----------------------------------------------

bool
is_blank(char c)
{
	return c == ' ' || c == '\t';
}


enum CaseTurn {
	kUpper,
	kLower,
	kSwapped
};


std::string
turn_case(const std::string& text, CaseTurn turn)
{
	std::string result = text;
	for (char& c : result) {
		bool lower = c >= 'a' && c <= 'z';
		bool upper = c >= 'A' && c <= 'Z';
		if (lower && turn != kLower)
			c = c - 'a' + 'A';
		else if (upper && turn != kUpper)
			c = c - 'A' + 'a';
	}
	return result;
}


void
add_tag(std::vector<std::string>& tags, const std::string& tag)
{
	if (tags.size() >= kMaxTags)
		return;
	for (const std::string& known : tags) {
		if (known == tag)
			return;
	}
	tags.push_back(tag);
}


// Each line's first word as a person would read it (up to a blank, `|` or
// `#`; with a carriage return at the line's end, also without it), its case
// turned, a word that differs from it at the end, the empty tag, a tag no
// line names, and words from the middle of lines.
std::vector<std::string>
tags_to_ask(const std::string& text)
{
	std::vector<std::string> firstWords;
	std::vector<std::string> middleWords;
	size_t start = 0;
	while (start < text.size()) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		start = end + 1;

		size_t first = 0;
		while (first < line.size() && is_blank(line[first]))
			first++;
		size_t wordEnd = line.find_first_of(" \t|#", first);
		if (wordEnd == std::string::npos)
			wordEnd = line.size();
		std::string word = line.substr(first, wordEnd - first);
		bool setLine = !word.empty() && word[0] == '@';
		if (!word.empty() && !setLine && firstWords.size() < kMaxFirstWords)
			firstWords.push_back(word);
		if (word.size() > 1 && !setLine && word.back() == '\r'
			&& firstWords.size() < kMaxFirstWords)
			firstWords.push_back(word.substr(0, word.size() - 1));

		std::string middle;
		for (size_t i = wordEnd; i <= line.size(); i++) {
			bool separator = i == line.size() || is_blank(line[i])
				|| std::string("|#;,=@").find(line[i]) != std::string::npos;
			if (!separator) {
				middle += line[i];
				continue;
			}
			if (!middle.empty() && middleWords.size() < kMaxMiddleWords)
				middleWords.push_back(middle);
			middle.clear();
		}
	}

	std::vector<std::string> tags;
	for (const std::string& word : firstWords)
		add_tag(tags, word);
	for (const std::string& word : firstWords)
		add_tag(tags, turn_case(word, kSwapped));
	for (size_t i = 0; i < firstWords.size() && i < 2; i++) {
		add_tag(tags, turn_case(firstWords[i], kUpper));
		add_tag(tags, turn_case(firstWords[i], kLower));
		add_tag(tags, firstWords[i] + "0");
		add_tag(tags, firstWords[i].substr(0, firstWords[i].size() - 1));
	}
	add_tag(tags, "");
	add_tag(tags, "0000000000UNLISTED");
	for (const std::string& word : middleWords)
		add_tag(tags, word);
	return tags;
}


// ---- The moments to ask at ----------------------------------------------

time_t
local_moment(int year, int month, int day, int hour, int minute, int second,
	int isDst)
{
	struct tm local = {};
	local.tm_year = year - 1900;
	local.tm_mon = month - 1;
	local.tm_mday = day;
	local.tm_hour = hour;
	local.tm_min = minute;
	local.tm_sec = second;
	local.tm_isdst = isDst;
	return mktime(&local);
}


// Every moment at which the wall clock shows a time: one, or two in an
// hour that happens twice. A time the clocks skip is asked for on both
// sides of the jump (and the jump itself, with the day's clock changes).
std::vector<time_t>
moments_showing(int year, int month, int day, int hour, int minute)
{
	std::set<time_t> moments;
	for (int isDst : {0, 1}) {
		time_t moment = local_moment(year, month, day, hour, minute, 0, isDst);
		struct tm shown;
		if (moment == static_cast<time_t>(-1)
			|| localtime_r(&moment, &shown) == nullptr)
			continue;
		if (shown.tm_hour == hour % 24 && shown.tm_min == minute)
			moments.insert(moment);
	}
	if (moments.empty()) {
		for (int isDst : {0, 1}) {
			time_t moment = local_moment(year, month, day, hour, minute, 0,
				isDst);
			if (moment != static_cast<time_t>(-1))
				moments.insert(moment);
		}
	}
	return std::vector<time_t>(moments.begin(), moments.end());
}


void
add_wall_time(std::set<time_t>& moments, int year, int month, int day,
	int hour, int minute, std::initializer_list<int> shifts)
{
	for (time_t moment : moments_showing(year, month, day, hour, minute)) {
		for (int shift : shifts)
			moments.insert(moment + shift);
	}
}


long
offset_at(time_t moment)
{
	struct tm local;
	if (localtime_r(&moment, &local) == nullptr)
		return 0;
	return local.tm_gmtoff;
}


// The moments the clocks change on a local day.
std::vector<time_t>
clock_changes_on(int year, int month, int day)
{
	std::vector<time_t> changes;
	time_t dayStart = local_moment(year, month, day, 0, 0, 0, -1);
	if (dayStart == static_cast<time_t>(-1))
		return changes;
	for (int hour = -2; hour < 26; hour++) {
		time_t low = dayStart + hour * 3600;
		time_t high = low + 3600;
		long lowOffset = offset_at(low);
		if (offset_at(high) == lowOffset)
			continue;
		while (high - low > 1) {
			time_t middle = low + (high - low) / 2;
			if (offset_at(middle) == lowOffset)
				low = middle;
			else
				high = middle;
		}
		changes.push_back(high);
	}
	return changes;
}


struct TextDate {
	int		year;
	int		month;
	int		day;
};


struct TextTime {
	int		hour;
	int		minute;
};


bool
is_digit(char c)
{
	return c >= '0' && c <= '9';
}


int
digits_value(const std::string& text, size_t start, size_t count)
{
	int value = 0;
	for (size_t i = start; i < start + count; i++)
		value = value * 10 + (text[i] - '0');
	return value;
}


// Every `YYYY-MM-DD` in the text that could be a date, wherever it stands.
std::vector<TextDate>
dates_in(const std::string& text)
{
	std::vector<TextDate> dates;
	for (size_t i = 0; i + 10 <= text.size(); i++) {
		if (dates.size() >= kMaxTextDates)
			break;
		bool shape = text[i + 4] == '-' && text[i + 7] == '-';
		for (size_t j : {0, 1, 2, 3, 5, 6, 8, 9})
			shape = shape && is_digit(text[i + j]);
		if (!shape)
			continue;
		TextDate date = {digits_value(text, i, 4), digits_value(text, i + 5, 2),
			digits_value(text, i + 8, 2)};
		if (date.year < 1970 || date.month < 1 || date.month > 12
			|| date.day < 1 || date.day > 31)
			continue;
		dates.push_back(date);
	}
	return dates;
}


// Every `H:MM` or `HH:MM` in the text, wherever it stands.
std::vector<TextTime>
times_in(const std::string& text)
{
	std::vector<TextTime> times;
	for (size_t colon = 1; colon + 2 < text.size(); colon++) {
		if (times.size() >= kMaxTextTimes)
			break;
		if (text[colon] != ':' || !is_digit(text[colon + 1])
			|| !is_digit(text[colon + 2]) || !is_digit(text[colon - 1]))
			continue;
		size_t hourStart = colon - 1;
		if (hourStart > 0 && is_digit(text[hourStart - 1]))
			hourStart--;
		TextTime time = {digits_value(text, hourStart, colon - hourStart),
			digits_value(text, colon + 1, 2)};
		if (time.hour > 24 || time.minute > 59)
			continue;
		times.push_back(time);
	}
	return times;
}


const TextDate kChangeDays[] = {{2026, 3, 29}, {2026, 10, 25},
	{2027, 3, 28}, {2027, 10, 31}};


// The moments every tag is asked at: a night, a day and an evening of each
// weekday, the issue's Sunday night, a time in the repeated hour in both
// offsets, and the dates and times the text writes, so that a library that
// reads hours or dates into a line the plain reading refuses (or does not
// read them where it should) is caught where they would let the tag in.
std::vector<time_t>
few_moments(const std::vector<TextDate>& dates,
	const std::vector<TextTime>& times)
{
	std::set<time_t> moments;
	for (int day = 14; day <= 20; day++) {
		for (int hour : {3, 12, 22})
			add_wall_time(moments, 2026, 12, day, hour, 0, {0});
	}
	add_wall_time(moments, 2027, 6, 6, 3, 0, {0});
	add_wall_time(moments, 2026, 10, 25, 2, 30, {0});
	for (const TextTime& time : times) {
		add_wall_time(moments, 2026, 12, 14, time.hour, time.minute, {0});
		add_wall_time(moments, 2026, 12, 20, time.hour, time.minute, {0});
	}
	for (const TextDate& date : dates) {
		add_wall_time(moments, date.year, date.month, date.day, 12, 0, {0});
		for (const TextTime& time : times) {
			add_wall_time(moments, date.year, date.month, date.day, time.hour,
				time.minute, {0});
		}
	}
	return std::vector<time_t>(moments.begin(), moments.end());
}


// The moments a tag whose line has hours or dates is asked at besides.
std::vector<time_t>
timed_moments(const std::vector<TextDate>& dates,
	const std::vector<TextTime>& times)
{
	std::set<time_t> moments;

	// A winter week, Monday 2026-12-14 to Sunday 2026-12-20: each day at
	// midnight, a second after it and before the next (24:00), early, at
	// noon and in the evening; and a summer week.
	for (int day = 14; day <= 20; day++) {
		for (int hour : {0, 6, 12, 19})
			add_wall_time(moments, 2026, 12, day, hour, 0, {0});
		add_wall_time(moments, 2026, 12, day, 0, 0, {1});
		add_wall_time(moments, 2026, 12, day, 23, 59, {59});
	}
	for (int day = 7; day <= 13; day++)
		add_wall_time(moments, 2027, 6, day, 12, 0, {0});

	// The days of the clock changes of 2026 and 2027: the change itself,
	// with a second either side, and every third hour. (Each minute around
	// it is asked separately, see change_scan.)
	for (const TextDate& date : kChangeDays) {
		for (time_t change : clock_changes_on(date.year, date.month, date.day)) {
			for (int shift : {-1, 0, 1})
				moments.insert(change + shift);
		}
		for (int hour = 0; hour < 24; hour += 3)
			add_wall_time(moments, date.year, date.month, date.day, hour, 0, {0});
	}

	// The dates and times the text writes: just before, at and just after
	// each, in both occurrences of a repeated time and on both sides of a
	// skipped one; on the dates written, on the days of the winter week and
	// on the days the clocks change.
	for (const TextDate& date : dates) {
		add_wall_time(moments, date.year, date.month, date.day, 0, 0,
			{-60, -1, 0, 1});
		add_wall_time(moments, date.year, date.month, date.day + 1, 0, 0,
			{-60, -1, 0, 1});
		for (const TextTime& time : times) {
			add_wall_time(moments, date.year, date.month, date.day, time.hour,
				time.minute, {-60, -1, 0, 1, 60});
		}
		for (time_t change : clock_changes_on(date.year, date.month, date.day)) {
			for (int minute = -60; minute <= 60; minute += 10)
				moments.insert(change + minute * 60);
			moments.insert(change - 1);
			moments.insert(change + 1);
		}
	}
	for (const TextTime& time : times) {
		for (int day = 14; day <= 20; day++) {
			add_wall_time(moments, 2026, 12, day, time.hour, time.minute,
				{-1, 0, 1});
		}
		for (const TextDate& date : kChangeDays) {
			add_wall_time(moments, date.year, date.month, date.day, time.hour,
				time.minute, {-1, 0, 1});
		}
	}
	return std::vector<time_t>(moments.begin(), moments.end());
}


// Each minute of the hour before and the hour after one of the clock
// changes of 2026 and 2027; on the days the clocks go back, that is each
// minute of the repeated hour in both offsets.
std::vector<std::vector<time_t>>
change_scans()
{
	std::vector<std::vector<time_t>> scans;
	for (const TextDate& date : kChangeDays) {
		for (time_t change : clock_changes_on(date.year, date.month, date.day)) {
			std::vector<time_t> scan;
			for (int minute = -60; minute < 60; minute++)
				scan.push_back(change + minute * 60);
			scans.push_back(scan);
		}
	}
	return scans;
}


// ---- A disagreement, told so that a crash file is easy to read ------------

std::string
escaped(const std::string& text)
{
	std::string result;
	for (char c : text) {
		unsigned char byte = static_cast<unsigned char>(c);
		if (byte == '\t') {
			result += "\\t";
			continue;
		}
		if (byte == '\r') {
			result += "\\r";
			continue;
		}
		if (byte == '\\') {
			result += "\\\\";
			continue;
		}
		if (byte < 0x20 || byte >= 0x7f) {
			char hex[8];
			snprintf(hex, sizeof(hex), "\\x%02x", byte);
			result += hex;
			continue;
		}
		result += c;
	}
	return result;
}


std::string
moment_text(time_t moment)
{
	char utc[64] = "?";
	char local[80] = "?";
	struct tm broken;
	if (gmtime_r(&moment, &broken) != nullptr)
		strftime(utc, sizeof(utc), "%Y-%m-%d %H:%M:%S UTC", &broken);
	if (localtime_r(&moment, &broken) != nullptr)
		strftime(local, sizeof(local), "%Y-%m-%d %H:%M:%S %z %Z %a", &broken);
	return std::string(utc) + " = " + local + " (" + std::to_string(moment)
		+ ")";
}


void
report_disagreement(const std::string& text, const std::string& tag,
	time_t moment, const LibraryVerdict& library,
	const ReferenceList& reference, ReferenceVerdict referenceVerdict)
{
	fprintf(stderr, "\nThe tag list library and the README's reading "
		"disagree.\nThe list (%zu bytes), line by line:\n", text.size());
	size_t start = 0;
	int number = 1;
	while (start < text.size()) {
		size_t end = text.find('\n', start);
		bool last = end == std::string::npos;
		if (last)
			end = text.size();
		fprintf(stderr, "  %3d| %s%s\n", number,
			escaped(text.substr(start, end - start)).c_str(),
			last ? "   (no line feed at the end)" : "");
		start = end + 1;
		number++;
	}
	fprintf(stderr, "The tag:    \"%s\"\n", escaped(tag).c_str());
	fprintf(stderr, "The moment: %s\n", moment_text(moment).c_str());
	fprintf(stderr, "Library:    %s (%s)\n", library.word.c_str(),
		library.pinWanted ? "passes with a PIN" : library.passes ? "passes"
			: "refuses");
	const ReferenceTagLine* line = ReferenceLineFor(reference, tag);
	if (line == nullptr) {
		fprintf(stderr, "Reference:  %s (no line names the tag)\n",
			ReferenceVerdictWord(referenceVerdict));
		return;
	}
	fprintf(stderr, "Reference:  %s (line %d%s%s)\n",
		ReferenceVerdictWord(referenceVerdict), line->lineNumber,
		line->readable ? "" : ", cannot be read: ",
		escaped(line->whyNot).c_str());
}


// Whether the tag is written as its deciding line writes it and the plain
// reading's verdict for it can change with time. Its other spellings are
// asked at the few moments only: a fault in comparing tags shows wherever
// the tag passes.
bool
is_timed(const ReferenceList& reference, const std::string& tag)
{
	const ReferenceTagLine* line = ReferenceLineFor(reference, tag);
	if (line == nullptr || line->tag != tag || !line->readable || line->off)
		return false;
	bool pinHours = false;
	for (const ReferencePinItem& pin : line->pinItems)
		pinHours = pinHours || pin.when != ReferencePinItem::kAlways;
	return line->hasHours || line->hasFrom || line->hasUntil || pinHours;
}


// Whether the plain reading's verdict for the tag changes within a scan.
bool
changes_within(const ReferenceList& reference, const std::string& tag,
	const std::vector<time_t>& scan)
{
	for (time_t moment : scan) {
		if (ReferenceDecide(reference, tag, moment)
			!= ReferenceDecide(reference, tag, scan.front()))
			return true;
	}
	return false;
}


void
check_agreement(const std::string& text, const ReferenceList& reference,
	const std::string& tag, time_t moment)
{
	LibraryVerdict library = LibraryDecide(text, tag, moment);
	ReferenceVerdict verdict = ReferenceDecide(reference, tag, moment);
	// A PIN asked is "pass, PIN wanted": both must see the tag pass, and
	// both must ask for the PIN.
	bool referencePinWanted = verdict == kReferencePinWanted;
	bool referencePasses = verdict == kReferencePass || referencePinWanted;
	if (library.passes != referencePasses
		|| library.pinWanted != referencePinWanted)
		report_disagreement(text, tag, moment, library, reference, verdict);
	FUZZ_CHECK(library.passes == referencePasses);
	FUZZ_CHECK(library.pinWanted == referencePinWanted);
}

}	// namespace


void
CheckTagListAgreement(const std::string& text)
{
	static const bool sBerlin = use_berlin_time();
	(void)sBerlin;
	static const std::vector<std::vector<time_t>> sChangeScans
		= change_scans();

	ReferenceList reference = ReferenceRead(text);
	std::vector<TextDate> dates = dates_in(text);
	std::vector<TextTime> times = times_in(text);
	std::vector<time_t> few = few_moments(dates, times);
	std::vector<time_t> timed = timed_moments(dates, times);

	size_t timedTags = 0;
	for (const std::string& tag : tags_to_ask(text)) {
		for (time_t moment : few)
			check_agreement(text, reference, tag, moment);
		if (!is_timed(reference, tag) || timedTags >= kMaxTimedTags)
			continue;
		timedTags++;
		for (time_t moment : timed)
			check_agreement(text, reference, tag, moment);
		// Where the plain reading stays the same around a clock change,
		// every tenth minute is enough to see the library keep to it too;
		// where it changes, every minute is asked.
		for (const std::vector<time_t>& scan : sChangeScans) {
			size_t step = changes_within(reference, tag, scan) ? 1 : 10;
			for (size_t i = 0; i < scan.size(); i += step)
				check_agreement(text, reference, tag, scan[i]);
		}
	}
}
