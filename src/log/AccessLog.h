#ifndef ACCESS_LOG_H
#define ACCESS_LOG_H

#include "AccessLogFile.h"

#include <SupportDefs.h>

#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Journal;

// What asked for a board request, as the relay record names it.
#define RDX_CAUSE_TAG "tag"
#define RDX_CAUSE_PANEL "panel"
#define RDX_CAUSE_OPEN_ALL "open-all"
#define RDX_CAUSE_START_UP "start-up"
#define RDX_CAUSE_HOLD_END "hold-end"
#define RDX_CAUSE_QUIT "quit"
// A relay that an earlier run left open, closed at the next start.
#define RDX_CAUSE_RECOVERY "recovery"
// The door's exit button (rdx-door), and its close once the door opened
// and closed again ("relock = on").
#define RDX_CAUSE_EXIT "exit"
#define RDX_CAUSE_RELOCK "relock"
// A keep-open from the desk (rdx-send, rdx-tags, rdx-mqtt): its open, and
// its close when its time is up or it was ended early; the closes that
// lockdown makes.
#define RDX_CAUSE_KEEP_OPEN "keep-open"
#define RDX_CAUSE_KEEP_OPEN_END "keep-open-end"
#define RDX_CAUSE_LOCKDOWN "lockdown"

// What became of a tag that a reader read.
enum class ReadOutcome {
	kPassedOn,		// posted to rdx
	kUnknown,		// not in the tag list: refused
	kRepeat,		// read again too soon: dropped
	kLearned,		// added to the tag list
	kNoRdx,			// listed, but no rdx ran to take it
	kListedWhileLearning,	// already listed, read while learning
	kNotDelivered,	// rdx ran but did not take it
	kNotLearned,	// could not be added to the tag list
	// Listed, but refused by its line's rules:
	kOff,			// "off"
	kNotYetValid,	// before its "from"
	kExpired,		// from its "until" on
	kOutsideHours,	// not within its hours now
	kBadRule,		// its line cannot be read: let in never
	// A tag whose rules ask for a PIN typed after it:
	kPinWanted,		// it passes once its PIN is typed: waiting for it
	kWrongPin,		// the PIN typed was not its PIN: nothing opens
	kNoPin,			// no PIN came in time: nothing opens
	kPinLocked,		// refused after too many wrong PINs in a row
	// It would have passed, but the door is in lockdown.
	kLockdown,
};

// The last outcome, for those who list them all.
const ReadOutcome kLastReadOutcome = ReadOutcome::kLockdown;

const char* read_outcome_name(ReadOutcome outcome);

// What the door did, as rdx-door writes it ("door" records): "what" is
// "opened", "closed", "held-open", "forced", "sensor-lost" or "exit"; the
// door's and the input's names; the door's state after it ("open",
// "closed", "unknown") and the alarms that stand ("held-open,forced").
// Texts left empty are not written. rdx writes one too, for an exit
// request that came too late ("result": "too-late", and lateMs).
struct DoorRecord {
	std::string		door;
	std::string		what;
	std::string		input;
	std::string		state;
	std::string		alarms;
	// sensor-lost: why.
	std::string		reason;
	// exit: "passed-on", "no-rdx", "not-delivered", "too-late".
	std::string		result;
	double			lateMs = -1;
};

// The access log of one program: who opened which door when, and what
// failed. One JSON object per line in the file of AccessLogPath(), and the
// same record in systemd's journal where one runs.
//
// Recording never waits on the disk: a record is stamped and queued, and a
// thread of the log's own writes it. A log that cannot be written costs one
// line on stderr, the first time, and nothing else; the program goes on.
//
//	AccessLog log("rdx-reader");
//	log.Read("evdev:/dev/input/event3", "04A1B2C3", ReadOutcome::kPassedOn);
//
// All methods may be called from any thread.
class AccessLog {
public:
	// The program's name goes into every record. An empty path (no
	// XDG_STATE_HOME and no HOME) is a log that cannot be written.
							AccessLog(const char* program,
								const std::string& path = AccessLogPath());
	// Writes what is still queued, then ends the writer.
							~AccessLog();

							AccessLog(const AccessLog&) = delete;
			AccessLog&		operator=(const AccessLog&) = delete;

	// The log that the program's parts record to, or null when the program
	// keeps none (as in tests of those parts).
	static	AccessLog*		Default();
	static	void			SetDefault(AccessLog* log);

	// rdx's events.
			void			Start();
			void			Stop();
	// A tag read reached rdx; reader is the message's "reader" field, null
	// when it has none.
			void			Tag(const char* tag, const char* reader,
								bool boardUse);
	// A tag read that came after the time its sender gave for it: it opens
	// nothing. late is how many milliseconds after.
			void			TagTooLate(const char* tag, const char* reader,
								double late);
	// A tag read refused as it reached rdx: "result" is why ("lockdown").
			void			TagRefused(const char* tag, const char* reader,
								bool boardUse, const char* result);
	// Lockdown went on or off (a "lockdown" record): by whom, and for one
	// that rdx found at start, why (the state file, or its problem).
			void			Lockdown(bool on, const char* by,
								const char* why = nullptr);
	// A keep-open ("keep-open" record): action "start", "renew", "end" or
	// "refused"; the relay, its seconds and when it ends (UTC, as records
	// carry times) for a start or renew; why for an end ("time", "ended",
	// "lockdown") or a refusal (DeskDefs.h's words).
			void			KeepOpen(const char* action, int32 relay,
								int32 seconds, const char* until,
								const char* by, const char* why);
	// One board request that was made: exitStatus is wget's, 0 for an
	// answer, -1 when the command was not run at all; the tag only when a
	// tag asked. timedOut adds "timed_out": true, for a request stopped at
	// its limit. The close on quit records only the closes it could build a
	// command for: one refused there has its line on stdout and no record.
			void			Relay(int32 relay, bool open, const char* cause,
								const char* tag, int exitStatus,
								double milliseconds, bool timedOut = false);
	// Board use went on or off; why is "no-answer" (the board did not
	// answer), "operator" (the check box) or "remote" (a switch that another
	// program, rdx-mqtt, posted).
			void			BoardUse(bool on, const char* why);
	// The operator changed a setting.
			void			Setting(const char* name, const char* oldValue,
								const char* newValue);
			void			Setting(const char* name, int32 oldValue,
								int32 newValue);

	// rdx-reader's event: one per tag read.
			void			Read(const char* source, const char* tag,
								ReadOutcome outcome);
	// rdx-door's event: one per door event.
			void			Door(const DoorRecord& record);

	// Any event with fields of its own (a JSON object); time, program, pid
	// and event come first.
			void			Record(const char* event,
								const nlohmann::ordered_json& fields);

	// Waits until every record made so far is written or has failed.
			void			Flush();
	// Records not kept because the writer fell too far behind.
			uint64			Dropped() const { return fDropped.load(); }

private:
			void			_Queue(std::string&& line,
								std::unique_ptr<nlohmann::ordered_json>&&
									record);
			void			_Write();

	struct Entry {
		std::string		line;
		// The record itself, for the journal; null where there is none.
		std::unique_ptr<nlohmann::ordered_json> record;
	};

			std::string		fProgram;
			int				fPid;
			AccessLogFile	fFile;
	// Set when the journal's socket exists; the journal itself is made
	// and used by the writer thread alone.
			bool			fJournalWanted = false;
			std::unique_ptr<Journal> fJournal;

			std::mutex		fLock;
			std::condition_variable fQueued;
			std::condition_variable fDone;
			std::deque<Entry> fQueue;
			uint64			fQueuedCount = 0;
			uint64			fWrittenCount = 0;
			bool			fStopping = false;
			std::atomic<uint64> fDropped{0};
			bool			fFailureSaid = false;
			std::thread		fWriter;
};

// The time as records carry it: UTC, ISO 8601 with milliseconds
// ("2026-12-08T09:14:03.127Z").
std::string format_record_time(int64 millisecondsSinceEpoch);

#endif
