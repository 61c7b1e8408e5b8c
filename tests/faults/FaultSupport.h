#ifndef TEST_FAULT_SUPPORT_H
#define TEST_FAULT_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

// The X server of this test process, started when first asked for; empty
// when it could not start.
const std::string& TestDisplay();

// Seconds on a monotonic clock (the test support library's).
double test_now();

// The descriptors this process holds open right now.
std::set<int> OpenDescriptors();
// The threads of this process whose name begins with the prefix; all of
// them for an empty prefix.
int CountThreads(const std::string& prefix = "");
// The names of this process's threads.
std::multiset<std::string> ThreadNames();
std::string Listed(const std::multiset<std::string>& names);
// Waits until no thread of this process has a name beginning with the
// prefix.
bool WaitForNoThreads(const std::string& prefix, double seconds);

// The descriptors another process of ours holds open, or -1.
int CountDescriptorsOf(pid_t process);

// A figure for the reliability table: printed on standard error as
// "[ figure ] TEST: NAME = VALUE" and kept as a property of the test.
void ReportFigure(const std::string& name, const std::string& value);
std::string Seconds(double seconds);

// Faults that are reported and wait for a fix are skipped, with what is
// wrong, unless RDX_FAULTS_KNOWN=1 asks for them to run.
bool RunKnownFaults();
#define SKIP_KNOWN_FAULT(what) \
	do { \
		if (!RunKnownFaults()) \
			GTEST_SKIP() << "known fault, reported, waiting for its fix: " \
				<< what; \
	} while (false)

// Cases that mount file systems run in a child of this test program that
// has a mount namespace of its own (unshare --mount --propagation private),
// so that nothing they mount is seen outside.
bool InMountNamespace();
// Runs the current test in such a child and takes over its outcome.
void RunInMountNamespace();

// Mounts; an empty text on success, else what failed.
std::string MountFileSystem(const std::string& type,
	const std::string& directory, const std::string& options = "");
std::string BindReadOnly(const std::string& directory);

// What the function wrote to the descriptor (1 or 2) while it ran.
std::string CapturedOutput(int fd, const std::function<void()>& function);

// This test program's own path.
std::string SelfPath();

#endif
