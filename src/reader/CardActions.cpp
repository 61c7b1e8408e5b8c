#include "CardActions.h"

#include "TagsLauncher.h"

#include <Locale.h>
#include <Message.h>
#include <Notification.h>
#include <TagList.h>

#include <cstring>


CardActions::CardActions(FILE* output)
	:
	BLooper("card actions"),
	fOutput(output)
{
}


void
CardActions::Remember(const std::string& messageID, const std::string& tag)
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fTags.count(messageID) == 0)
		fOrder.push_back(messageID);
	fTags[messageID] = tag;
	if (fOrder.size() > 64) {
		fTags.erase(fOrder.front());
		fOrder.pop_front();
	}
}


void
CardActions::MessageReceived(BMessage* message)
{
	if (message->what != B_NOTIFICATION_ACTION_INVOKED) {
		BLooper::MessageReceived(message);
		return;
	}
	const char* action = "";
	const char* id = "";
	message->FindString(B_NOTIFICATION_ACTION, &action);
	message->FindString(B_NOTIFICATION_MESSAGE_ID, &id);
	if (strcmp(action, "add") != 0)
		return;
	std::string tag;
	{
		std::lock_guard<std::mutex> lock(fLock);
		auto found = fTags.find(id);
		if (found == fTags.end())
			return;
		tag = found->second;
	}
	std::string problem;
	if (TagsLauncher::Launch(tag, &problem) != B_OK) {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: %s: cannot open rdx-tags to"
			" add it: %s\n"), TagList::Printable(tag).c_str(),
			problem.c_str());
	} else {
		fprintf(fOutput, B_TRANSLATE("rdx-reader: %s: rdx-tags opens its"
			" dialog to add it\n"), TagList::Printable(tag).c_str());
	}
	fflush(fOutput);
}
