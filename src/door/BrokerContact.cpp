#include "BrokerContact.h"


BrokerContact::BrokerContact(size_t input, bigtime_t interval, bigtime_t now)
	:
	fInput(input),
	fInterval(interval),
	// From the start on: a sensor that never reports is lost as well.
	fLastReport(now)
{
}


void
BrokerContact::Report(bigtime_t now)
{
	fLastReport = now;
	fSilent = false;
}


bigtime_t
BrokerContact::NextDeadline() const
{
	if (fSilent)
		return B_INFINITE_TIMEOUT;
	return fLastReport + fInterval;
}


bool
BrokerContact::Pulse(bigtime_t now)
{
	if (fSilent || now < fLastReport + fInterval)
		return false;
	fSilent = true;
	return true;
}
