#ifndef REMOTE_COMMAND_H
#define REMOTE_COMMAND_H

#include "TopicMap.h"

#include <SupportDefs.h>

#include <string>

// What a message that arrived on one of the subscribed topics asks for.
// A door opens only on purpose: a retained message (one the broker stored
// and replays, perhaps long after it was sent), a command whose time is
// more than a few seconds off, and anything not exactly understood are
// refused, each with the reason in Refusal().
class RemoteCommand {
public:
	enum Kind {
		// Nothing to do; Refusal() may say why.
		kNone,
		kOpen,
		kBoardUse,
		// Keep the door open for Seconds() (0: end a keep-open).
		kKeepOpen,
		// Lockdown On(), or lifted.
		kLockdown,
		// Home Assistant (re)started: discovery is due again.
		kHomeAssistantOnline,
	};

	// How far a command's own time may be from ours, in seconds.
	static const int32		kMaxSkew = 5;

	// now: seconds since the epoch.
	static	RemoteCommand	Read(const TopicMap& topics,
								const std::string& topic,
								const std::string& payload, bool retained,
								double now);

			Kind			What() const { return fKind; }
			// For kBoardUse and kLockdown.
			bool			Use() const { return fUse; }
			// For kKeepOpen.
			int32			Seconds() const { return fSeconds; }
			const std::string& Refusal() const { return fRefusal; }

private:
	static	RemoteCommand	_Refuse(const std::string& why);

			Kind			fKind = kNone;
			bool			fUse = false;
			int32			fSeconds = 0;
			std::string		fRefusal;
};

#endif
