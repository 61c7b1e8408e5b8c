#include "ColumnFit.h"

#include <algorithm>
#include <unordered_map>

namespace {

// The table draws a mark after the title it is sorted by.
const char* const kSortMark = " \xe2\x96\xb2";


std::vector<std::string>
words_of(const std::string& text)
{
	std::vector<std::string> words;
	size_t at = 0;
	while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
		size_t end = text.find(' ', at);
		words.push_back(text.substr(at, end == std::string::npos
			? std::string::npos : end - at));
		at = end;
	}
	return words;
}

}	// namespace


ColumnFit::ColumnFit(const Measure& measure, float padding)
	:
	fMeasure(measure),
	fPadding(padding)
{
}


void
ColumnFit::AddColumn(const std::string& title, bool wraps)
{
	fColumns.push_back({title, wraps, 0});
}


void
ColumnFit::Fit(const std::vector<std::vector<std::string>>& rows,
	float width)
{
	size_t count = fColumns.size();
	// Each column's whole longest text, and its longest word.
	std::vector<float> whole(count), least(count);
	for (size_t i = 0; i < count; i++) {
		whole[i] = fMeasure(fColumns[i].title + kSortMark);
		least[i] = whole[i];
	}
	// A list of ten thousand tags has its words ("Mo-Fr", "@staff") many
	// times over: each is measured once.
	std::unordered_map<std::string, float> measured;
	auto measure = [&](const std::string& text) {
		auto [found, added] = measured.emplace(text, 0.0f);
		if (added)
			found->second = fMeasure(text);
		return found->second;
	};
	for (const std::vector<std::string>& row : rows) {
		for (size_t i = 0; i < count && i < row.size(); i++) {
			if (row[i].empty())
				continue;
			whole[i] = std::max(whole[i], measure(row[i]));
			if (!fColumns[i].wraps)
				continue;
			for (const std::string& word : words_of(row[i]))
				least[i] = std::max(least[i], measure(word));
		}
	}

	float room = width;
	float wrapLeast = 0;
	for (size_t i = 0; i < count; i++) {
		whole[i] += fPadding;
		least[i] += fPadding;
		if (fColumns[i].wraps)
			wrapLeast += least[i];
		else
			room -= whole[i];
		fColumns[i].width = fColumns[i].wraps ? least[i] : whole[i];
	}
	// What is left beyond the longest words makes the wrapping columns
	// whole, those that lack least first, so that a short name stays on
	// one line and the longest texts are the ones that break; the last
	// takes what is left over.
	float spare = std::max(0.0f, room - wrapLeast);
	std::vector<size_t> order;
	for (size_t i = 0; i < count; i++) {
		if (fColumns[i].wraps)
			order.push_back(i);
	}
	std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
		return whole[a] - least[a] < whole[b] - least[b];
	});
	for (size_t k = 0; k < order.size(); k++) {
		size_t i = order[k];
		// An even share of what is left, for this one and those after it.
		float share = spare / (float)(order.size() - k);
		float given = std::min(whole[i] - least[i], share);
		fColumns[i].width += given;
		spare -= given;
	}
	for (size_t i = count; i-- > 0;) {
		if (fColumns[i].wraps) {
			fColumns[i].width += spare;
			break;
		}
	}
}


float
ColumnFit::Width(size_t column) const
{
	return column < fColumns.size() ? fColumns[column].width : 0;
}


std::vector<std::string>
ColumnFit::Wrapped(const std::vector<std::string>& fields) const
{
	std::vector<std::string> wrapped = fields;
	for (size_t i = 0; i < wrapped.size() && i < fColumns.size(); i++) {
		if (!fColumns[i].wraps)
			continue;
		std::string text;
		for (const std::string& line : Lines(fields[i],
				fColumns[i].width - fPadding, fMeasure))
			text += (text.empty() ? "" : "\n") + line;
		wrapped[i] = text;
	}
	return wrapped;
}


std::vector<std::string>
ColumnFit::Lines(const std::string& text, float width,
	const Measure& measure)
{
	if (measure(text) <= width)
		return {text};
	// Lines break after a comma where they can: "from 14.12.2026" stays
	// together. A part too long for a line breaks between its words.
	std::vector<std::string> parts;
	size_t start = 0;
	for (;;) {
		size_t comma = text.find(", ", start);
		std::string part = text.substr(start, comma == std::string::npos
			? std::string::npos : comma + 1 - start);
		if (measure(part) <= width)
			parts.push_back(part);
		else {
			for (const std::string& word : words_of(part))
				parts.push_back(word);
		}
		if (comma == std::string::npos)
			break;
		start = comma + 2;
	}
	std::vector<std::string> lines;
	std::string line;
	for (const std::string& part : parts) {
		if (part.empty())
			continue;
		std::string longer = line.empty() ? part : line + " " + part;
		if (!line.empty() && measure(longer) > width) {
			lines.push_back(line);
			line = part;
		} else
			line = longer;
	}
	if (!line.empty() || lines.empty())
		lines.push_back(line);
	return lines;
}
