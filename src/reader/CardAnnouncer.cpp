#include "CardAnnouncer.h"

#include "CardActions.h"

#include <Locale.h>
#include <Messenger.h>
#include <Notification.h>
#include <TagList.h>

#include <ctime>

namespace {

// The service may take the body as markup: a text from a device stays
// text.
std::string
markup_escaped(const std::string& text)
{
	std::string escaped;
	for (char c : text) {
		switch (c) {
			case '&': escaped += "&amp;"; break;
			case '<': escaped += "&lt;"; break;
			case '>': escaped += "&gt;"; break;
			default: escaped += c;
		}
	}
	return escaped;
}

}	// namespace


CardAnnouncer::CardAnnouncer(bigtime_t quiet, FILE* output)
	:
	fQuiet(quiet),
	fOutput(output)
{
}


CardAnnouncer::~CardAnnouncer()
{
	if (fActions == nullptr)
		return;
	fActions->Quit();
	status_t result;
	wait_for_thread(fActionsThread, &result);
}


bool
CardAnnouncer::Announces(Dispatcher::Outcome outcome)
{
	return outcome == Dispatcher::kUnknown || outcome == Dispatcher::kOff
		|| outcome == Dispatcher::kExpired || outcome == Dispatcher::kBadRule;
}


CardAnnouncer::Notice
CardAnnouncer::Compose(const std::string& reader, const std::string& tag,
	const std::string& name, Dispatcher::Outcome outcome,
	const std::string& time)
{
	std::string card = TagList::Printable(tag);
	if (!name.empty())
		card += " (" + TagList::Printable(name) + ")";
	Notice notice;
	switch (outcome) {
		case Dispatcher::kOff:
			notice.title = translate_format("Card %s is switched off",
				card.c_str());
			break;
		case Dispatcher::kExpired:
			notice.title = translate_format("Card %s has expired",
				card.c_str());
			break;
		case Dispatcher::kBadRule:
			notice.title = translate_format("Card %s: its line in the list"
				" cannot be read", card.c_str());
			break;
		default:
			notice.title = translate_format("Unknown card %s", card.c_str());
	}
	notice.content = markup_escaped(translate_format("Read at %s at %s: %s."
		" The door stayed shut.", TagList::Printable(reader).c_str(),
		time.c_str(), Dispatcher::OutcomeText(outcome)));
	// One per card and reader on the desk: a later read replaces it.
	notice.messageID = "rdx-reader " + reader + " " + tag;
	notice.canAdd = TagLine::IsWritableTag(tag);
	return notice;
}


bool
CardAnnouncer::Read(const std::string& reader, const std::string& tag,
	const std::string& name, Dispatcher::Outcome outcome, bigtime_t now)
{
	if (!Announces(outcome))
		return false;
	// What is older than the quiet time says nothing any more: a stream
	// of different cards must not grow the map for ever.
	for (auto last = fLast.begin(); last != fLast.end();) {
		if (now - last->second >= fQuiet)
			last = fLast.erase(last);
		else
			++last;
	}
	auto key = std::make_pair(reader, tag);
	if (fLast.count(key) != 0)
		return false;
	fLast[key] = now;

	char clock[16];
	time_t seconds = time(nullptr);
	struct tm local;
	localtime_r(&seconds, &local);
	strftime(clock, sizeof(clock), "%H:%M:%S", &local);
	Notice notice = Compose(reader, tag, name, outcome, clock);

	BNotification notification(B_INFORMATION_NOTIFICATION);
	notification.SetGroup(B_TRANSLATE("RDX reader"));
	notification.SetTitle(notice.title.c_str());
	notification.SetContent(notice.content.c_str());
	notification.SetMessageID(notice.messageID.c_str());
	if (notice.canAdd) {
		if (fActions == nullptr) {
			fActions = new CardActions(fOutput);
			fActionsThread = fActions->Run();
		}
		fActions->Remember(notice.messageID, tag);
		notification.AddAction("add", B_TRANSLATE("Add…"));
		notification.SetActionTarget(BMessenger(fActions));
	}
	// Queued for a thread of the platform's own: the door never waits for
	// the desk.
	notification.Send();
	return true;
}
