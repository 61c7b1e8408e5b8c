#ifndef CARD_ANNOUNCER_H
#define CARD_ANNOUNCER_H

#include "Dispatcher.h"

#include <OS.h>

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <utility>

class CardActions;

// A card the door refused because the list does not know who it is, told
// on the desk: a desktop notification (the kit's BNotification; nothing,
// and not a word, where there is no session bus or notification service)
// that names the reader, the tag and the outcome, with an action "Add…"
// that opens rdx-tags's dialog for the tag.
//
// Told: a tag the list does not have (unknown), one switched off (off),
// one past its date (expired), and one whose line cannot be read
// (bad-rule), where the list cannot say what the card may: each asks the
// desk to add the card or mend its line. Not told: a card the list knows
// that comes outside its hours or before its first day; the list says
// what it may, and it was kept out as it should be.
//
// At most one notification per tag and reader within the quiet time (the
// reader's repeat time); a later one replaces it on the desk. At most ten
// a minute from one reader, so that a device that sends card after card
// does not bury the desk. Texts from devices and the list are shown with
// control characters and what is not UTF-8 as '?', and the tag reaches
// rdx-tags as one argument, never through a shell.
class CardAnnouncer {
public:
	struct Notice {
		std::string		title;
		std::string		content;
		std::string		messageID;
		// Whether the tag can stand in the list, so that "Add…" is offered.
		bool			canAdd = false;
	};

							CardAnnouncer(bigtime_t quiet,
								FILE* output = stdout);
							~CardAnnouncer();

	static	bool			Announces(Dispatcher::Outcome outcome);
	// What the desk is told of a read; time is the local time of day.
	static	Notice			Compose(const std::string& reader,
								const std::string& tag,
								const std::string& name,
								Dispatcher::Outcome outcome,
								const std::string& time);

	// Tells the desk about the read, if it is one to tell and not told
	// within the quiet time; true when it was told. now: system_time().
			bool			Read(const std::string& reader,
								const std::string& tag,
								const std::string& name,
								Dispatcher::Outcome outcome, bigtime_t now);

private:
			bigtime_t		fQuiet;
			FILE*			fOutput;
			std::map<std::pair<std::string, std::string>, bigtime_t> fLast;
	// When each reader's latest notifications were told, for the most a
	// minute.
			std::map<std::string, std::deque<bigtime_t>> fTold;
	// Started with the first notification that offers "Add…".
			CardActions*	fActions = nullptr;
			thread_id		fActionsThread = -1;
};

#endif
