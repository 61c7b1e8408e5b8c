#include "Debouncer.h"


Debouncer::Debouncer(bigtime_t delay)
	:
	fDelay(delay)
{
}


void
Debouncer::Reset(int level)
{
	fAccepted = level;
	fRaw = level;
	fRawSince = 0;
}


bool
Debouncer::Feed(int level, bigtime_t now, int* accepted)
{
	if (level != fRaw) {
		fRaw = level;
		fRawSince = now;
	}
	if (fDelay > 0)
		return Pulse(now, accepted);
	if (fRaw == fAccepted)
		return false;
	fAccepted = fRaw;
	*accepted = fAccepted;
	return true;
}


bigtime_t
Debouncer::NextDeadline() const
{
	if (fRaw == fAccepted)
		return B_INFINITE_TIMEOUT;
	return fRawSince + fDelay;
}


bool
Debouncer::Pulse(bigtime_t now, int* accepted)
{
	if (fRaw == fAccepted || now < fRawSince + fDelay)
		return false;
	fAccepted = fRaw;
	*accepted = fAccepted;
	return true;
}
