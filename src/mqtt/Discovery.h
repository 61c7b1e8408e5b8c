#ifndef DISCOVERY_H
#define DISCOVERY_H

#include "Publication.h"
#include "TopicMap.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

// The Home Assistant discovery messages of one door, retained under
// homeassistant/: a button "Open door", a binary sensor per relay, a switch
// for board use, a switch for lockdown, a number "Keep open" (minutes) and
// a tag scanner, all in one device block named after the
// door, all unavailable while the door's availability is offline.
class Discovery {
public:
							Discovery(const TopicMap& topics,
								const std::string& door,
								const std::string& version);

			std::vector<Publication> Messages() const;
			// The door watcher's entities in the same device, for a door
			// whose door.conf names a contact and exit buttons or not: a
			// door binary sensor and a problem sensor for its alarms (with
			// a contact), an event entity for the button (with one). Those
			// it does not name are removed (an empty retained config), so
			// that a contact taken out of door.conf leaves no entity
			// behind. All are unavailable while rdx-door does not run.
			std::vector<Publication> DoorMessages(bool contact,
								bool exit) const;

			// The node id under homeassistant/<component>/.
			std::string		Node() const;

private:
			nlohmann::json	_Device() const;
			nlohmann::json	_Entity(const std::string& object,
								const std::string& name,
								const std::string& availability) const;
			std::string		_Topic(const char* component,
								const std::string& object) const;

			const TopicMap&	fTopics;
			std::string		fDoor;
			std::string		fVersion;
};

#endif
