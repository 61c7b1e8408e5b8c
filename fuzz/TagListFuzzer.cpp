// Feeds arbitrary text to the tag list's reader, as a file that others may
// edit by hand could hold it.
//
// The list gives back every byte it read; it never lists a tag that no
// line lists, and the line that counts for a tag is the first that lists
// it; a line whose rules cannot be read (or that holds a character no rule
// uses), a line that could be read two ways (a '|' after a '#', a second
// '|', a control character) and a line that names a set whose first
// definition cannot be read never let their tag in; a tag that passes is
// within its dates, counted in real time. The times asked are in a zone
// whose clocks change, around its changes too.

#include "FuzzCheck.h"
#include "TagListAgreement.h"

#include <LocalTime.h>
#include <TagDecision.h>
#include <TagFile.h>
#include <TagList.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <strings.h>
#include <set>
#include <string>
#include <vector>

namespace {

// A line as the grammar sees it: without its '\n' and one '\r' before.
std::vector<std::string>
lines_of(const std::string& text)
{
	std::vector<std::string> lines;
	size_t start = 0;
	while (start < text.size()) {
		size_t end = text.find('\n', start);
		std::string line = text.substr(start, end == std::string::npos
			? std::string::npos : end - start);
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		lines.push_back(line);
		if (end == std::string::npos)
			break;
		start = end + 1;
	}
	return lines;
}


// The first word of each line, found without the list's own code: after a
// byte order mark, blanks and anything else that is not printable ASCII,
// the printable ASCII characters up to a blank, '#' or '|'.
std::string
first_word(const std::string& line)
{
	auto printable = [](char c) {
		return (unsigned char)c > 0x20 && (unsigned char)c < 0x7f;
	};
	size_t at = line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
	while (at < line.size() && !printable(line[at]))
		at++;
	size_t end = at;
	while (end < line.size() && printable(line[end]) && line[end] != '#'
		&& line[end] != '|')
		end++;
	return TagList::Normalized(line.substr(at, end - at));
}


// A PIN's hash holds '$', '=', '+' and '/' as well, within its own item
// only.
bool
only_rule_characters(const std::string& text)
{
	bool inHash = false;
	for (size_t i = 0; i < text.size(); i++) {
		char c = text[i];
		if (c == ';')
			inHash = false;
		else if (i + 8 <= text.size() && (i == 0 || text[i - 1] == ' '
				|| text[i - 1] == '\t' || text[i - 1] == ';')
			&& strncasecmp(text.c_str() + i, "pinhash", 7) == 0
			&& (text[i + 7] == ' ' || text[i + 7] == '\t'))
			inHash = true;
		if (!isalnum((unsigned char)c)
			&& std::string(" \t:-,;@_").find(c) == std::string::npos
			&& !(inHash && std::string("$=+/").find(c) != std::string::npos))
			return false;
	}
	return true;
}


// Whether the line, read plainly, could mean two things or holds a
// character that no line may.
bool
reads_two_ways(const std::string& line)
{
	for (char c : line) {
		if (((unsigned char)c < 0x20 && c != '\t') || c == 0x7f)
			return true;
	}
	size_t hash = line.find('#');
	size_t bar = line.find('|');
	if (bar == std::string::npos)
		return false;
	return (hash != std::string::npos && hash < bar)
		|| line.find('|', bar + 1) != std::string::npos;
}


// The names of the sets whose first line (by the plain reading of a set's
// name: letters, digits, '-' and '_' after the '@') cannot be used.
std::set<std::string>
broken_sets(const TagFile& file)
{
	std::set<std::string> seen;
	std::set<std::string> broken;
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kHours)
			continue;
		if (seen.insert(line.HoursName()).second && !line.Problem().empty())
			broken.insert(line.HoursName());
	}
	return broken;
}

}	// namespace


extern "C" int
LLVMFuzzerInitialize(int*, char***)
{
	// Clocks that change: an hour skipped in March, one twice in October.
	setenv("TZ", "Europe/Berlin", 1);
	tzset();
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text((const char*)data, size);
	CheckTagListAgreement(text);
	TagFile file = TagFile::Parse(text);
	FUZZ_CHECK(file.Text() == text);

	std::vector<std::string> lines = lines_of(text);
	FUZZ_CHECK(lines.size() == file.Lines().size());
	std::set<std::string> words;
	for (const std::string& line : lines)
		words.insert(first_word(line));
	std::set<std::string> broken = broken_sets(file);

	// Times that touch the edges: a week's days, midnight, dates far
	// apart, and the minutes around both changes of the clocks in 2026/27.
	std::vector<LocalTime> times = {LocalTime(2026, 12, 7, 0),
		LocalTime(2026, 12, 8, 9 * 60 + 14), LocalTime(2026, 12, 12, 1439),
		LocalTime(2026, 12, 13, 1440), LocalTime(1970, 1, 1, 0),
		LocalTime(2099, 12, 31, 23 * 60 + 59)};
	// 2026-10-25 00:00 UTC and 2027-03-28 00:00 UTC.
	for (time_t base : {(time_t)1792886400, (time_t)1806192000}) {
		for (int minutes : {0, 59, 60, 61, 90, 119, 120, 121, 150, 180})
			times.push_back(LocalTime::FromTime(base + minutes * 60));
	}

	std::set<std::string> seen;
	size_t tags = 0;
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kTag)
			continue;
		FUZZ_CHECK(words.count(line.Tag()) == 1);
		const TagLine* counted = file.Find(line.Tag());
		FUZZ_CHECK(counted != nullptr);
		if (!seen.insert(line.Tag()).second) {
			FUZZ_CHECK(counted->Number() < line.Number());
			continue;
		}
		tags++;
		FUZZ_CHECK(counted == &line);
		const std::string& plain = lines[(size_t)line.Number() - 1];
		TagRules rules = line.Rules();
		bool usesBroken = false;
		for (const std::string& name : rules.HoursNames())
			usesBroken = usesBroken || broken.count(name) != 0;
		bool unusable = !line.Problem().empty()
			|| !file.RefusalOf(line).empty()
			|| (line.HasRules() && !only_rule_characters(line.RulesText()))
			|| reads_two_ways(plain) || usesBroken;
		for (const LocalTime& time : times) {
			TagDecision decision = TagDecision::Decide(file, line.Tag(), time);
			FUZZ_CHECK(decision.Line() == &line);
			// A PIN is wanted only where a PIN is asked and set; a PIN asked
			// but not set lets the tag in never.
			if (decision.WantsPin())
				FUZZ_CHECK(rules.HasPinRules() && rules.HasPinHash());
			if (rules.HasPinRules() && !rules.HasPinHash())
				FUZZ_CHECK(!decision.Passes() && !decision.WantsPin());
			if (unusable)
				FUZZ_CHECK(!decision.Passes() && !decision.WantsPin());
			if (!line.HasRules() && !unusable)
				FUZZ_CHECK(decision.Passes());
			if (!decision.Passes() && !decision.WantsPin())
				continue;
			if (rules.HasFrom())
				FUZZ_CHECK(time.Moment() >= rules.From());
			if (rules.HasUntil())
				FUZZ_CHECK(time.Moment() < rules.Until());
			FUZZ_CHECK(!rules.IsOff());
		}
	}
	FUZZ_CHECK(tags == file.CountTags());
	// A tag that no line lists is unknown.
	FUZZ_CHECK(file.Find("#") == nullptr);
	FUZZ_CHECK(TagDecision::Decide(file, "", times[1]).What()
		== TagDecision::kUnknown);

	// An edit keeps every other line as it was.
	if (!file.Lines().empty()) {
		std::string first = file.Lines()[0].Text();
		TagFile edited = file;
		edited.ReplaceLine(0, first);
		FUZZ_CHECK(edited.Text() == text);
	}
	return 0;
}
