#include "TagImport.h"

#include "CsvReader.h"

#include <RuleText.h>
#include <TagList.h>
#include <TagRules.h>

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


bool
all_digits(const std::string& tag)
{
	for (char c : tag) {
		if (c < '0' || c > '9')
			return false;
	}
	return !tag.empty();
}


// The number a tag of digits is: "0014594826" and "14594826" are one
// number, but two tags, and a card reads as only one of them.
std::string
without_zeros(const std::string& tag)
{
	size_t first = tag.find_first_not_of('0');
	return first == std::string::npos ? std::string("0") : tag.substr(first);
}


// A long number as a spreadsheet shows it, "1,45948E+07": the card's
// digits are lost.
bool
is_exponent_form(const std::string& tag)
{
	size_t i = 0;
	auto digits = [&]() {
		size_t start = i;
		while (i < tag.size() && tag[i] >= '0' && tag[i] <= '9')
			i++;
		return i > start;
	};
	if (!digits())
		return false;
	if (i < tag.size() && (tag[i] == ',' || tag[i] == '.')) {
		i++;
		if (!digits())
			return false;
	}
	if (i + 1 >= tag.size() || (tag[i] != 'E' && tag[i] != 'e')
		|| (tag[i + 1] != '+' && tag[i + 1] != '-'))
		return false;
	i += 2;
	return digits() && i == tag.size();
}


// Whether the UTF-8 text holds a character that shows as a blank or as
// nothing (a no-break space, a zero-width space, a byte order mark): a
// tag with one looks like the card's number and is another tag.
bool
has_invisible(const std::string& text)
{
	for (size_t i = 0; i < text.size();) {
		unsigned char c = (unsigned char)text[i];
		size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
		if (i + length > text.size())
			return false;
		uint32 code = length == 1 ? c : c & (0xFF >> (length + 1));
		for (size_t k = 1; k < length; k++)
			code = (code << 6) | ((unsigned char)text[i + k] & 0x3F);
		if (code == 0xA0 || code == 0xAD || code == 0x1680 || code == 0x180E
			|| (code >= 0x2000 && code <= 0x200F)
			|| (code >= 0x2028 && code <= 0x202F)
			|| (code >= 0x205F && code <= 0x2064) || code == 0x3000
			|| code == 0xFEFF)
			return true;
		i += length;
	}
	return false;
}

}	// namespace


TagImport::TagImport() = default;
TagImport::~TagImport() = default;


std::string
TagImport::Unguarded(const std::string& field)
{
	std::string text = trimmed(field);
	if (text.size() > 1 && text[0] == '\'')
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
	// The tags of digits by their number, the list's and the file's: a
	// spreadsheet drops the leading zeros of a tag it takes for a number.
	std::unordered_map<std::string, const TagLine*> listedNumbers;
	for (const TagLine& line : file.Lines()) {
		if (line.What() == TagLine::kTag && all_digits(line.Tag()))
			listedNumbers.emplace(without_zeros(line.Tag()), &line);
	}
	std::unordered_map<std::string, std::pair<std::string, int>> rowNumbers;
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
		// Said before the list's own refusal, which does not show what
		// is wrong: the character cannot be seen.
		if (has_invisible(entry.tag)) {
			*problem = row_problem(row.number, translate_format("the tag"
				" \"%s\" has an invisible character in it (a no-break or"
				" zero-width space): write the tag again",
				entry.tag.c_str()));
			return B_BAD_DATA;
		}
		if (!TagLine::IsWritableTag(entry.tag)) {
			*problem = row_problem(row.number, entry.tag.empty()
				? B_TRANSLATE("no tag")
				: translate_format("the tag \"%s\" cannot stand in the list"
					" (one word of 1 to 64 characters, without '#' or '|',"
					" not starting with '@')",
					TagList::Printable(entry.tag).c_str()));
			return B_BAD_DATA;
		}
		// Rules with ';' that were not put in quotes go on in the next
		// column; without their rest they would let the tag in longer or
		// more often than the row says.
		size_t next = (size_t)at[kRules] + 1;
		std::string following = next < row.fields.size()
			? Unguarded(row.fields[next]) : std::string();
		std::string why;
		if (!following.empty()
			&& TagRules::Parse(std::string_view(following), nullptr, &why)) {
			*problem = row_problem(row.number, translate_format("the rules go"
				" on in the next column (\"%s\"): rules with ';' are put in"
				" quotes as a whole", TagList::Printable(following).c_str()));
			return B_BAD_DATA;
		}
		entry.tag = TagList::Normalized(entry.tag);
		auto [earlier, added] = seen.emplace(entry.tag, row.number);
		if (!added) {
			*problem = row_problem(row.number, translate_format("the tag %s"
				" is in row %d already", entry.tag.c_str(), earlier->second));
			return B_BAD_DATA;
		}
		// What a spreadsheet made of a tag is refused, unless the list
		// has it so already (an export of that list reads back).
		const TagLine* listed = file.Find(entry.tag);
		if (listed == nullptr && is_exponent_form(entry.tag)) {
			*problem = row_problem(row.number, translate_format("the tag %s"
				" is a number as a spreadsheet shows it, not the card's"
				" digits (format the column as text and write the tag"
				" again)", entry.tag.c_str()));
			return B_BAD_DATA;
		}
		if (listed == nullptr && all_digits(entry.tag)) {
			std::string number = without_zeros(entry.tag);
			auto other = listedNumbers.find(number);
			if (other != listedNumbers.end()) {
				*problem = row_problem(row.number, translate_format("the tag"
					" %s is the tag %s of line %d with other leading zeros (a"
					" spreadsheet drops them: format the column as text)",
					entry.tag.c_str(), other->second->Tag().c_str(),
					other->second->Number()));
				return B_BAD_DATA;
			}
			auto [earlierRow, first] = rowNumbers.emplace(number,
				std::make_pair(entry.tag, row.number));
			if (!first) {
				*problem = row_problem(row.number, translate_format("the tag"
					" %s is the tag %s of row %d with other leading zeros (a"
					" spreadsheet drops them: format the column as text)",
					entry.tag.c_str(), earlierRow->second.first.c_str(),
					earlierRow->second.second));
				return B_BAD_DATA;
			}
		}
		if (const TagLine* line = listed) {
			entry.line = line->Number();
			entry.listText = line->Text();
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
			// Why, when the list can say it (a set that cannot be read).
			std::string why = line != nullptr ? file.RefusalOf(*line)
				: std::string();
			size_t cut = why.rfind(": ");
			*problem = row_problem(entry->row, why.empty() || cut
				== std::string::npos ? B_TRANSLATE("the list cannot hold this"
					" row as given") : why.substr(0, cut));
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
	bool unchanged = editor.File().Text() == fReadText;
	if (all && fChecked != nullptr && unchanged) {
		editor = *fChecked;
		return B_OK;
	}
	// A list loaded again since (changed by hand, a card learned): each
	// line to be written over must still be what the person was shown,
	// and a new tag still new.
	for (const Entry& entry : fEntries) {
		if (unchanged || entry.kind == kSame
			|| (entry.kind == kDiffers && !entry.takeFile))
			continue;
		const TagLine* line = editor.File().Find(entry.tag);
		if ((line != nullptr ? line->Text() : std::string())
				== entry.listText)
			continue;
		*problem = row_problem(entry.row, translate_format("%s was changed"
			" in the list since the file was read: read the file again",
			entry.tag.c_str()));
		return B_MISMATCHED_VALUES;
	}
	return _Write(editor, false, problem);
}
