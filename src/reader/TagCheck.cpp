#include "TagCheck.h"

#include <TagList.h>

#include <Errors.h>

#include <Locale.h>


void
TagCheck::PrintProblems(FILE* output, const TagList& list)
{
	for (const TagFile::Problem& problem : list.File().Problems()) {
		fprintf(output, B_TRANSLATE("rdx-reader: %s, line %d: %s\n"),
			TagList::Printable(list.Path()).c_str(), problem.line,
			TagList::Printable(problem.what).c_str());
	}
	fflush(output);
}


int
TagCheck::Run(const std::string& path, const std::string& tag,
	const std::string& at, FILE* output)
{
	LocalTime time = LocalTime::Now();
	bool moved = false;
	if (!at.empty() && !LocalTime::ParseMoment(at, &time, &moved)) {
		fprintf(output, B_TRANSLATE("rdx-reader: cannot read the time"
			" \"%s\"\n"), TagList::Printable(at).c_str());
		return 1;
	}
	TagList list(path);
	std::string problem;
	status_t status = list.Load(&problem);
	if (status == B_NOT_ALLOWED) {
		fprintf(output, B_TRANSLATE("rdx-reader: refusing the tag list:"
			" %s\n"), TagList::Printable(problem).c_str());
	} else if (status != B_OK) {
		fprintf(output, B_TRANSLATE("rdx-reader: cannot read the tag list"
			" %s (%s): no tag is taken as listed\n"),
			TagList::Printable(path).c_str(), problem.c_str());
	}
	PrintProblems(output, list);

	TagDecision decision = list.Decide(tag, time);
	std::string shown = TagList::Printable(TagList::Normalized(tag));
	std::string when = time.ToString();
	// Which of an hour that happens twice.
	if (LocalTime::CountOccurrences(time.Key()) > 1)
		when += " " + time.OffsetString();
	LocalTime written;
	if (moved && LocalTime::ParseWritten(at, &written)) {
		when += translate_format(" (%s does not exist that day: the clocks"
			" go forward)", written.ToString().substr(11).c_str());
	}
	const TagLine* line = decision.Line();
	if (line == nullptr) {
		fprintf(output, B_TRANSLATE("%s: unknown at %s: no line of %s lists"
			" it\n"), shown.c_str(), when.c_str(),
			TagList::Printable(path).c_str());
	} else {
		fprintf(output, B_TRANSLATE("%s: %s at %s (line %d of %s: %s)%s%s\n"),
			shown.c_str(), decision.Word(), when.c_str(), line->Number(),
			TagList::Printable(path).c_str(),
			TagList::Printable(line->Text()).c_str(),
			decision.Detail().empty() ? "" : ": ",
			TagList::Printable(decision.Detail()).c_str());
	}
	if (decision.WantsPin()) {
		fprintf(output, B_TRANSLATE("%s: passes with its PIN, typed after it"
			" at the reader\n"), shown.c_str());
	}
	fflush(output);
	return decision.Passes() || decision.WantsPin() ? 0 : 1;
}
