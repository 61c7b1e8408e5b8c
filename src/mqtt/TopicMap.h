#ifndef TOPIC_MAP_H
#define TOPIC_MAP_H

#include <SupportDefs.h>

#include <string>
#include <vector>

// The topics of one door, all below its prefix, so that scripts and other
// tools can rely on them:
//   <prefix>/availability     online | offline, retained (offline is the
//                             last will)
//   <prefix>/relay/<n>        open | closed, retained, n = 1 to 4
//   <prefix>/board_use        on | off, retained
//   <prefix>/board_use/set    on | off: switches board use
//   <prefix>/tag              each tag read, JSON, not retained
//   <prefix>/open             PRESS: opens the door
// and the one Home Assistant tells its state on.
class TopicMap {
public:
	static const char* const kHomeAssistantStatus;

							TopicMap(const std::string& prefix);

			const std::string& Prefix() const { return fPrefix; }
			std::string		Availability() const;
			// n from 1 to 4.
			std::string		Relay(int32 n) const;
			std::string		BoardUse() const;
			std::string		BoardUseSet() const;
			std::string		Tag() const;
			std::string		Open() const;

			// What rdx-mqtt subscribes to.
			std::vector<std::string> Subscriptions() const;

private:
			std::string		fPrefix;
};

#endif
