#include "RelayRecovery.h"

#include "RelayCloses.h"
#include "RelayRequests.h"

#include <AccessLog.h>
#include <OS.h>

#include <cerrno>
#include <cstdio>

std::mutex RelayRecovery::sLock;
std::condition_variable RelayRecovery::sIdle;
std::vector<RelayRecovery::Filter> RelayRecovery::sFilters;
bool RelayRecovery::sRunning = false;


bool
RelayRecovery::Filter::Matches(const OpenRelayRecord::Entry& entry) const
{
	if (elsewhere)
		return entry.relay == relay && entry.address != address;
	if (relay == 0 && address.empty())
		return true;
	return entry.relay == relay || entry.address == address;
}


void
RelayRecovery::AtStart(OpenRelayRecord& record,
	const std::function<std::string()>& storedAddress)
{
	std::vector<OpenRelayRecord::Entry> entries;
	std::string problem;
	status_t status = record.Load(&entries, &problem);
	if (status == B_NAME_IN_USE) {
		// Its entries are relays another program holds open right now.
		record.Begin({});
		return;
	}
	// Without a state directory there is no record at all (Begin() says
	// so), and one on a file system that turned read-only is still read;
	// any other failure may hide a relay that is open.
	if (status != B_OK && status != B_NO_INIT
		&& status != B_FROM_POSIX_ERROR(EROFS)) {
		entries.clear();
		std::string address = storedAddress();
		if (address.empty()) {
			printf("the record of open relays %s is not to be trusted (%s); "
				"no board is stored in the settings yet, so there is "
				"nothing to close\n", record.Path().c_str(), problem.c_str());
		} else {
			printf("the record of open relays %s is not to be trusted (%s): "
				"closing all four relays of the board at %s\n",
				record.Path().c_str(), problem.c_str(), address.c_str());
			for (int32 relay = 1; relay <= 4; relay++)
				entries.push_back(OpenRelayRecord::Entry{relay, address});
		}
	}

	std::vector<OpenRelayRecord::Entry> left = _Close(entries);
	record.Begin(left);
}


void
RelayRecovery::CloseOwed(int32 relay, const std::string& address)
{
	_Schedule(Filter{relay, address});
}


void
RelayRecovery::CloseOwedElsewhere(int32 relay, const std::string& address)
{
	_Schedule(Filter{relay, address, true});
}


void
RelayRecovery::_Schedule(const Filter& filter)
{
	std::lock_guard<std::mutex> guard(sLock);
	if (RelayRequests::Stopping())
		return;
	if (sRunning) {
		// The pass under way looks again before it ends.
		sFilters.push_back(filter);
		return;
	}
	if (_Owed({filter}).empty())
		return;
	sFilters.push_back(filter);
	sRunning = true;
	// Like a relay worker, it may outlive the application by one request's
	// limit; it posts nothing.
	thread_id thread = spawn_thread(_PassThread, "rdx recovery",
		B_NORMAL_PRIORITY, nullptr);
	if (thread < 0) {
		sFilters.clear();
		sRunning = false;
		sIdle.notify_all();
		return;
	}
	resume_thread(thread);
}


bool
RelayRecovery::Idle()
{
	std::lock_guard<std::mutex> guard(sLock);
	return !sRunning;
}


void
RelayRecovery::WaitUntilIdle(bigtime_t deadline)
{
	std::unique_lock<std::mutex> guard(sLock);
	while (sRunning) {
		bigtime_t left = deadline - system_time();
		if (left <= 0)
			return;
		sIdle.wait_for(guard, std::chrono::microseconds(left));
	}
}


std::vector<OpenRelayRecord::Entry>
RelayRecovery::_Owed(const std::vector<Filter>& filters)
{
	std::vector<OpenRelayRecord::Entry> owed;
	OpenRelayRecord* record = OpenRelayRecord::Default();
	if (record == nullptr)
		return owed;
	for (const OpenRelayRecord::Entry& entry : record->Entries()) {
		bool matches = false;
		for (const Filter& filter : filters)
			matches = matches || filter.Matches(entry);
		if (matches && !RelayRequests::Covers(entry.relay, entry.address))
			owed.push_back(entry);
	}
	return owed;
}


status_t
RelayRecovery::_PassThread(void* data)
{
	for (;;) {
		std::vector<OpenRelayRecord::Entry> owed;
		std::vector<int64> requests;
		{
			std::lock_guard<std::mutex> guard(sLock);
			owed = _Owed(sFilters);
			sFilters.clear();
			// Once the program ends, the close on quit sends what is owed.
			if (owed.empty() || RelayRequests::Stopping()) {
				sRunning = false;
				sIdle.notify_all();
				return B_OK;
			}
			// Covered while they run: no second pass sends them again.
			for (const OpenRelayRecord::Entry& entry : owed) {
				requests.push_back(RelayRequests::Begin(entry.relay,
					entry.address, false));
			}
		}
		std::vector<OpenRelayRecord::Entry> left = _Close(owed);
		if (OpenRelayRecord* record = OpenRelayRecord::Default()) {
			for (const OpenRelayRecord::Entry& entry : owed) {
				bool answered = true;
				for (const OpenRelayRecord::Entry& kept : left)
					answered = answered && !(kept == entry);
				if (answered)
					record->Closed(entry.relay, entry.address.c_str(), true);
			}
		}
		for (int64 request : requests)
			RelayRequests::End(request);
	}
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
			printf("recovery: closed relay %d at %s, which the record of open "
				"relays held\n", (int)close.relay, close.address.c_str());
			continue;
		}
		printf("recovery: relay %d at %s did not close (the board did not "
			"answer); tried again when the board answers, when board use is "
			"switched on, at quit and at the next start\n", (int)close.relay,
			close.address.c_str());
		left.push_back(OpenRelayRecord::Entry{close.relay, close.address});
	}
	return left;
}
