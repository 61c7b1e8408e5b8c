#include "TagImport.h"

#include "CsvReader.h"

#include <RuleText.h>
#include <TagList.h>

#include <Locale.h>

#include <map>
#include <unordered_map>

namespace {

enum Column {
	kTag,
	kName,
	kRules,
	kColumns,
};


std::string
trimmed(const std::string& text)
{
	return std::string(rule_text::trimmed(text));
}


// The column a header names; -1 for one that is not read.
int
column_of(const std::string& title)
{
	std::string lower;
	for (char c : trimmed(title))
		lower += rule_text::ascii_lower(c);
	if (lower == "tag")
		return kTag;
	if (lower == "name")
		return kName;
	if (lower == "rules" || lower == "regeln")
		return kRules;
	return -1;
}


std::string
row_problem(int row, const std::string& what)
{
	return translate_format("row %d: %s", row, what.c_str());
}

}	// namespace


TagImport::TagImport() = default;
TagImport::~TagImport() = default;


std::string
TagImport::Unguarded(const std::string& field)
{
	std::string text = trimmed(field);
	if (!text.empty() && text[0] == '\'')
		text = trimmed(text.substr(1));
	return text;
}


int
TagImport::Count(Kind kind) const
{
	int count = 0;
	for (const Entry& entry : fEntries)
		count += entry.kind == kind;
	return count;
}


status_t
TagImport::Read(const std::string& data, const TagListEditor& editor,
	std::string* problem)
{
	// A file refused is nothing: no entry of it stays to be applied.
	status_t status = _Read(data, editor, problem);
	if (status != B_OK)
		fEntries.clear();
	return status;
}


status_t
TagImport::_Read(const std::string& data, const TagListEditor& editor,
	std::string* problem)
{
	fEntries.clear();
	fChecked.reset();
	std::vector<CsvReader::Row> rows;
	if (!CsvReader::Read(data, &rows, &fSeparator, problem))
		return B_BAD_DATA;

	// The header: which field is which column.
	if (rows.empty()) {
		*problem = row_problem(1, B_TRANSLATE("no header row"));
		return B_BAD_DATA;
	}
	const std::vector<std::string>& titles = rows[0].fields;
	int at[kColumns] = {-1, -1, -1};
	static const char* const kTitles[kColumns] = {"tag", "name", "rules"};
	for (size_t i = 0; i < titles.size(); i++) {
		int column = column_of(titles[i]);
		if (column < 0)
			continue;
		if (at[column] >= 0) {
			*problem = row_problem(1, translate_format("the column \"%s\" is"
				" there twice", kTitles[column]));
			return B_BAD_DATA;
		}
		at[column] = (int)i;
	}
	for (int column = 0; column < kColumns; column++) {
		if (at[column] >= 0)
			continue;
		*problem = row_problem(1, translate_format("no column \"%s\": the"
			" header row names the columns tag, name and rules",
			kTitles[column]));
		return B_BAD_DATA;
	}

	const TagFile& file = editor.File();
	std::unordered_map<std::string, int> seen;
	for (size_t r = 1; r < rows.size(); r++) {
		const CsvReader::Row& row = rows[r];
		bool blank = true;
		for (const std::string& field : row.fields)
			blank = blank && trimmed(field).empty();
		// Spreadsheets leave empty rows between and after the others.
		if (blank)
			continue;
		if (row.fields.size() != titles.size()) {
			*problem = row_problem(row.number, translate_format("%d fields,"
				" but the header row has %d (a separator in a name needs"
				" quotes around the name)", (int)row.fields.size(),
				(int)titles.size()));
			return B_BAD_DATA;
		}
		Entry entry;
		entry.row = row.number;
		entry.tag = Unguarded(row.fields[(size_t)at[kTag]]);
		entry.name = Unguarded(row.fields[(size_t)at[kName]]);
		entry.rules = Unguarded(row.fields[(size_t)at[kRules]]);
		if (!TagLine::IsWritableTag(entry.tag)) {
			*problem = row_problem(row.number, entry.tag.empty()
				? B_TRANSLATE("no tag")
				: translate_format("the tag \"%s\" cannot stand in the list"
					" (one word of 1 to 64 characters, without '#' or '|',"
					" not starting with '@')",
					TagList::Printable(entry.tag).c_str()));
			return B_BAD_DATA;
		}
		entry.tag = TagList::Normalized(entry.tag);
		auto [earlier, added] = seen.emplace(entry.tag, row.number);
		if (!added) {
			*problem = row_problem(row.number, translate_format("the tag %s"
				" is in row %d already", entry.tag.c_str(), earlier->second));
			return B_BAD_DATA;
		}
		if (const TagLine* line = file.Find(entry.tag)) {
			entry.line = line->Number();
			entry.listName = line->Name();
			entry.listRules = line->RulesText();
			entry.listProblem = line->Problem().empty()
				? file.RefusalOf(*line) : line->Problem();
			// "0001 Anna |" lets in never, a row without rules always.
			bool same = entry.listProblem.empty()
				&& line->HasRules() == !entry.rules.empty()
				&& entry.name == entry.listName
				&& entry.rules == entry.listRules;
			entry.kind = same ? kSame : kDiffers;
		}
		fEntries.push_back(entry);
	}

	// Every row as if its version were taken: the editor refuses what the
	// list cannot hold, with the library's own reading of the rules.
	auto checked = std::make_unique<TagListEditor>(editor);
	if (_Write(*checked, true, problem) != B_OK)
		return B_BAD_DATA;
	fChecked = std::move(checked);
	fReadText = file.Text();
	return B_OK;
}


status_t
TagImport::_Write(TagListEditor& editor, bool all, std::string* problem) const
{
	// In one go: the list is indexed once, not once a row.
	std::vector<const Entry*> written;
	std::vector<TagListEditor::TagText> lines;
	for (const Entry& entry : fEntries) {
		if (entry.kind == kSame
			|| (entry.kind == kDiffers && !all && !entry.takeFile))
			continue;
		written.push_back(&entry);
		lines.push_back({entry.tag, entry.name, entry.rules});
	}
	size_t refused = 0;
	std::string why;
	if (editor.SetTags(lines, &refused, &why) != B_OK) {
		*problem = row_problem(refused < written.size()
			? written[refused]->row : 1, why);
		return B_BAD_VALUE;
	}
	// What counts for each tag now is what its row says, and can be used.
	const TagFile& file = editor.File();
	for (const Entry* entry : written) {
		const TagLine* line = file.Find(entry->tag);
		if (line == nullptr || line->Name() != entry->name
			|| line->RulesText() != entry->rules
			|| line->HasRules() != !entry->rules.empty()
			|| !line->Problem().empty() || !file.RefusalOf(*line).empty()) {
			*problem = row_problem(entry->row, B_TRANSLATE("the list cannot"
				" hold this row as given"));
			return B_BAD_VALUE;
		}
	}
	return B_OK;
}


status_t
TagImport::Apply(TagListEditor& editor, std::string* problem) const
{
	bool all = true;
	for (const Entry& entry : fEntries)
		all = all && (entry.kind != kDiffers || entry.takeFile);
	// Checked already, on this very list.
	if (all && fChecked != nullptr && editor.File().Text() == fReadText) {
		editor = *fChecked;
		return B_OK;
	}
	return _Write(editor, false, problem);
}
