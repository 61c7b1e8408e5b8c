#include "LibraryTagDecision.h"

#include <LocalTime.h>
#include <TagDecision.h>
#include <TagFile.h>


LibraryVerdict
LibraryDecide(const std::string& listText, const std::string& tag,
	time_t when)
{
	TagFile file = TagFile::Parse(listText);
	TagDecision decision = TagDecision::Decide(file, tag,
		LocalTime::FromTime(when));
	LibraryVerdict verdict;
	verdict.passes = decision.Passes() || decision.WantsPin();
	verdict.pinWanted = decision.WantsPin();
	verdict.word = TagDecision::VerdictWord(decision.What());
	return verdict;
}
