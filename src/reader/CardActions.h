#ifndef CARD_ACTIONS_H
#define CARD_ACTIONS_H

#include <Looper.h>

#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>

// Hears which card's "Add…" was chosen on the desk (the notification's
// message id says which) and starts rdx-tags with its add dialog for the
// tag. One line says what came of it.
class CardActions : public BLooper {
public:
	explicit				CardActions(FILE* output);

	// The tag a notification with that message id offers to add; the
	// latest 64 are kept, as the desk keeps few more.
			void			Remember(const std::string& messageID,
								const std::string& tag);

	virtual	void			MessageReceived(BMessage* message);

private:
			std::mutex		fLock;
			std::map<std::string, std::string> fTags;
			std::deque<std::string> fOrder;
			FILE*			fOutput;
};

#endif
