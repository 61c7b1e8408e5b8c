#ifndef DEBOUNCER_H
#define DEBOUNCER_H

#include <OS.h>

// The level of one contact, taken only once it has held still: a button's
// or a reed switch's metal bounces for a few milliseconds, and a spike on a
// long wire lasts less. A change counts when the new level has stood for
// the delay; one that goes back sooner never happened. With no delay every
// change counts at once.
class Debouncer {
public:
	// The accepted level: 1 active, 0 inactive, -1 not known.
	explicit				Debouncer(bigtime_t delay = 0);

	// Takes the level as it is known without waiting (read from the device
	// when it was opened); -1 forgets it (the device went away).
			void			Reset(int level);
	// A level read now. True (with *level) when it counts at once.
			bool			Feed(int level, bigtime_t now, int* accepted);
	// When a level read earlier will have stood long enough; B_INFINITE_
	// TIMEOUT when none waits.
			bigtime_t		NextDeadline() const;
	// True (with *level) when the waiting level counts by now.
			bool			Pulse(bigtime_t now, int* accepted);

			int				Level() const { return fAccepted; }

private:
			bigtime_t		fDelay;
			int				fAccepted = -1;
			int				fRaw = -1;
			bigtime_t		fRawSince = 0;
};

#endif
