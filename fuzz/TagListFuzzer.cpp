// Feeds arbitrary text to the tag list's reader, as a file that others may
// edit by hand could hold it.
//
// The list gives back every byte it read; it never lists a tag that no
// line lists, and the line that counts for a tag is the first that lists
// it; a line whose rules cannot be read (or that holds a character no rule
// uses) never lets its tag in, at any of the times asked.

#include "FuzzCheck.h"
#include "TagListAgreement.h"

#include <TagDecision.h>
#include <TagFile.h>
#include <TagList.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

// The first word of each line, found without the list's own code.
std::set<std::string>
first_words(const std::string& text)
{
	std::set<std::string> words;
	size_t start = 0;
	while (start <= text.size()) {
		size_t end = text.find('\n', start);
		std::string line = text.substr(start, end == std::string::npos
			? std::string::npos : end - start);
		size_t first = line.find_first_not_of(" \t\r\v\f");
		if (first != std::string::npos) {
			size_t last = line.find_first_of(" \t\r\v\f#|", first);
			words.insert(TagList::Normalized(line.substr(first,
				last == std::string::npos ? std::string::npos
					: last - first)));
		}
		if (end == std::string::npos)
			break;
		start = end + 1;
	}
	return words;
}


bool
only_rule_characters(const std::string& text)
{
	for (char c : text) {
		if (!isalnum((unsigned char)c)
			&& std::string(" \t:-,;@_").find(c) == std::string::npos)
			return false;
	}
	return true;
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text((const char*)data, size);
	CheckTagListAgreement(text);
	TagFile file = TagFile::Parse(text);
	FUZZ_CHECK(file.Text() == text);

	std::set<std::string> words = first_words(text);
	// Times that touch the edges: a week's days, midnight, dates far apart.
	const LocalTime times[] = {LocalTime(2026, 12, 7, 0),
		LocalTime(2026, 12, 8, 9 * 60 + 14), LocalTime(2026, 12, 12, 1439),
		LocalTime(2026, 12, 13, 1440), LocalTime(1970, 1, 1, 0),
		LocalTime(2099, 12, 31, 23 * 60 + 59)};
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
		bool unusable = !line.Problem().empty()
			|| !file.RefusalOf(line).empty()
			|| (line.HasRules() && !only_rule_characters(line.RulesText()));
		for (const LocalTime& time : times) {
			TagDecision decision = TagDecision::Decide(file, line.Tag(), time);
			FUZZ_CHECK(decision.Line() == &line);
			if (unusable)
				FUZZ_CHECK(!decision.Passes());
			if (!line.HasRules())
				FUZZ_CHECK(decision.Passes());
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
