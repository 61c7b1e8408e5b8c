#include "TagFile.h"

#include "TagList.h"


TagFile
TagFile::Parse(const std::string& data)
{
	TagFile file;
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
	fRefusals.assign(fLines.size(), std::string());

	// The named sets first: a tag may use one defined further down.
	for (size_t i = 0; i < fLines.size(); i++) {
		TagLine& line = fLines[i];
		line.SetNumber((int)i + 1);
		if (line.What() != TagLine::kHours)
			continue;
		if (!line.Problem().empty()) {
			fProblems.push_back({line.Number(), line.Problem()});
			continue;
		}
		auto [where, added] = fNamed.emplace(line.HoursName(), i);
		if (!added) {
			fProblems.push_back({line.Number(), "@" + line.HoursName()
				+ " is defined on line " + std::to_string(where->second + 1)
				+ " already; this line does not count"});
		}
	}

	for (size_t i = 0; i < fLines.size(); i++) {
		const TagLine& line = fLines[i];
		if (line.What() == TagLine::kMalformed) {
			fProblems.push_back({line.Number(), line.Problem()});
			continue;
		}
		if (line.What() != TagLine::kTag)
			continue;
		auto [where, added] = fIndex.emplace(line.Tag(), i);
		if (!added) {
			fProblems.push_back({line.Number(), line.Tag() + " is listed on"
				" line " + std::to_string(where->second + 1) + " already;"
				" this line does not count"});
			continue;
		}
		std::string refusal = line.Problem();
		if (refusal.empty()) {
			for (const std::string& name : line.Rules().HoursNames()) {
				if (NamedHours(name) == nullptr) {
					refusal = "@" + name + " is not defined (or cannot be"
						" read)";
					break;
				}
			}
		}
		if (!refusal.empty()) {
			fRefusals[i] = refusal + ": " + line.Tag() + " is let in never";
			fProblems.push_back({line.Number(), fRefusals[i]});
		}
	}
}


const TagLine*
TagFile::Find(const std::string& tag) const
{
	auto found = fIndex.find(TagList::Normalized(tag));
	return found == fIndex.end() ? nullptr : &fLines[found->second];
}


const WeeklyHours*
TagFile::NamedHours(const std::string& name) const
{
	auto found = fNamed.find(name);
	return found == fNamed.end() ? nullptr : &fLines[found->second].Hours();
}


const std::string&
TagFile::RefusalOf(const TagLine& line) const
{
	static const std::string kNone;
	size_t index = (size_t)(line.Number() - 1);
	if (index >= fRefusals.size() || &fLines[index] != &line)
		return line.Problem().empty() ? kNone : line.Problem();
	return fRefusals[index];
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
	fLines[index] = TagLine::Parse((int)index + 1, text);
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
		text));
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
TagFile::AppendLine(const std::string& text)
{
	// A last line without its '\n' gets it, so the new one stands alone.
	fFinalNewline = true;
	fLines.push_back(TagLine::Parse((int)fLines.size() + 1, text));
	_Index();
}
