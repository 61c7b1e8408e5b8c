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

// What the access log says about reads: the latest ones for the pane of
// recent reads, and when each tag was last seen and with what outcome, for
// the table. Fed the log's records in time order.
class ReadHistory {
public:
	explicit				ReadHistory(size_t kept = 100);

	// Takes a "read" record, or a "door" record for the recent ones only;
	// false (and nothing changes) for any other.
			bool			Add(const LogRecord& record);

	// The newest first.
			const std::deque<TagRead>& Recent() const { return fRecent; }
	// The tag's latest read; null when it was never read.
			const TagRead*	LastSeen(const std::string& tag) const;

private:
			bool			_AddDoor(const LogRecord& record);

			size_t			fKept;
			std::deque<TagRead> fRecent;
			std::map<std::string, TagRead> fLast;
};

#endif
