#include <OS.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// One spawned thread. The record outlives the pthread while someone may still
// resume it or wait for it.
struct ThreadRecord {
	thread_func function = nullptr;
	void* data = nullptr;
	std::string name;
	int32 priority = B_NORMAL_PRIORITY;
	pthread_t handle{};
	thread_id id = -1;
	// Order of ending unwaited for, set under the registry lock when the
	// result is kept.
	uint64_t ended = 0;

	std::mutex lock;
	std::condition_variable changed;
	// What the thread itself says its id is; only waited for where the id
	// cannot be read from its handle.
	pid_t kernelId = 0;
	bool resumed = false;
	bool done = false;
	bool waited = false;
	// Ended before anyone waited: the pthread is detached and only the
	// result is left for a late waiter.
	bool detached = false;
	status_t result = B_OK;
};

// Threads nobody waits for may still be ending while the process runs its
// exit-time destructors, so the registry is never destroyed.
std::mutex sRegistryLock;
std::map<thread_id, std::shared_ptr<ThreadRecord>>& sRegistry
	= *new std::map<thread_id, std::shared_ptr<ThreadRecord>>;

// A thread that ends before its owner gets to wait_for_thread() (a looper
// told to quit usually does, and one that quit by itself may be waited for
// much later) must still be waitable, so its result is kept until someone
// waits for it. Threads nobody ever waits for (the short-lived workers)
// must not pile up, so the results are bounded: beyond this many, the one
// that has been waiting longest since its thread ended goes. A result is
// wanted soon after its thread ends, if at all; a long-lived thread that
// ends after many workers is the newest here, however early it was
// spawned.
const size_t kKeptResults = 256;
uint64_t sEnded = 0;
std::map<uint64_t, thread_id>& sFinished = *new std::map<uint64_t, thread_id>;


// Called with sRegistryLock held.
void
keep_result(ThreadRecord& record)
{
	record.ended = ++sEnded;
	sFinished[record.ended] = record.id;
	if (sFinished.size() <= kKeptResults)
		return;
	auto oldest = sFinished.begin();
	auto found = sRegistry.find(oldest->second);
	// The kernel may have given the id to a newer thread meanwhile; only the
	// result of this very thread goes, if nobody collected it.
	if (found != sRegistry.end() && found->second->ended == oldest->first
		&& found->second->detached)
		sRegistry.erase(found);
	sFinished.erase(oldest);
}


// Priorities are relative to the process's own nice value: a program
// started with nice 19 must not have its low-priority threads raised above
// itself (which root may do), nor its normal ones.
int
nice_for_priority(int32 priority)
{
	errno = 0;
	int base = getpriority(PRIO_PROCESS, (id_t)getpid());
	if (base == -1 && errno != 0)
		base = 0;
	int offset = priority >= B_NORMAL_PRIORITY ? 0
		: priority >= B_LOW_PRIORITY ? 10 : 19;
	return base + offset > 19 ? 19 : base + offset;
}


// A thread's CPU clock id is the kernel's thread id in the encoding the
// kernel defines for per-thread clocks: the id, inverted, above three bits
// that name the clock. Gives 0 where the clock id is not of that form.
pid_t
kernel_thread_id(pthread_t handle)
{
	clockid_t clock;
	if (pthread_getcpuclockid(handle, &clock) != 0)
		return 0;
	const clockid_t kPerThreadScheduleClock = 6;
	if ((clock & 7) != kPerThreadScheduleClock)
		return 0;
	pid_t tid = (pid_t)~(clock >> 3);
	return tid > 0 ? tid : 0;
}


// Checked once, on the thread that asks first, so that with a C library
// that ever makes its clock ids otherwise the spawner asks the thread.
bool
ids_from_handles()
{
	static const bool decodes
		= kernel_thread_id(pthread_self()) == (pid_t)syscall(SYS_gettid);
	return decodes;
}


void*
thread_entry(void* arg)
{
	std::shared_ptr<ThreadRecord> record
		= *static_cast<std::shared_ptr<ThreadRecord>*>(arg);
	delete static_cast<std::shared_ptr<ThreadRecord>*>(arg);

	// Told in any case, for a spawner that could not read the id; nobody
	// waits for it otherwise, and the notice then wakes no one.
	pid_t tid = (pid_t)syscall(SYS_gettid);
	{
		std::lock_guard<std::mutex> guard(record->lock);
		record->kernelId = tid;
	}
	record->changed.notify_all();

	// Usually the spawner has resumed the thread before it first runs, and
	// the function starts on this very wake-up.
	{
		std::unique_lock<std::mutex> guard(record->lock);
		record->changed.wait(guard, [&] { return record->resumed; });
	}

	status_t result = record->function(record->data);

	bool reap;
	{
		std::lock_guard<std::mutex> guard(record->lock);
		record->result = result;
		record->done = true;
		reap = !record->waited;
	}
	record->changed.notify_all();

	if (reap) {
		// Nobody waits yet: the thread cleans up after itself and leaves
		// its result for a waiter that comes later.
		std::lock_guard<std::mutex> guard(sRegistryLock);
		std::lock_guard<std::mutex> recordGuard(record->lock);
		if (!record->waited) {
			pthread_detach(record->handle);
			record->detached = true;
			keep_result(*record);
		}
	}
	return nullptr;
}


std::shared_ptr<ThreadRecord>
lookup(thread_id thread)
{
	std::lock_guard<std::mutex> guard(sRegistryLock);
	auto found = sRegistry.find(thread);
	if (found == sRegistry.end())
		return nullptr;
	return found->second;
}

}	// namespace


thread_id
spawn_thread(thread_func function, const char* name, int32 priority,
	void* data)
{
	if (function == nullptr)
		return B_BAD_VALUE;

	auto record = std::make_shared<ThreadRecord>();
	record->function = function;
	record->data = data;
	record->name = name != nullptr ? name : "unnamed thread";
	record->priority = priority;

	// The registry lock is held until the record is filed, so that a thread
	// that ends at once finds itself there.
	std::lock_guard<std::mutex> registryGuard(sRegistryLock);
	auto* arg = new std::shared_ptr<ThreadRecord>(record);
	int error = pthread_create(&record->handle, nullptr, thread_entry, arg);
	if (error != 0) {
		delete arg;
		return B_FROM_POSIX_ERROR(error);
	}

	// The spawner reads the new thread's id, names and lowers it itself
	// rather than waiting for it to say who it is: on a busy machine every
	// wait for another thread is a trip through the scheduler, and a
	// worker's first instruction should cost no more than the one wake-up
	// that starts it.
	record->id = ids_from_handles() ? kernel_thread_id(record->handle) : 0;
	if (record->id <= 0) {
		std::unique_lock<std::mutex> guard(record->lock);
		record->changed.wait(guard, [&] { return record->kernelId > 0; });
		record->id = record->kernelId;
	}
	// Named and lowered before the spawner hears of it, so that both hold
	// from the moment spawn_thread() returns, however late the thread runs.
	pthread_setname_np(record->handle, record->name.substr(0, 15).c_str());
	// The thread starts with its spawner's nice value, which need not be
	// the process's own.
	int niceValue = nice_for_priority(priority);
	if (niceValue != getpriority(PRIO_PROCESS, (id_t)record->id))
		setpriority(PRIO_PROCESS, (id_t)record->id, niceValue);
	sRegistry[record->id] = record;
	return record->id;
}


status_t
resume_thread(thread_id thread)
{
	std::shared_ptr<ThreadRecord> record = lookup(thread);
	if (record == nullptr)
		return B_BAD_THREAD_ID;
	{
		std::lock_guard<std::mutex> guard(record->lock);
		if (record->done)
			return B_BAD_THREAD_ID;
		record->resumed = true;
	}
	record->changed.notify_all();
	return B_OK;
}


status_t
set_thread_priority(thread_id thread, int32 priority)
{
	if (thread < 0)
		return B_BAD_THREAD_ID;
	std::shared_ptr<ThreadRecord> record = lookup(thread);
	int32 old = B_NORMAL_PRIORITY;
	if (record != nullptr) {
		std::lock_guard<std::mutex> guard(record->lock);
		old = record->priority;
	}
	if (setpriority(PRIO_PROCESS, (id_t)thread, nice_for_priority(priority))
			!= 0) {
		if (errno == ESRCH)
			return B_BAD_THREAD_ID;
		return errno == EACCES || errno == EPERM ? B_NOT_ALLOWED
			: B_FROM_POSIX_ERROR(errno);
	}
	if (record != nullptr) {
		std::lock_guard<std::mutex> guard(record->lock);
		record->priority = priority;
	}
	return old;
}


status_t
wait_for_thread(thread_id thread, status_t* returnValue)
{
	std::shared_ptr<ThreadRecord> record;
	{
		std::lock_guard<std::mutex> registryGuard(sRegistryLock);
		auto found = sRegistry.find(thread);
		if (found == sRegistry.end())
			return B_BAD_THREAD_ID;
		record = found->second;
		std::lock_guard<std::mutex> guard(record->lock);
		if (record->waited)
			return B_BAD_THREAD_ID;
		record->waited = true;
		if (record->detached) {
			sFinished.erase(record->ended);
			sRegistry.erase(found);
			if (returnValue != nullptr)
				*returnValue = record->result;
			return B_OK;
		}
		if (!record->resumed) {
			record->resumed = true;
			record->changed.notify_all();
		}
	}

	pthread_join(record->handle, nullptr);
	{
		std::lock_guard<std::mutex> guard(sRegistryLock);
		sRegistry.erase(thread);
	}
	if (returnValue != nullptr)
		*returnValue = record->result;
	return B_OK;
}


thread_id
find_thread(const char* name)
{
	// Only the calling thread can be asked for; looking threads up by name
	// is not needed here.
	if (name != nullptr)
		return B_NAME_NOT_FOUND;
	return (thread_id)syscall(SYS_gettid);
}


status_t
snooze(bigtime_t microseconds)
{
	if (microseconds <= 0)
		return B_OK;
	struct timespec delay;
	delay.tv_sec = microseconds / 1000000;
	delay.tv_nsec = (microseconds % 1000000) * 1000;
	// On the clock of system_time(): a hold time that a suspend
	// interrupted is over on resume, and the relay closes then.
	for (;;) {
		int error = clock_nanosleep(CLOCK_BOOTTIME, 0, &delay, &delay);
		if (error == 0)
			return B_OK;
		if (error != EINTR)
			return B_FROM_POSIX_ERROR(error);
	}
}


bigtime_t
system_time()
{
	struct timespec now;
	// Suspend counts: a deadline set before the machine slept has passed
	// when it wakes after it, as it has for the person at the door.
	clock_gettime(CLOCK_BOOTTIME, &now);
	return (bigtime_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}
