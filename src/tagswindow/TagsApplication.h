#ifndef TAGS_APPLICATION_H
#define TAGS_APPLICATION_H

#include <Application.h>
#include <Messenger.h>

#define RDX_TAGS_SIGNATURE "application/x-vnd-RDX-Tags"

// What a second rdx-tags (or another program of the user) asks of the one
// that runs, through its port: bring the window to the front; or that
// too, and open the dialog that adds the tag in RDX_TAGS_TAG (or changes
// its line, when it is listed).
enum {
	RDX_TAGS_SHOW = 'tgSh',
	RDX_TAGS_ADD = 'tgAd',
};
#define RDX_TAGS_TAG "tag"

// rdx-tags as an application of the kit: one per user, so that two
// windows never edit the list against each other. A second start finds
// the port taken (InitCheck() B_NAME_IN_USE), hands its request to the
// first and ends.
class TagsApplication : public BApplication {
public:
							TagsApplication();

	// Where the requests go.
			void			SetWindow(const BMessenger& window)
								{ fWindow = window; }

	virtual	void			MessageReceived(BMessage* message);

private:
			BMessenger		fWindow;
};

#endif
