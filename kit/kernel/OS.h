#ifndef _OS_H
#define _OS_H

#include <SupportDefs.h>

typedef int32 thread_id;
typedef int32 team_id;
typedef status_t (*thread_func)(void* data);

#define B_INFINITE_TIMEOUT (9223372036854775807LL)

// Thread priorities. Anything below B_NORMAL_PRIORITY runs with a nice value
// raised above the process's own (by 10 for B_LOW_PRIORITY, by 19 below
// it, never past 19), so that it yields to the program's loopers; anything
// from B_NORMAL_PRIORITY up runs at the process's own nice value.
enum {
	B_IDLE_PRIORITY = 0,
	B_LOWEST_ACTIVE_PRIORITY = 1,
	B_LOW_PRIORITY = 5,
	B_NORMAL_PRIORITY = 10,
	B_DISPLAY_PRIORITY = 15,
	B_URGENT_DISPLAY_PRIORITY = 20,
	B_REAL_TIME_DISPLAY_PRIORITY = 100,
};

#define B_OS_NAME_LENGTH 32

// Creates a thread that waits, suspended, until resume_thread(). The name is
// given to the kernel (cut to the 15 characters Linux keeps). Returns the
// thread's id (the kernel's thread id, known when spawn_thread returns: ids
// are never reused while the thread lives) or a negative status. The spawner
// never waits for the new thread, so that resume_thread() is the one wake-up
// between the call and the thread's first instruction. A thread that was
// never resumed is not reaped; every spawned thread should be resumed (or
// waited for, which resumes it).
thread_id spawn_thread(thread_func function, const char* name, int32 priority,
	void* data);
status_t resume_thread(thread_id thread);

// Gives a thread another priority; returns the old one, or a negative
// status. A priority below B_NORMAL_PRIORITY is a raised nice value, which
// an unprivileged program cannot take back: lowering always works, raising
// again gives B_NOT_ALLOWED. Programs a thread starts inherit its nice
// value, so a thread whose programs must not be slowed down starts them
// before it lowers itself.
status_t set_thread_priority(thread_id thread, int32 priority);

// Waits until the thread has ended and gives its return value, also when it
// ended before the call. Only one waiter per thread; a thread nobody waits
// for is reaped when it ends and its result is kept for a late waiter, as
// long as it is not among the oldest of more than a few hundred results
// that nobody has collected yet (oldest by the end of their threads).
status_t wait_for_thread(thread_id thread, status_t* returnValue);

// The calling thread's id (the kernel's thread id), for a null name.
thread_id find_thread(const char* name);

// Suspends the calling thread for the given number of microseconds of
// system_time(), which go on while the machine is suspended.
status_t snooze(bigtime_t microseconds);

// Microseconds since boot on a clock that no time adjustment moves and that
// goes on counting while the machine is suspended (CLOCK_BOOTTIME): a time
// limit or deadline taken from it before a suspend has passed after a
// resume as it has for the people waiting. Every process of the machine
// reads the same clock.
bigtime_t system_time();

#endif
