#ifndef READ_HISTORY_H
#define READ_HISTORY_H

#include <SupportDefs.h>

#include <deque>
#include <map>
#include <string>

class LogRecord;

// One read of a tag at a reader, as rdx-reader logged it; or an event of
// the door as rdx-door logged it (door set, tag empty, outcome what
// happened, source the input).
struct TagRead {
	int64			time = 0;
	std::string		tag;
	std::string		source;
	std::string		outcome;
	std::string		door;
};

// How the door stands as rdx's records tell it: lockdown, and a keep-open
// under way. A keep-open ends with its "end" record, or when rdx starts
// again (its start closes what the earlier run held).
struct DeskState {
	// -1 not told, 0 off, 1 on.
	int				lockdown = -1;
	std::string		lockdownBy;
	int32			keptRelay = 0;
	// Milliseconds since the epoch.
	int64			keptUntil = 0;
	// The last refusal of a keep-open, and of whose.
	std::string		refused;
	std::string		refusedBy;

	bool			operator==(const DeskState& other) const
						{ return lockdown == other.lockdown
							&& lockdownBy == other.lockdownBy
							&& keptRelay == other.keptRelay
							&& keptUntil == other.keptUntil
							&& refused == other.refused
							&& refusedBy == other.refusedBy; }
};

// What the access log says about reads: the latest ones for the pane of
// recent reads, and when each tag was last seen and with what outcome, for
// the table; and how the door stands (DeskState). Fed the log's records in
// time order.
class ReadHistory {
public:
	explicit				ReadHistory(size_t kept = 100);

	// Takes a "read" record, a "tag" record rdx refused (lockdown, too
	// late), or a "door" record for the recent ones only; false (and no
	// read changes) for any other. Lockdown, keep-open and rdx's start
	// records go into Desk().
			bool			Add(const LogRecord& record);
			const DeskState& Desk() const { return fDesk; }
	// What the lockdown state file says, which counts over older records.
			void			SetLockdown(bool on, const std::string& by);

	// The newest first.
			const std::deque<TagRead>& Recent() const { return fRecent; }
	// The tag's latest read; null when it was never read.
			const TagRead*	LastSeen(const std::string& tag) const;

private:
			bool			_AddDoor(const LogRecord& record);
			void			_AddDesk(const LogRecord& record);

			size_t			fKept;
			std::deque<TagRead> fRecent;
			std::map<std::string, TagRead> fLast;
			DeskState		fDesk;
};

#endif
