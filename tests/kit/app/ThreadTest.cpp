#include <OS.h>

#include <ChildProcess.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CLONE_NEWTIME
#define CLONE_NEWTIME 0x00000080
#endif

#if defined(__SANITIZE_THREAD__)
static const bool kUnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
static const bool kUnderThreadSanitizer = true;
#else
static const bool kUnderThreadSanitizer = false;
#endif
#else
static const bool kUnderThreadSanitizer = false;
#endif

namespace {

std::atomic<bool> sRelease{false};
std::atomic<thread_id> sSeenId{-1};

status_t
held_thread(void* data)
{
	sSeenId = find_thread(nullptr);
	while (!sRelease)
		snooze(1000);
	return *static_cast<int*>(data);
}

bool
task_exists(thread_id thread)
{
	std::string task = "/proc/self/task/" + std::to_string(thread);
	return access(task.c_str(), F_OK) == 0;
}


std::string
task_file(thread_id thread, const char* name)
{
	std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/" + name);
	std::string contents;
	std::getline(in, contents);
	return contents;
}

}	// namespace


TEST(Threads, SpawnedThreadWaitsForResumeAndCarriesNameAndPriority)
{
	int value = 17;
	sRelease = false;
	thread_id thread = spawn_thread(held_thread, "rdxR3", B_LOW_PRIORITY,
		&value);
	ASSERT_GT(thread, 0);
	snooze(20000);
	// Not resumed yet: the function has not run.
	EXPECT_EQ(sSeenId.load(), -1);
	EXPECT_EQ(task_file(thread, "comm"), "rdxR3");
	// Ten below the process's own priority, as far as the lowest allows.
	int own = getpriority(PRIO_PROCESS, (id_t)getpid());
	EXPECT_EQ(getpriority(PRIO_PROCESS, (id_t)thread), std::min(own + 10, 19));

	ASSERT_EQ(resume_thread(thread), B_OK);
	sRelease = true;
	status_t result = 0;
	ASSERT_EQ(wait_for_thread(thread, &result), B_OK);
	EXPECT_EQ(result, 17);
	EXPECT_EQ(sSeenId.load(), thread);
	EXPECT_EQ(wait_for_thread(thread, &result), B_BAD_THREAD_ID);
	EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_ID);
}


TEST(Threads, SpawnGivesTheKernelIdNameAndNiceOfThatThreadAtOnce)
{
	struct Row {
		const char* name;
		int32 priority;
		const char* comm;
		// Above the process's own nice value, as far as 19 allows: the
		// suite may itself run under nice.
		int niceAbove;
	};
	const Row rows[] = {
		{"rdxR1", B_LOW_PRIORITY, "rdxR1", 10},
		{"rdxR2", B_NORMAL_PRIORITY, "rdxR2", 0},
		{"a name longer than fifteen", B_DISPLAY_PRIORITY, "a name longer t", 0},
		{nullptr, B_LOWEST_ACTIVE_PRIORITY, "unnamed thread", 19},
	};
	errno = 0;
	int processNice = getpriority(PRIO_PROCESS, (id_t)getpid());
	const size_t kRows = sizeof(rows) / sizeof(rows[0]);
	static std::atomic<thread_id> seen[kRows];
	static std::atomic<bool> release{false};
	release = false;
	auto body = [](void* data) -> status_t {
		seen[(intptr_t)data] = find_thread(nullptr);
		while (!release)
			snooze(1000);
		return (status_t)(intptr_t)data + 100;
	};

	errno = 0;
	int spawnerNice = getpriority(PRIO_PROCESS, 0);
	std::vector<thread_id> threads;
	// On one processor with the spawner (they inherit its mask), the new
	// threads cannot come up while it runs: a spawner that waited for them
	// would have to sleep once for each. One sleep is left for a lock the
	// C library's own thread bookkeeping may hold.
	cpu_set_t everywhere, here;
	ASSERT_EQ(sched_getaffinity(0, sizeof(everywhere), &everywhere), 0);
	CPU_ZERO(&here);
	CPU_SET(sched_getcpu(), &here);
	ASSERT_EQ(sched_setaffinity(0, sizeof(here), &here), 0);
	struct rusage before, after;
	getrusage(RUSAGE_THREAD, &before);
	for (size_t i = 0; i < kRows; i++) {
		seen[i] = -1;
		threads.push_back(spawn_thread(body, rows[i].name, rows[i].priority,
			(void*)(intptr_t)i));
	}
	getrusage(RUSAGE_THREAD, &after);
	sched_setaffinity(0, sizeof(everywhere), &everywhere);
	// ThreadSanitizer's own pthread_create waits for each new thread to come
	// up, whatever the kit does.
	if (!kUnderThreadSanitizer) {
		EXPECT_LE(after.ru_nvcsw - before.ru_nvcsw, 1);
	}

	for (size_t i = 0; i < kRows; i++) {
		SCOPED_TRACE(rows[i].comm);
		thread_id thread = threads[i];
		ASSERT_GT(thread, 0);
		// The kernel's own id of a thread that lives, and that thread's nice
		// value, as soon as the spawn returned; the spawner's is untouched.
		EXPECT_TRUE(task_exists(thread));
		errno = 0;
		EXPECT_EQ(getpriority(PRIO_PROCESS, (id_t)thread),
			std::min(processNice + rows[i].niceAbove, 19));
		EXPECT_EQ(getpriority(PRIO_PROCESS, 0), spawnerNice);
		EXPECT_TRUE(wait_for([&] {
			return task_file(thread, "comm") == rows[i].comm; }, 20));
		EXPECT_EQ(seen[i].load(), -1);
		for (size_t j = 0; j < i; j++)
			EXPECT_NE(threads[j], thread);
	}

	// Resumed the usual way, or never resumed and only waited for, which
	// lets it run.
	for (size_t i = 0; i < kRows; i += 2)
		ASSERT_EQ(resume_thread(threads[i]), B_OK);
	release = true;
	for (size_t i = 0; i < kRows; i++) {
		status_t result = 0;
		ASSERT_EQ(wait_for_thread(threads[i], &result), B_OK);
		EXPECT_EQ(result, (status_t)i + 100);
		EXPECT_EQ(seen[i].load(), threads[i]);
	}
	EXPECT_EQ(resume_thread(threads[1]), B_BAD_THREAD_ID);
}


TEST(Threads, ThreadsSpawnedFromManyThreadsAtOnceKnowTheirOwnIds)
{
	// Spawners on several threads at once, each worker telling who it is:
	// the id a spawner was given must be the one its worker runs as.
	const int kSpawners = 4;
	const int kEach = 50;
	static std::atomic<thread_id> seen[kSpawners * kEach];
	auto body = [](void* data) -> status_t {
		seen[(intptr_t)data] = find_thread(nullptr);
		return B_OK;
	};
	std::vector<thread_id> given(kSpawners * kEach, -1);
	std::vector<std::thread> spawners;
	for (int s = 0; s < kSpawners; s++) {
		spawners.emplace_back([&, s] {
			for (int i = s * kEach; i < (s + 1) * kEach; i++) {
				seen[i] = -1;
				given[i] = spawn_thread(body, "rdxSpawned", B_NORMAL_PRIORITY,
					(void*)(intptr_t)i);
				if (given[i] > 0)
					resume_thread(given[i]);
			}
		});
	}
	for (std::thread& spawner : spawners)
		spawner.join();
	for (int i = 0; i < kSpawners * kEach; i++) {
		ASSERT_GT(given[i], 0);
		// Nobody waited: the result may be gone, the thread ran all the same.
		wait_for_thread(given[i], nullptr);
		ASSERT_TRUE(wait_for([&] { return seen[i].load() != -1; }, 20));
		EXPECT_EQ(seen[i].load(), given[i]);
	}

	EXPECT_EQ(spawn_thread(nullptr, "rdxNone", B_NORMAL_PRIORITY, nullptr),
		B_BAD_VALUE);
	EXPECT_EQ(resume_thread(-1), B_BAD_THREAD_ID);
}


TEST(Threads, ThreadThatEndedBeforeTheWaitStillGivesItsResult)
{
	// The usual way to stop a looper: tell it to quit, then wait for its
	// thread, which by then may well have ended.
	thread_id thread = spawn_thread([](void*) -> status_t { return 42; },
		"rdxQuick", B_NORMAL_PRIORITY, nullptr);
	ASSERT_GT(thread, 0);
	ASSERT_EQ(resume_thread(thread), B_OK);
	ASSERT_TRUE(wait_for([&] { return !task_exists(thread); }, 20));

	EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_ID);
	status_t result = 0;
	ASSERT_EQ(wait_for_thread(thread, &result), B_OK);
	EXPECT_EQ(result, 42);
	EXPECT_EQ(wait_for_thread(thread, &result), B_BAD_THREAD_ID);
}


TEST(Threads, ResultsOfUnwaitedThreadsAreNotKeptForever)
{
	// Workers nobody waits for must not pile up: once many more have ended,
	// the first one's result is gone. A long-lived thread (a looper) spawned
	// before them all and ending after them keeps its result for the wait
	// that follows its end.
	sRelease = false;
	int looperResult = 23;
	thread_id looper = spawn_thread(held_thread, "rdxLooper",
		B_NORMAL_PRIORITY, &looperResult);
	ASSERT_GT(looper, 0);
	ASSERT_EQ(resume_thread(looper), B_OK);
	auto quick = [](void*) -> status_t { return 0; };
	std::vector<thread_id> threads;
	for (int i = 0; i < 600; i++) {
		thread_id worker = spawn_thread(quick, "rdxWorker",
			B_NORMAL_PRIORITY, nullptr);
		ASSERT_GT(worker, 0);
		ASSERT_EQ(resume_thread(worker), B_OK);
		threads.push_back(worker);
		if (i == 0) {
			ASSERT_TRUE(wait_for([&] { return !task_exists(worker); }, 20));
		}
	}
	for (thread_id worker : threads)
		ASSERT_TRUE(wait_for([&] { return !task_exists(worker); }, 20));
	sRelease = true;
	ASSERT_TRUE(wait_for([&] { return !task_exists(looper); }, 20));
	status_t result = 0;
	EXPECT_EQ(wait_for_thread(looper, &result), B_OK);
	EXPECT_EQ(result, 23);
	EXPECT_EQ(wait_for_thread(threads.front(), nullptr), B_BAD_THREAD_ID);
	EXPECT_EQ(wait_for_thread(threads.back(), nullptr), B_OK);
}


TEST(Threads, SnoozeSleepsAtLeastTheTimeAsked)
{
	bigtime_t start = system_time();
	snooze(30000);
	EXPECT_GE(system_time() - start, 30000);
	EXPECT_EQ(snooze(0), B_OK);
}


TEST(Threads, SystemTimeGoesOnWhileTheMachineSleeps)
{
	// A machine that slept for a day has its boot clock a day ahead of its
	// monotonic one; a time namespace with that offset shows it without a
	// suspend. A deadline taken before the sleep must have passed after it.
	int channel[2];
	ASSERT_EQ(pipe(channel), 0);
	pid_t child = fork();
	if (child == 0) {
		static const char kOffsets[] = "boottime 86400 0";
		if (unshare(CLONE_NEWTIME) != 0)
			_exit(20);
		int fd = open("/proc/self/timens_offsets", O_WRONLY | O_CLOEXEC);
		if (fd < 0 || write(fd, kOffsets, sizeof(kOffsets) - 1) < 0)
			_exit(20);
		close(fd);
		// Only a process born into it lives in the new namespace.
		pid_t inside = fork();
		if (inside == 0) {
			struct timespec monotonic;
			clock_gettime(CLOCK_MONOTONIC, &monotonic);
			int64_t ahead = system_time() - (monotonic.tv_sec * 1000000LL
				+ monotonic.tv_nsec / 1000);
			_exit(write(channel[1], &ahead, sizeof(ahead)) == sizeof(ahead)
				? 0 : 21);
		}
		int status = -1;
		waitpid(inside, &status, 0);
		_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 22);
	}
	close(channel[1]);
	int status = -1;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	if (WIFEXITED(status) && WEXITSTATUS(status) == 20)
		GTEST_SKIP() << "no time namespace can be made here";
	int64_t ahead = 0;
	ASSERT_EQ(read(channel[0], &ahead, sizeof(ahead)),
		(ssize_t)sizeof(ahead));
	close(channel[0]);
	EXPECT_GE(ahead, 86400LL * 1000000LL);
	EXPECT_LT(ahead, 86401LL * 1000000LL);
}


TEST(Threads, StatusTextsKnowBothKinds)
{
	EXPECT_STREQ(strerror((ssize_t)B_ENTRY_NOT_FOUND),
		"No such file or directory");
	EXPECT_STREQ(strerror((ssize_t)-EACCES), ::strerror(EACCES));
	EXPECT_EQ((uint32)B_ENTRY_NOT_FOUND, 0x80006003u);
}
