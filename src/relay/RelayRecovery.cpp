#include "RelayRecovery.h"

#include "RelayCloses.h"

#include <AccessLog.h>
#include <OS.h>

#include <cstdio>

std::mutex RelayRecovery::sLock;
std::vector<OpenRelayRecord::Entry> RelayRecovery::sPending;
bool RelayRecovery::sRetrying = false;


void
RelayRecovery::AtStart(OpenRelayRecord& record,
	const std::function<std::string()>& storedAddress)
{
	std::vector<OpenRelayRecord::Entry> entries;
	std::string problem;
	status_t status = record.Load(&entries, &problem);
	// Without a state directory there is no record at all (Begin() says
	// so); any other failure may hide a relay that is open.
	if (status != B_OK && status != B_NO_INIT) {
		std::string address = storedAddress();
		printf("the record of open relays %s is not to be trusted (%s): "
			"closing all four relays of the board at %s\n",
			record.Path().c_str(), problem.c_str(), address.c_str());
		entries.clear();
		for (int32 relay = 1; relay <= 4; relay++)
			entries.push_back(OpenRelayRecord::Entry{relay, address});
	}

	std::vector<OpenRelayRecord::Entry> left = _Close(entries);
	record.Begin(left);
	std::lock_guard<std::mutex> guard(sLock);
	sPending = left;
}


void
RelayRecovery::Retry()
{
	{
		std::lock_guard<std::mutex> guard(sLock);
		if (sPending.empty() || sRetrying)
			return;
		sRetrying = true;
	}
	// Like a relay worker, it may outlive the application by one request's
	// limit; it posts nothing.
	thread_id thread = spawn_thread(_RetryThread, "rdx recovery",
		B_NORMAL_PRIORITY, nullptr);
	if (thread < 0) {
		std::lock_guard<std::mutex> guard(sLock);
		sRetrying = false;
		return;
	}
	resume_thread(thread);
}


std::vector<OpenRelayRecord::Entry>
RelayRecovery::Pending()
{
	std::lock_guard<std::mutex> guard(sLock);
	return sPending;
}


status_t
RelayRecovery::_RetryThread(void* data)
{
	std::vector<OpenRelayRecord::Entry> entries = Pending();
	std::vector<OpenRelayRecord::Entry> left = _Close(entries);
	if (OpenRelayRecord* record = OpenRelayRecord::Default()) {
		for (const OpenRelayRecord::Entry& entry : entries) {
			bool answered = true;
			for (const OpenRelayRecord::Entry& kept : left)
				answered = answered && !(kept == entry);
			if (answered)
				record->Closed(entry.relay, entry.address.c_str(), true);
		}
	}
	std::lock_guard<std::mutex> guard(sLock);
	sPending = left;
	sRetrying = false;
	return B_OK;
}


std::vector<OpenRelayRecord::Entry>
RelayRecovery::_Close(const std::vector<OpenRelayRecord::Entry>& entries)
{
	std::vector<RelayClose> closes;
	for (const OpenRelayRecord::Entry& entry : entries)
		closes.push_back(RelayClose{entry.relay, entry.address});
	RunRelayCloses(closes);

	std::vector<OpenRelayRecord::Entry> left;
	AccessLog* log = AccessLog::Default();
	for (const RelayClose& close : closes) {
		if (log != nullptr) {
			log->Relay(close.relay, false, RDX_CAUSE_RECOVERY, nullptr,
				close.ExitStatus(), close.took / 1000.0, close.timedOut);
		}
		// An address no command can be made for (one in a record that was
		// tampered with) never had an open sent to it either.
		if (close.built == B_BAD_VALUE || close.built == B_NAME_TOO_LONG)
			continue;
		if (close.Answered()) {
			printf("recovery: closed relay %d at %s, left open by an earlier "
				"run\n", (int)close.relay, close.address.c_str());
			continue;
		}
		printf("recovery: relay %d at %s did not close (the board did not "
			"answer); tried again at the next start and when board use is "
			"switched on\n", (int)close.relay, close.address.c_str());
		left.push_back(OpenRelayRecord::Entry{close.relay, close.address});
	}
	return left;
}
