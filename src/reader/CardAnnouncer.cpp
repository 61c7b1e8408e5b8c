#include "CardAnnouncer.h"

#include "CardActions.h"

#include <Locale.h>
#include <Messenger.h>
#include <Notification.h>
#include <TagList.h>

#include <ctime>

namespace {

// A reader tells the desk of ten cards a minute at most: more is a faulty
// or hostile device, whose reads the reader's lines and rdx-tags's recent
// reads still show, one by one.
const size_t kMostTold = 10;
const bigtime_t kToldSpan = 60000000;


// Text from a device or from the list as the desk can take it: the bus
// carries UTF-8 alone (one Latin-1 byte costs a service the whole title),
// and a control character would break the line. Either becomes '?'.
std::string
shown(const std::string& text)
{
	std::string result;
	size_t i = 0;
	while (i < text.size()) {
		unsigned char c = (unsigned char)text[i];
		if (c < 0x80) {
			result += c < 0x20 || c == 0x7f ? '?' : (char)c;
			i++;
			continue;
		}
		size_t length = 0;
		uint32 low = 0;
		if (c >= 0xC2 && c <= 0xDF) {
			length = 2;
			low = 0x80;
		} else if (c >= 0xE0 && c <= 0xEF) {
			length = 3;
			low = 0x800;
		} else if (c >= 0xF0 && c <= 0xF4) {
			length = 4;
			low = 0x10000;
		}
		bool valid = length > 0 && i + length <= text.size();
		uint32 code = c & (0xFF >> (length + 1));
		for (size_t k = 1; valid && k < length; k++) {
			unsigned char next = (unsigned char)text[i + k];
			valid = (next & 0xC0) == 0x80;
			code = (code << 6) | (next & 0x3F);
		}
		// Overlong forms, surrogates, beyond Unicode: one byte at a time.
		if (!valid || code < low || (code >= 0xD800 && code <= 0xDFFF)
			|| code > 0x10FFFF) {
			result += '?';
			i++;
			continue;
		}
		if (code < 0xA0)
			result += '?';
		else
			result.append(text, i, length);
		i += length;
	}
	return result;
}


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
	std::string card = shown(tag);
	if (!name.empty())
		card += " (" + shown(name) + ")";
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
		" The door stayed shut.", shown(reader).c_str(),
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
	std::deque<bigtime_t>& told = fTold[reader];
	while (!told.empty() && now - told.front() >= kToldSpan)
		told.pop_front();
	if (told.size() >= kMostTold)
		return false;
	told.push_back(now);
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
