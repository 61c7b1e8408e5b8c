#include "AccessLog.h"

#include "Journal.h"

#include <nlohmann/json.hpp>

#include <OS.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace {

using nlohmann::ordered_json;

// Records waiting for the writer at most. A disk that takes longer than
// this many records to answer loses the newest ones, counted, rather than
// the program's memory or the door's time.
const size_t kQueueLimit = 16384;

std::atomic<AccessLog*> sDefault{nullptr};


int64
now_ms()
{
	return std::chrono::duration_cast<std::chrono::milliseconds>(
		std::chrono::system_clock::now().time_since_epoch()).count();
}


// Texts come from other programs (a tag is whatever a reader posted), so a
// byte that is not UTF-8 is replaced rather than refused.
std::string
dump_line(const ordered_json& record)
{
	return record.dump(-1, ' ', false,
		nlohmann::json::error_handler_t::replace) + "\n";
}


ordered_json
text_or_null(const char* text)
{
	return text != nullptr ? ordered_json(text) : ordered_json(nullptr);
}

}	// namespace


const char*
read_outcome_name(ReadOutcome outcome)
{
	switch (outcome) {
		case ReadOutcome::kPassedOn: return "passed-on";
		case ReadOutcome::kUnknown: return "unknown";
		case ReadOutcome::kRepeat: return "repeat";
		case ReadOutcome::kLearned: return "learned";
		case ReadOutcome::kNoRdx: return "no-rdx";
		case ReadOutcome::kListedWhileLearning: return "listed-learning";
		case ReadOutcome::kNotDelivered: return "not-delivered";
		case ReadOutcome::kNotLearned: return "not-learned";
		case ReadOutcome::kOff: return "off";
		case ReadOutcome::kNotYetValid: return "not-yet-valid";
		case ReadOutcome::kExpired: return "expired";
		case ReadOutcome::kOutsideHours: return "outside-hours";
		case ReadOutcome::kBadRule: return "bad-rule";
		case ReadOutcome::kPinWanted: return "pin-wanted";
		case ReadOutcome::kWrongPin: return "wrong-pin";
		case ReadOutcome::kNoPin: return "no-pin";
		case ReadOutcome::kPinLocked: return "pin-locked";
		case ReadOutcome::kLockdown: return "lockdown";
	}
	return "unknown";
}


std::string
format_record_time(int64 millisecondsSinceEpoch)
{
	time_t seconds = (time_t)(millisecondsSinceEpoch / 1000);
	int milliseconds = (int)(millisecondsSinceEpoch % 1000);
	if (milliseconds < 0) {
		seconds--;
		milliseconds += 1000;
	}
	struct tm utc;
	gmtime_r(&seconds, &utc);
	char text[64];
	snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
		utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
		utc.tm_min, utc.tm_sec, milliseconds);
	return text;
}


AccessLog::AccessLog(const char* program, const std::string& path)
	:
	fProgram(program),
	fPid((int)getpid()),
	fFile(path)
{
	fJournalWanted = Journal::IsPresent();
	// The writer takes none of the process's signals: a program that waits
	// for SIGTERM on a descriptor (or a thread of its own) blocks it only
	// later, and a thread with it unblocked would let it end the program.
	sigset_t all;
	sigset_t previous;
	sigfillset(&all);
	pthread_sigmask(SIG_SETMASK, &all, &previous);
	fWriter = std::thread([this] {
		pthread_setname_np(pthread_self(), "access log");
		// The records wait; the worker and the wget that open the door
		// run first on a busy machine.
		set_thread_priority(find_thread(nullptr), B_LOW_PRIORITY);
		// Loaded here, not on the way of the program's start.
		if (fJournalWanted)
			fJournal = std::make_unique<Journal>(fProgram);
		_Write();
	});
	pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}


AccessLog::~AccessLog()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fStopping = true;
	}
	fQueued.notify_one();
	fWriter.join();
	AccessLog* self = this;
	sDefault.compare_exchange_strong(self, nullptr);
}


AccessLog*
AccessLog::Default()
{
	return sDefault.load();
}


void
AccessLog::SetDefault(AccessLog* log)
{
	sDefault.store(log);
}


void
AccessLog::Start()
{
	Record("start", ordered_json::object());
}


void
AccessLog::Stop()
{
	Record("stop", ordered_json::object());
}


void
AccessLog::Tag(const char* tag, const char* reader, bool boardUse)
{
	ordered_json fields = {{"tag", text_or_null(tag)}};
	if (reader != nullptr)
		fields["reader"] = reader;
	fields["board_use"] = boardUse;
	Record("tag", fields);
}


void
AccessLog::TagTooLate(const char* tag, const char* reader, double late)
{
	ordered_json fields = {{"tag", text_or_null(tag)}};
	if (reader != nullptr)
		fields["reader"] = reader;
	fields["result"] = "too-late";
	fields["late_ms"] = (double)(int64)(late * 10 + 0.5) / 10;
	Record("tag", fields);
}


void
AccessLog::Relay(int32 relay, bool open, const char* cause, const char* tag,
	int exitStatus, double milliseconds, bool timedOut)
{
	ordered_json fields = {
		{"relay", relay},
		{"action", open ? "open" : "close"},
		{"cause", text_or_null(cause)},
	};
	if (tag != nullptr)
		fields["tag"] = tag;
	fields["result"] = exitStatus == 0 ? "ok" : "no-answer";
	fields["status"] = exitStatus;
	if (timedOut)
		fields["timed_out"] = true;
	// Whole milliseconds hide a fast request; a tenth says enough.
	fields["ms"] = (double)(int64)(milliseconds * 10 + 0.5) / 10;
	Record("relay", fields);
}


void
AccessLog::BoardUse(bool on, const char* why)
{
	Record("board-use", {{"use", on ? "on" : "off"}, {"why", text_or_null(why)}});
}


void
AccessLog::Setting(const char* name, const char* oldValue,
	const char* newValue)
{
	Record("setting", {{"setting", text_or_null(name)},
		{"old", text_or_null(oldValue)}, {"new", text_or_null(newValue)}});
}


void
AccessLog::Setting(const char* name, int32 oldValue, int32 newValue)
{
	Record("setting", {{"setting", text_or_null(name)}, {"old", oldValue},
		{"new", newValue}});
}


void
AccessLog::Read(const char* source, const char* tag, ReadOutcome outcome)
{
	Record("read", {{"source", text_or_null(source)},
		{"tag", text_or_null(tag)}, {"outcome", read_outcome_name(outcome)}});
}


void
AccessLog::TagRefused(const char* tag, const char* reader, bool boardUse,
	const char* result)
{
	ordered_json fields = {{"tag", text_or_null(tag)}};
	if (reader != nullptr)
		fields["reader"] = reader;
	fields["board_use"] = boardUse;
	fields["result"] = text_or_null(result);
	Record("tag", fields);
}


void
AccessLog::Lockdown(bool on, const char* by, const char* why)
{
	ordered_json fields = {{"lockdown", on ? "on" : "off"}};
	if (by != nullptr && by[0] != '\0')
		fields["by"] = by;
	if (why != nullptr)
		fields["why"] = why;
	Record("lockdown", fields);
}


void
AccessLog::KeepOpen(const char* action, int32 relay, int32 seconds,
	const char* until, const char* by, const char* why)
{
	ordered_json fields = {{"action", text_or_null(action)}};
	if (relay > 0)
		fields["relay"] = relay;
	if (seconds > 0)
		fields["seconds"] = seconds;
	if (until != nullptr)
		fields["until"] = until;
	if (by != nullptr && by[0] != '\0')
		fields["by"] = by;
	if (why != nullptr)
		fields["why"] = why;
	Record("keep-open", fields);
}


void
AccessLog::Door(const DoorRecord& door)
{
	ordered_json fields = ordered_json::object();
	for (auto [name, value] : {std::pair{"door", &door.door},
			{"what", &door.what}, {"input", &door.input},
			{"state", &door.state}, {"alarms", &door.alarms},
			{"reason", &door.reason}, {"result", &door.result}}) {
		if (!value->empty())
			fields[name] = *value;
	}
	if (door.lateMs >= 0)
		fields["late_ms"] = (double)(int64)(door.lateMs * 10 + 0.5) / 10;
	Record("door", fields);
}


void
AccessLog::Record(const char* event, const ordered_json& fields)
{
	// Stamped here, not when written: the time is the event's.
	ordered_json record = {
		{"time", format_record_time(now_ms())},
		{"program", fProgram},
		{"pid", fPid},
		{"event", event},
	};
	if (fields.is_object()) {
		for (auto& [name, value] : fields.items()) {
			if (!record.contains(name))
				record[name] = value;
		}
	}
	std::string line = dump_line(record);
	std::unique_ptr<ordered_json> kept;
	if (fJournalWanted)
		kept = std::make_unique<ordered_json>(std::move(record));
	_Queue(std::move(line), std::move(kept));
}


void
AccessLog::Flush()
{
	std::unique_lock<std::mutex> lock(fLock);
	uint64 target = fQueuedCount;
	fDone.wait(lock, [&] { return fWrittenCount >= target; });
}


void
AccessLog::_Queue(std::string&& line, std::unique_ptr<ordered_json>&& record)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (fQueue.size() >= kQueueLimit) {
			fDropped++;
			return;
		}
		fQueue.push_back({std::move(line), std::move(record)});
		fQueuedCount++;
	}
	fQueued.notify_one();
}


void
AccessLog::_Write()
{
	bool droppedSaid = false;
	std::unique_lock<std::mutex> lock(fLock);
	for (;;) {
		fQueued.wait(lock, [&] { return fStopping || !fQueue.empty(); });
		if (fQueue.empty() && fStopping)
			return;
		// The lock is held only to take the queue over, never while the
		// disk is written.
		std::deque<Entry> batch;
		batch.swap(fQueue);
		lock.unlock();

		for (Entry& entry : batch) {
			if (fFile.Append(entry.line) != B_OK && !fFailureSaid) {
				fFailureSaid = true;
				fprintf(stderr, "%s: access log: %s; going on without it\n",
					fProgram.c_str(), fFile.Error().c_str());
			}
			if (fJournal != nullptr && entry.record != nullptr)
				fJournal->Send(*entry.record);
		}
		fFile.Sync();
		// Said once, as a failure is: a disk that stays slow would say it
		// with every batch.
		if (!droppedSaid && fDropped.load() > 0) {
			droppedSaid = true;
			fprintf(stderr, "%s: access log: records dropped, the disk does "
				"not keep up\n", fProgram.c_str());
		}

		lock.lock();
		fWrittenCount += batch.size();
		fDone.notify_all();
	}
}
