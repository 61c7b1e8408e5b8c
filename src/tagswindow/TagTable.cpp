#include "TagTable.h"

#include "ReadHistory.h"
#include "TagForm.h"

#include <LogFilter.h>
#include <TagFile.h>

#include <Locale.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <unordered_map>

namespace {

std::string
lower_case(const std::string& text)
{
	std::string lower = text;
	for (char& c : lower)
		c = (char)tolower((unsigned char)c);
	return lower;
}


// What the row of a later line of a tag, or of a set, says.
std::string
not_counting(int first, int line)
{
	return translate_format("does not count: line %d comes first (line %d)",
		first, line);
}

}	// namespace


void
TagTable::Fill(const TagFile& file, const ReadHistory& history)
{
	fAll.clear();
	// The first line of each set counts, as the first line of each tag.
	std::unordered_map<std::string, int> firstSets;
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kHours)
			continue;
		Row row;
		row.tag = "@" + line.HoursName();
		row.isSet = true;
		row.line = line.Number();
		int first = firstSets.emplace(line.HoursName(), line.Number())
			.first->second;
		row.counts = first == line.Number();
		row.usable = row.counts && line.Problem().empty()
			&& file.NamedHours(line.HoursName()) == &line.Hours();
		if (!row.counts)
			row.when = not_counting(first, line.Number());
		else if (row.usable)
			row.when = hours_of(line);
		else {
			row.when = translate_format("never: %s (line %d)",
				line.Problem().empty() ? B_TRANSLATE("cannot be used")
					: line.Problem().c_str(), line.Number());
		}
		fAll.push_back(row);
	}
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kTag)
			continue;
		Row row;
		row.tag = line.Tag();
		row.name = line.Name();
		row.line = line.Number();
		const TagLine* first = file.Find(line.Tag());
		row.counts = first == &line;
		if (!row.counts) {
			// Reads are decided by the line that counts: this one has none.
			row.usable = false;
			row.when = first != nullptr
				? not_counting(first->Number(), line.Number())
				: translate_format("never: %s (line %d)",
					B_TRANSLATE("cannot be used"), line.Number());
			fAll.push_back(row);
			continue;
		}
		row.when = when_in_words(file, line);
		row.usable = file.RefusalOf(line).empty();
		if (const TagRead* read = history.LastSeen(line.Tag())) {
			row.lastSeenTime = read->time;
			// To the minute: the seconds are in the pane of reads.
			row.lastSeen = format_local_time(read->time).substr(0, 16);
			row.outcome = read->outcome;
		}
		fAll.push_back(row);
	}
	_Update();
}


void
TagTable::SetSearch(const std::string& text)
{
	fSearch = lower_case(text);
	_Update();
}


void
TagTable::SortBy(Column column, bool ascending)
{
	fSortColumn = column;
	fAscending = ascending;
	_Update();
}


void
TagTable::_Update()
{
	fShown.clear();
	for (const Row& row : fAll) {
		if (fSearch.empty()
			|| lower_case(row.tag).find(fSearch) != std::string::npos
			|| lower_case(row.name).find(fSearch) != std::string::npos)
			fShown.push_back(row);
	}
	// A later line of a tag sorts with the line that counts, right after
	// it, whatever its own name: the rows of one tag stay together.
	std::unordered_map<std::string, const Row*> counting;
	for (const Row& row : fAll) {
		if (row.counts)
			counting.emplace((row.isSet ? "@" : "") + row.tag, &row);
	}
	auto group = [&counting](const Row& row) {
		if (row.counts)
			return &row;
		auto found = counting.find((row.isSet ? "@" : "") + row.tag);
		return found != counting.end() ? found->second : &row;
	};
	auto byTag = [](const Row& a, const Row& b) { return a.tag < b.tag; };
	std::function<bool(const Row&, const Row&)> before;
	switch (fSortColumn) {
		case kLastSeenColumn:
			// Never read sorts after every read, whichever the direction.
			before = [this, byTag](const Row& a, const Row& b) {
				if ((a.lastSeenTime == 0) != (b.lastSeenTime == 0))
					return b.lastSeenTime == 0;
				if (a.lastSeenTime != b.lastSeenTime) {
					return fAscending ? a.lastSeenTime < b.lastSeenTime
						: a.lastSeenTime > b.lastSeenTime;
				}
				return byTag(a, b);
			};
			break;
		case kTagColumn:
			before = [this](const Row& a, const Row& b) {
				return fAscending ? a.tag < b.tag : b.tag < a.tag;
			};
			break;
		default:
			before = [this, byTag](const Row& a, const Row& b) {
				std::string left = lower_case(a.name);
				std::string right = lower_case(b.name);
				if (left != right)
					return fAscending ? left < right : right < left;
				return byTag(a, b);
			};
			break;
	}
	std::stable_sort(fShown.begin(), fShown.end(),
		[&before, &group](const Row& a, const Row& b) {
			if (a.isSet != b.isSet)
				return a.isSet;
			const Row* left = group(a);
			const Row* right = group(b);
			if (left != right && before(*left, *right) != before(*right,
					*left))
				return before(*left, *right);
			if (left != right)
				return left->line < right->line;
			return a.line < b.line;
		});
}
