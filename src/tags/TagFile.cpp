#include "TagFile.h"

#include "RuleText.h"
#include "TagKey.h"

#include <Locale.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Tags compare in upper case, ASCII letters only.
int
compare_tags(std::string_view a, std::string_view b)
{
	return TagKey::Compare(a, b);
}


// A line of text stays one line.
std::string
one_line(const std::string& text)
{
	std::string line = text.substr(0, text.find('\n'));
	return line;
}


// Whether the rules may hold a "pin" or "pinhash" item: only those lines
// are read whole once more.
bool
mentions_pin(std::string_view rules)
{
	for (size_t i = 0; i + 3 <= rules.size(); i++) {
		if (rule_text::ascii_lower(rules[i]) == 'p'
			&& rule_text::ascii_lower(rules[i + 1]) == 'i'
			&& rule_text::ascii_lower(rules[i + 2]) == 'n')
			return true;
	}
	return false;
}


// The item without a leading "pin" or "pin outside": what names a set in
// "pin @night" and "pin outside @staff" as in "@staff".
std::string_view
without_pin_words(std::string_view item)
{
	for (const char* word : {"pin", "outside"}) {
		size_t blank = rule_text::first_blank(item);
		std::string_view first = item.substr(0, blank);
		if (first.size() != strlen(word))
			return item;
		for (size_t i = 0; i < first.size(); i++) {
			if (rule_text::ascii_lower(first[i]) != word[i])
				return item;
		}
		item = blank == std::string_view::npos ? std::string_view()
			: rule_text::trimmed(item.substr(blank));
	}
	return item;
}

}	// namespace


TagFile
TagFile::Parse(const std::string& data)
{
	TagFile file;
	file.fLines.reserve((size_t)std::count(data.begin(), data.end(), '\n')
		+ 1);
	size_t start = 0;
	int number = 1;
	while (start < data.size()) {
		size_t newline = data.find('\n', start);
		if (newline == std::string::npos) {
			file.fLines.push_back(TagLine::Parse(number, data.substr(start)));
			file.fFinalNewline = false;
			break;
		}
		file.fLines.push_back(TagLine::Parse(number++,
			data.substr(start, newline - start)));
		start = newline + 1;
	}
	file._Index();
	return file;
}


void
TagFile::_Index()
{
	fIndex.clear();
	fNamed.clear();
	fProblems.clear();
	fRefusals.clear();

	// The named sets first: a tag may use one defined further down. The
	// first line with a name is its definition, also when the rest of it
	// cannot be read: the set then lets in never, whatever a later line
	// says.
	std::vector<uint32> tags;
	for (size_t i = 0; i < fLines.size(); i++) {
		TagLine& line = fLines[i];
		line.SetNumber((int)i + 1);
		if (line.What() == TagLine::kMalformed)
			fProblems.push_back({line.Number(), line.Problem()});
		if (line.What() == TagLine::kTag)
			tags.push_back((uint32)i);
		if (line.What() != TagLine::kHours)
			continue;
		auto [where, added] = fNamed.emplace(line.HoursName(), i);
		if (!added) {
			fProblems.push_back({line.Number(), translate_format("@%s is"
				" defined on line %d already; this line does not count",
				line.HoursName().c_str(), (int)where->second + 1)});
			continue;
		}
		std::string problem = line.Problem();
		if (!problem.empty()) {
			fProblems.push_back({line.Number(), translate_format("%s: every"
				" tag that uses @%s is let in never", problem.c_str(),
				line.HoursName().c_str())});
		}
	}

	// The first line of each tag counts. The sort must keep the file's
	// order among a tag's lines: which of two lines counts is never left to
	// the sort's whim.
	std::stable_sort(tags.begin(), tags.end(), [&](uint32 a, uint32 b) {
		return compare_tags(fLines[a].TagText(), fLines[b].TagText()) < 0;
	});
	for (size_t i = 0; i < tags.size(); i++) {
		const TagLine& line = fLines[tags[i]];
		if (!fIndex.empty() && compare_tags(fLines[fIndex.back()].TagText(),
				line.TagText()) == 0) {
			fProblems.push_back({line.Number(), translate_format("%s is listed"
				" on line %d already; this line does not count",
				line.Tag().c_str(), fLines[fIndex.back()].Number())});
			continue;
		}
		fIndex.push_back(tags[i]);
		std::string refusal = line.Problem();
		if (refusal.empty() && line.HasRules())
			refusal = _UndefinedName(line.RulesView());
		if (refusal.empty() && line.HasRules()
			&& mentions_pin(line.RulesView())) {
			// A PIN asked but never set would be asked of nobody, or
			// skipped: neither lets a door open by mistake, so the tag
			// waits until its PIN is set.
			TagRules rules = line.Rules();
			if (rules.HasPinRules() && !rules.HasPinHash()) {
				refusal = translate_format("a PIN is asked but none is set:"
					" rdx-reader --set-pin %s", line.Tag().c_str());
			} else if (!rules.HasPinRules() && rules.HasPinHash()) {
				fProblems.push_back({line.Number(), translate_format("a PIN"
					" is set but no 'pin' item asks for it: %s passes"
					" without it", line.Tag().c_str())});
			}
		}
		if (!refusal.empty()) {
			refusal = translate_format("%s: %s is let in never",
				refusal.c_str(), line.Tag().c_str());
			fProblems.push_back({line.Number(), refusal});
			fRefusals.emplace(tags[i], std::move(refusal));
		}
	}
	// Said in the order of the file.
	std::stable_sort(fProblems.begin(), fProblems.end(),
		[](const Problem& a, const Problem& b) { return a.line < b.line; });
}


std::string
TagFile::_UndefinedName(std::string_view rules) const
{
	// The rules were read once already: only the '@' items matter here.
	size_t start = 0;
	while (start <= rules.size()) {
		size_t end = rules.find(';', start);
		std::string_view item = rules.substr(start,
			end == std::string_view::npos ? std::string_view::npos
				: end - start);
		item = without_pin_words(rule_text::trimmed(item));
		if (!item.empty() && item[0] == '@') {
			std::string name(item.substr(1));
			auto found = fNamed.find(name);
			if (found == fNamed.end())
				return translate_format("@%s is not defined", name.c_str());
			if (NamedHours(name) == nullptr) {
				return translate_format("@%s cannot be read (line %d)",
					name.c_str(), (int)found->second + 1);
			}
		}
		if (end == std::string_view::npos)
			break;
		start = end + 1;
	}
	return std::string();
}


const TagLine*
TagFile::Find(const std::string& tag) const
{
	auto found = std::lower_bound(fIndex.begin(), fIndex.end(), tag,
		[&](uint32 index, const std::string& wanted) {
			return compare_tags(fLines[index].TagText(), wanted) < 0;
		});
	if (found == fIndex.end()
		|| compare_tags(fLines[*found].TagText(), tag) != 0)
		return nullptr;
	return &fLines[*found];
}


std::vector<int>
TagFile::LinesOf(const std::string& tag) const
{
	std::vector<int> numbers;
	for (const TagLine& line : fLines) {
		if (line.What() == TagLine::kTag
			&& compare_tags(line.TagText(), tag) == 0)
			numbers.push_back(line.Number());
	}
	return numbers;
}


const WeeklyHours*
TagFile::NamedHours(const std::string& name) const
{
	auto found = fNamed.find(name);
	if (found == fNamed.end() || !fLines[found->second].Problem().empty())
		return nullptr;
	return &fLines[found->second].Hours();
}


const std::string&
TagFile::RefusalOf(const TagLine& line) const
{
	static const std::string kNone;
	size_t index = (size_t)(line.Number() - 1);
	if (index >= fLines.size() || &fLines[index] != &line)
		return kNone;
	auto found = fRefusals.find(index);
	return found == fRefusals.end() ? kNone : found->second;
}


std::string
TagFile::Text() const
{
	std::string text;
	for (size_t i = 0; i < fLines.size(); i++) {
		text += fLines[i].Text();
		if (i + 1 < fLines.size() || fFinalNewline)
			text += '\n';
	}
	return text;
}


void
TagFile::ReplaceLine(size_t index, const std::string& text)
{
	if (index >= fLines.size())
		return;
	fLines[index] = TagLine::Parse((int)index + 1, one_line(text));
	_Index();
}


void
TagFile::InsertLine(size_t index, const std::string& text)
{
	if (index >= fLines.size()) {
		AppendLine(text);
		return;
	}
	fLines.insert(fLines.begin() + (long)index, TagLine::Parse((int)index + 1,
		one_line(text)));
	_Index();
}


void
TagFile::RemoveLine(size_t index)
{
	if (index >= fLines.size())
		return;
	fLines.erase(fLines.begin() + (long)index);
	_Index();
}


void
TagFile::EditLines(const std::vector<std::pair<size_t, std::string>>& replaced,
	const std::vector<std::string>& appended)
{
	for (const auto& [index, text] : replaced) {
		if (index < fLines.size())
			fLines[index] = TagLine::Parse((int)index + 1, one_line(text));
	}
	if (!appended.empty())
		fFinalNewline = true;
	for (const std::string& text : appended) {
		fLines.push_back(TagLine::Parse((int)fLines.size() + 1,
			one_line(text)));
	}
	_Index();
}


void
TagFile::AppendLine(const std::string& text)
{
	// A last line without its '\n' gets it, so the new one stands alone.
	fFinalNewline = true;
	fLines.push_back(TagLine::Parse((int)fLines.size() + 1, one_line(text)));
	_Index();
}
