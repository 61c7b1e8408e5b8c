#include "InputSource.h"

#include <algorithm>


size_t
InputSource::_AddLine(size_t input, bigtime_t debounce)
{
	fLines.push_back({input, Debouncer(debounce)});
	return fLines.size() - 1;
}


void
InputSource::_Known(size_t line, int level, std::vector<InputChange>* changes)
{
	Line& entry = fLines[line];
	entry.debouncer.Reset(level);
	changes->push_back({entry.input, level, "", true});
}


void
InputSource::_Level(size_t line, int level, bigtime_t now,
	std::vector<InputChange>* changes, bigtime_t when)
{
	Line& entry = fLines[line];
	int accepted;
	if (entry.debouncer.Feed(level, now, &accepted))
		changes->push_back({entry.input, accepted, "", false, when});
}


void
InputSource::Unreadable(const std::string& reason,
	std::vector<InputChange>* changes)
{
	_Lost(reason, changes);
}


void
InputSource::_Lost(const std::string& reason,
	std::vector<InputChange>* changes)
{
	for (Line& entry : fLines) {
		entry.debouncer.Reset(-1);
		changes->push_back({entry.input, -1, reason});
	}
}


bigtime_t
InputSource::NextDeadline() const
{
	bigtime_t next = B_INFINITE_TIMEOUT;
	for (const Line& entry : fLines)
		next = std::min(next, entry.debouncer.NextDeadline());
	return next;
}


void
InputSource::Pulse(bigtime_t now, std::vector<InputChange>* changes)
{
	for (Line& entry : fLines) {
		int accepted;
		if (entry.debouncer.Pulse(now, &accepted))
			changes->push_back({entry.input, accepted, ""});
	}
}
