#ifndef DISCOVERY_H
#define DISCOVERY_H

#include "Publication.h"
#include "TopicMap.h"

#include <string>
#include <vector>

// The Home Assistant discovery messages of one door, retained under
// homeassistant/: a button "Open door", a binary sensor per relay, a switch
// for board use and a tag scanner, all in one device block named after the
// door, all unavailable while the door's availability is offline.
class Discovery {
public:
							Discovery(const TopicMap& topics,
								const std::string& door,
								const std::string& version);

			std::vector<Publication> Messages() const;

			// The node id under homeassistant/<component>/.
			std::string		Node() const;

private:
			const TopicMap&	fTopics;
			std::string		fDoor;
			std::string		fVersion;
};

#endif
