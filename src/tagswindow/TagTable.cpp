#include "TagTable.h"

#include "ReadHistory.h"
#include "TagForm.h"

#include <LogFilter.h>
#include <TagFile.h>

#include <Locale.h>

#include <algorithm>
#include <cctype>
#include <functional>

namespace {

std::string
lower_case(const std::string& text)
{
	std::string lower = text;
	for (char& c : lower)
		c = (char)tolower((unsigned char)c);
	return lower;
}


// A set's hours as written after its '=', blanks around them dropped.
std::string
hours_text(const std::string& text)
{
	size_t start = text.find_first_not_of(" \t");
	if (start == std::string::npos)
		return std::string();
	return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

}	// namespace


void
TagTable::Fill(const TagFile& file, const ReadHistory& history)
{
	fAll.clear();
	for (const TagLine& line : file.Lines()) {
		if (line.What() != TagLine::kHours)
			continue;
		Row row;
		row.tag = "@" + line.HoursName();
		row.isSet = true;
		row.usable = line.Problem().empty()
			&& file.NamedHours(line.HoursName()) == &line.Hours();
		size_t equals = line.Text().find('=');
		row.when = row.usable ? hours_text(line.Text().substr(equals + 1))
			: std::string(be_locale->GetString("never")) + ": "
				+ (line.Problem().empty() ? "defined twice" : line.Problem());
		fAll.push_back(row);
	}
	for (const TagLine& line : file.Lines()) {
		// Only the line that counts for its tag; a later one does not.
		if (line.What() != TagLine::kTag || file.Find(line.Tag()) != &line)
			continue;
		Row row;
		row.tag = line.Tag();
		row.name = line.Name();
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
		[&before](const Row& a, const Row& b) {
			if (a.isSet != b.isSet)
				return a.isSet;
			return before(a, b);
		});
}
