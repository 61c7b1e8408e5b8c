#include "TagListEditor.h"

#include "PinHash.h"
#include "RuleText.h"
#include "TagListLock.h"

#include <Locale.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// A few words for text that a line of the list cannot carry.
bool
check_text(const std::string& text, const char* what, bool allowBar,
	std::string* problem)
{
	for (char c : text) {
		if ((unsigned char)c < 0x20 || c == 0x7f) {
			*problem = translate_format("%s: no control characters",
				B_TRANSLATE(what));
			return false;
		}
		if (c == '#') {
			*problem = translate_format("%s: no '#' (it starts a comment)",
				B_TRANSLATE(what));
			return false;
		}
		if (c == '|' && !allowBar) {
			*problem = translate_format("%s: no '|' (it starts the rules)",
				B_TRANSLATE(what));
			return false;
		}
	}
	return true;
}


std::string
trimmed(const std::string& text)
{
	return std::string(rule_text::trimmed(text));
}


// The directories above the path that are missing, private ones as the
// user's settings directory is: the lock stands beside the list, so they
// must be there before the first save takes it.
void
make_parents(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos;
			slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0700);
}


// The line's text with every rules item that is exactly "@from" made
// "@to"; the rest of the line stays byte for byte.
std::string
renamed_in_rules(const TagLine& line, const std::string& from,
	const std::string& to)
{
	std::string text = line.Text();
	std::string_view rules = line.RulesView();
	size_t offset = line.RulesOffset();
	// From the last item back, so that the offsets before stay valid.
	size_t end = rules.size();
	for (;;) {
		size_t semicolon = end == 0 ? std::string_view::npos
			: rules.rfind(';', end - 1);
		size_t start = semicolon == std::string_view::npos ? 0 : semicolon + 1;
		std::string_view item = rule_text::trimmed(rules.substr(start,
			end - start));
		if (item.size() == from.size() + 1 && item[0] == '@'
			&& item.substr(1) == from) {
			size_t at = offset + (size_t)(item.data() - rules.data());
			text.replace(at, item.size(), "@" + to);
		}
		if (semicolon == std::string_view::npos)
			break;
		end = semicolon;
	}
	return text;
}


// Where the "pinhash" item's hash stands in the line's text, and how long
// it is; npos when the rules have none.
size_t
pin_hash_at(const TagLine& line, size_t* length)
{
	std::string_view rules = line.RulesView();
	size_t start = 0;
	for (;;) {
		size_t semicolon = rules.find(';', start);
		std::string_view item = rule_text::trimmed(rules.substr(start,
			semicolon == std::string_view::npos ? std::string_view::npos
				: semicolon - start));
		size_t blank = rule_text::first_blank(item);
		std::string_view word = item.substr(0, blank);
		if (word.size() == 7 && blank != std::string_view::npos) {
			std::string lower;
			for (char c : word)
				lower += rule_text::ascii_lower(c);
			if (lower == "pinhash") {
				std::string_view hash = rule_text::trimmed(item.substr(blank));
				*length = hash.size();
				return line.RulesOffset() + (size_t)(hash.data()
					- rules.data());
			}
		}
		if (semicolon == std::string_view::npos)
			return std::string::npos;
		start = semicolon + 1;
	}
}

}	// namespace


TagListEditor::TagListEditor(const std::string& path)
	:
	fList(path)
{
}


status_t
TagListEditor::Load(std::string* problem)
{
	status_t status = fList.Load(problem);
	fFile = fList.File();
	fReadExists = fList.Exists();
	fReadText = fFile.Text();
	return status;
}


bool
TagListEditor::IsModified() const
{
	return fFile.Text() != fReadText;
}


status_t
TagListEditor::SetTag(const std::string& oldTag, const std::string& tag,
	const std::string& name, const std::string& rules, std::string* problem)
{
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	std::string text;
	status_t status = _LineFor(tag, name, rules, &text, problem);
	if (status != B_OK)
		return status;
	TagLine line = TagLine::Parse(1, text);

	const TagLine* same = fFile.Find(tag);
	const TagLine* old = oldTag.empty() ? nullptr : fFile.Find(oldTag);
	if (!oldTag.empty() && old == nullptr) {
		*problem = translate_format("%s is no longer listed",
			TagList::Normalized(oldTag).c_str());
		return B_BAD_VALUE;
	}
	if (same != nullptr && same != old) {
		*problem = translate_format("%s is listed already (line %d)",
			line.Tag().c_str(), same->Number());
		return B_BAD_VALUE;
	}
	// The old tag's next line would count once this one says another tag,
	// with whatever rules it has, or none.
	if (old != nullptr && old->Tag() != line.Tag()) {
		std::vector<int> numbers = fFile.LinesOf(oldTag);
		if (numbers.size() > 1) {
			*problem = translate_format("%s is listed on line %d as well:"
				" remove that line first", old->Tag().c_str(), numbers[1]);
			return B_BAD_VALUE;
		}
	}
	if (old != nullptr)
		fFile.ReplaceLine((size_t)(old->Number() - 1), text);
	else
		fFile.AppendLine(text);
	return B_OK;
}


status_t
TagListEditor::_LineFor(const std::string& tag, const std::string& name,
	const std::string& rules, std::string* text, std::string* problem) const
{
	std::string shownName = trimmed(name);
	std::string shownRules = trimmed(rules);
	if (!TagLine::IsWritableTag(tag)) {
		*problem = tag.empty() ? B_TRANSLATE("no tag")
			: B_TRANSLATE("tag: one word of 1 to 64 characters, without '#' or"
				" '|', not starting with '@'");
		return B_BAD_VALUE;
	}
	if (!check_text(shownName, "name", false, problem)
		|| !check_text(shownRules, "hours", true, problem)) {
		return B_BAD_VALUE;
	}

	*text = TagLine::Compose(tag, shownName, shownRules);
	TagLine line = TagLine::Parse(1, *text);
	if (!line.Problem().empty()) {
		*problem = line.Problem();
		return B_BAD_VALUE;
	}
	if (line.What() != TagLine::kTag || line.Tag() != TagList::Normalized(tag)
		|| line.Name() != shownName || line.RulesText() != shownRules) {
		*problem = B_TRANSLATE("the list cannot hold this line as given");
		return B_BAD_VALUE;
	}
	// Rules() is read afresh on each call: one copy, kept while in use.
	TagRules parsed = line.Rules();
	for (const std::string& set : parsed.HoursNames()) {
		if (_IndexOfHours(set) < 0) {
			*problem = translate_format("@%s is not defined", set.c_str());
			return B_BAD_VALUE;
		}
	}
	return B_OK;
}


status_t
TagListEditor::SetTags(const std::vector<TagText>& tags, size_t* refused,
	std::string* problem)
{
	*refused = 0;
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	std::vector<std::pair<size_t, std::string>> replaced;
	std::vector<std::string> appended;
	std::unordered_set<std::string> seen;
	for (size_t i = 0; i < tags.size(); i++) {
		*refused = i;
		std::string text;
		status_t status = _LineFor(tags[i].tag, tags[i].name, tags[i].rules,
			&text, problem);
		if (status != B_OK)
			return status;
		if (!seen.insert(TagList::Normalized(tags[i].tag)).second) {
			*problem = translate_format("%s is given twice",
				TagList::Normalized(tags[i].tag).c_str());
			return B_BAD_VALUE;
		}
		// The line that counts for it, as SetTag() changes it.
		if (const TagLine* old = fFile.Find(tags[i].tag))
			replaced.emplace_back((size_t)(old->Number() - 1), text);
		else
			appended.push_back(text);
	}
	fFile.EditLines(replaced, appended);
	return B_OK;
}


status_t
TagListEditor::SetPinHash(const std::string& tag, const std::string& hash,
	bool* askedAlways, std::string* problem)
{
	*askedAlways = false;
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	if (!PinHash::IsWellFormed(hash)) {
		*problem = B_TRANSLATE("not a PIN's hash");
		return B_BAD_VALUE;
	}
	const TagLine* line = fFile.Find(tag);
	if (line == nullptr) {
		*problem = translate_format("%s is not listed",
			TagList::Normalized(tag).c_str());
		return B_BAD_VALUE;
	}
	// A line that cannot be read is mended first: what it means is not
	// known, so nothing is added to it.
	if (!line->Problem().empty()) {
		*problem = translate_format("line %d cannot be read: %s",
			line->Number(), line->Problem().c_str());
		return B_BAD_VALUE;
	}
	std::string text = line->Text();
	size_t length = 0;
	size_t at = line->HasRules() ? pin_hash_at(*line, &length)
		: std::string::npos;
	if (at != std::string::npos)
		text.replace(at, length, hash);
	else {
		*askedAlways = !line->Rules().HasPinRules();
		std::string items = std::string(*askedAlways ? "pin ; " : "")
			+ "pinhash " + hash;
		if (line->HasRules()) {
			size_t end = line->RulesOffset() + line->RulesView().size();
			text.insert(end, line->RulesView().empty() ? items
				: " ; " + items);
		} else {
			// Before the comment, if there is one, and before a '\r'.
			size_t tagEnd = (size_t)(line->TagText().data()
				- line->Text().data()) + line->TagText().size();
			size_t comment = text.find('#', tagEnd);
			bool carriage = !text.empty() && text.back() == '\r';
			std::string after = comment != std::string::npos
				? " " + text.substr(comment) : carriage ? "\r" : "";
			size_t end = comment != std::string::npos ? comment
				: text.size() - (carriage ? 1 : 0);
			while (end > tagEnd && rule_text::is_blank(text[end - 1]))
				end--;
			text = text.substr(0, end) + " | " + items + after;
		}
	}
	TagLine changed = TagLine::Parse(line->Number(), text);
	TagRules rules = changed.Rules();
	if (!changed.Problem().empty() || changed.Tag() != line->Tag()
		|| rules.PinHash() != hash) {
		*problem = B_TRANSLATE("the list cannot hold this line as given");
		return B_BAD_VALUE;
	}
	fFile.ReplaceLine((size_t)(line->Number() - 1), text);
	return B_OK;
}


status_t
TagListEditor::RemoveTag(const std::string& tag, std::string* problem)
{
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	if (fFile.Find(tag) == nullptr) {
		*problem = translate_format("%s is not listed",
			TagList::Normalized(tag).c_str());
		return B_BAD_VALUE;
	}
	// From the end, so that the indexes still to come stay where they are.
	std::vector<int> numbers = fFile.LinesOf(tag);
	for (auto number = numbers.rbegin(); number != numbers.rend(); number++)
		fFile.RemoveLine((size_t)(*number - 1));
	return B_OK;
}


status_t
TagListEditor::RemoveLine(int number, std::string* problem)
{
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	if (number < 1 || (size_t)number > fFile.Lines().size()) {
		*problem = translate_format("there is no line %d", number);
		return B_BAD_VALUE;
	}
	// The line that counts for a tag or a set does not go alone while a
	// later line lists it too: that one would count then, with whatever it
	// says.
	const TagLine& line = fFile.Lines()[(size_t)(number - 1)];
	if (line.What() == TagLine::kTag && fFile.Find(line.Tag()) == &line) {
		std::vector<int> numbers = fFile.LinesOf(line.Tag());
		if (numbers.size() > 1) {
			*problem = translate_format("line %d counts for %s, which line %d"
				" lists as well: remove the tag, or that line first", number,
				line.Tag().c_str(), numbers[1]);
			return B_BAD_VALUE;
		}
	}
	if (line.What() == TagLine::kHours
		&& _IndexOfHours(line.HoursName()) == number - 1) {
		for (size_t i = (size_t)number; i < fFile.Lines().size(); i++) {
			const TagLine& later = fFile.Lines()[i];
			if (later.What() == TagLine::kHours
				&& later.HoursName() == line.HoursName()) {
				*problem = translate_format("line %d defines @%s, which line %d"
					" defines as well: remove the set, or that line first",
					number, line.HoursName().c_str(), (int)i + 1);
				return B_BAD_VALUE;
			}
		}
	}
	fFile.RemoveLine((size_t)(number - 1));
	return B_OK;
}


int
TagListEditor::_IndexOfHours(const std::string& name) const
{
	const std::vector<TagLine>& lines = fFile.Lines();
	for (size_t i = 0; i < lines.size(); i++) {
		if (lines[i].What() == TagLine::kHours
			&& lines[i].HoursName() == name)
			return (int)i;
	}
	return -1;
}


status_t
TagListEditor::SetHours(const std::string& oldName, const std::string& name,
	const std::string& hours, std::string* problem)
{
	if (fList.IsRefused()) {
		*problem = B_TRANSLATE("the list is refused: it cannot be changed"
			" here");
		return B_NOT_ALLOWED;
	}
	std::string shownHours = trimmed(hours);
	if (!TagRules::IsHoursName(name)) {
		*problem = B_TRANSLATE("name: 1 to 64 letters, digits, '-' or '_'");
		return B_BAD_VALUE;
	}
	if (!check_text(shownHours, "hours", false, problem))
		return B_BAD_VALUE;
	std::string text = "@" + name + " = " + shownHours;
	TagLine line = TagLine::Parse(1, text);
	if (!line.Problem().empty()) {
		*problem = line.Problem();
		return B_BAD_VALUE;
	}
	if (line.What() != TagLine::kHours || line.HoursName() != name) {
		*problem = B_TRANSLATE("the list cannot hold this line as given");
		return B_BAD_VALUE;
	}
	int old = oldName.empty() ? -1 : _IndexOfHours(oldName);
	if (!oldName.empty() && old < 0) {
		*problem = translate_format("@%s is no longer defined",
			oldName.c_str());
		return B_BAD_VALUE;
	}
	int same = _IndexOfHours(name);
	if (same >= 0 && same != old) {
		*problem = translate_format("@%s is defined already (line %d)",
			name.c_str(), same + 1);
		return B_BAD_VALUE;
	}
	if (old < 0) {
		_InsertHours(text);
		return B_OK;
	}
	if (oldName != name) {
		// Its next definition would count for whatever still says the old
		// name.
		for (size_t i = (size_t)old + 1; i < fFile.Lines().size(); i++) {
			const TagLine& later = fFile.Lines()[i];
			if (later.What() == TagLine::kHours
				&& later.HoursName() == oldName) {
				*problem = translate_format("@%s is defined on line %d as"
					" well: remove that line first", oldName.c_str(),
					(int)i + 1);
				return B_BAD_VALUE;
			}
		}
	}
	fFile.ReplaceLine((size_t)old, text);
	if (oldName == name)
		return B_OK;
	// The tags that used the old name follow it; in their lines only the
	// name changes, every other byte (the comment too) stays.
	for (size_t i = 0; i < fFile.Lines().size(); i++) {
		const TagLine& tagLine = fFile.Lines()[i];
		if (tagLine.What() != TagLine::kTag || !tagLine.Problem().empty()
			|| !tagLine.HasRules())
			continue;
		std::string renamed = renamed_in_rules(tagLine, oldName, name);
		if (renamed != tagLine.Text())
			fFile.ReplaceLine(i, renamed);
	}
	return B_OK;
}


void
TagListEditor::_InsertHours(const std::string& text)
{
	// A new set goes after the last one, or first of all before the tags.
	int after = -1;
	int firstTag = -1;
	for (size_t i = 0; i < fFile.Lines().size(); i++) {
		TagLine::Kind kind = fFile.Lines()[i].What();
		if (kind == TagLine::kHours)
			after = (int)i;
		if (kind == TagLine::kTag && firstTag < 0)
			firstTag = (int)i;
	}
	if (after >= 0)
		fFile.InsertLine((size_t)after + 1, text);
	else if (firstTag >= 0)
		fFile.InsertLine((size_t)firstTag, text);
	else
		fFile.AppendLine(text);
}


status_t
TagListEditor::RemoveHours(const std::string& name, std::string* problem)
{
	int index = _IndexOfHours(name);
	if (index < 0) {
		*problem = translate_format("@%s is not defined", name.c_str());
		return B_BAD_VALUE;
	}
	int users = 0;
	for (const TagLine& line : fFile.Lines()) {
		if (line.What() != TagLine::kTag)
			continue;
		TagRules parsed = line.Rules();
		const std::vector<std::string>& names = parsed.HoursNames();
		if (std::find(names.begin(), names.end(), name) != names.end())
			users++;
	}
	if (users > 0) {
		*problem = translate_format("@%s is used by %d %s", name.c_str(),
			users, users == 1 ? B_TRANSLATE("tag") : B_TRANSLATE("tags"));
		return B_BAD_VALUE;
	}
	// Every definition goes: a later one must not come into force.
	for (size_t i = fFile.Lines().size(); i-- > (size_t)index;) {
		const TagLine& line = fFile.Lines()[i];
		if (line.What() == TagLine::kHours && line.HoursName() == name)
			fFile.RemoveLine(i);
	}
	return B_OK;
}


std::string
TagListEditor::_DiskText(bool* exists) const
{
	*exists = false;
	int fd = open(fList.Path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0)
		return std::string();
	*exists = true;
	std::string data;
	char buffer[65536];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			break;
		data.append(buffer, (size_t)count);
	}
	close(fd);
	return data;
}


bool
TagListEditor::ChangedOnDisk() const
{
	bool exists = false;
	std::string text = _DiskText(&exists);
	return exists != fReadExists || (exists && text != fReadText);
}


status_t
TagListEditor::Save(std::string* problem)
{
	// The check and the rename under one lock: a line learned in between
	// would be lost.
	if (!fList.IsRefused()) {
		make_parents(fList.Path());
		make_parents(fList.RealPath());
	}
	TagListLock lock;
	status_t status = lock.Acquire(fList.RealPath(), problem);
	if (status != B_OK)
		return status;
	if (ChangedOnDisk()) {
		*problem = translate_format("%s was changed on disk since it was read",
			fList.Path().c_str());
		return B_MISMATCHED_VALUES;
	}
	status = fList.Save(fFile, problem, &lock);
	if (status != B_OK)
		return status;
	fReadText = fFile.Text();
	fReadExists = true;
	return B_OK;
}
