#ifndef REPEAT_FILTER_H
#define REPEAT_FILTER_H

#include <OS.h>

#include <map>
#include <string>
#include <utility>

// Readers repeat a tag as long as it stays in the field. The same tag from
// the same source within the window after its last read is a repeat;
// another tag passes at once. A repeat renews the window, so that a tag
// held at the reader counts once.
class RepeatFilter {
public:
							RepeatFilter(bigtime_t window);

	// true when the read is a repeat. now: system_time().
			bool			IsRepeat(const std::string& source,
								const std::string& tag, bigtime_t now);

private:
			void			_Prune(bigtime_t now);

			bigtime_t		fWindow;
			std::map<std::pair<std::string, std::string>, bigtime_t> fLast;
			bigtime_t		fLastPrune = 0;
};

#endif
