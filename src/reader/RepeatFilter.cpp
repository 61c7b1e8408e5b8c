#include "RepeatFilter.h"


RepeatFilter::RepeatFilter(bigtime_t window)
	:
	fWindow(window)
{
}


bool
RepeatFilter::IsRepeat(const std::string& source, const std::string& tag,
	bigtime_t now)
{
	_Prune(now);
	auto key = std::make_pair(source, tag);
	auto found = fLast.find(key);
	bool repeat = found != fLast.end() && now - found->second <= fWindow;
	fLast[key] = now;
	return repeat;
}


void
RepeatFilter::_Prune(bigtime_t now)
{
	// Reads older than the window say nothing any more; without this a
	// stream of different tags would grow the map for ever.
	if (now - fLastPrune < fWindow)
		return;
	fLastPrune = now;
	for (auto entry = fLast.begin(); entry != fLast.end();) {
		if (now - entry->second > fWindow)
			entry = fLast.erase(entry);
		else
			++entry;
	}
}
