#include <OS.h>

#include <ChildProcess.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

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
	errno = 0;
	EXPECT_EQ(getpriority(PRIO_PROCESS, (id_t)thread), 10);

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
		int nice;
	};
	const Row rows[] = {
		{"rdxR1", B_LOW_PRIORITY, "rdxR1", 10},
		{"rdxR2", B_NORMAL_PRIORITY, "rdxR2", 0},
		{"a name longer than fifteen", B_DISPLAY_PRIORITY, "a name longer t", 0},
		{nullptr, B_LOWEST_ACTIVE_PRIORITY, "unnamed thread", 19},
	};
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
	struct rusage before, after;
	getrusage(RUSAGE_THREAD, &before);
	for (size_t i = 0; i < kRows; i++) {
		seen[i] = -1;
		threads.push_back(spawn_thread(body, rows[i].name, rows[i].priority,
			(void*)(intptr_t)i));
	}
	getrusage(RUSAGE_THREAD, &after);
	// The spawner never waited for one of them to come up.
	EXPECT_EQ(after.ru_nvcsw, before.ru_nvcsw);

	for (size_t i = 0; i < kRows; i++) {
		SCOPED_TRACE(rows[i].comm);
		thread_id thread = threads[i];
		ASSERT_GT(thread, 0);
		// The kernel's own id of a thread that lives, and that thread's nice
		// value, as soon as the spawn returned; the spawner's is untouched.
		EXPECT_TRUE(task_exists(thread));
		errno = 0;
		EXPECT_EQ(getpriority(PRIO_PROCESS, (id_t)thread), rows[i].nice);
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
	// the first one's result is gone.
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


TEST(Threads, StatusTextsKnowBothKinds)
{
	EXPECT_STREQ(strerror((ssize_t)B_ENTRY_NOT_FOUND),
		"No such file or directory");
	EXPECT_STREQ(strerror((ssize_t)-EACCES), ::strerror(EACCES));
	EXPECT_EQ((uint32)B_ENTRY_NOT_FOUND, 0x80006003u);
}
