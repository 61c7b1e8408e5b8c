#ifndef PUBLICATION_H
#define PUBLICATION_H

#include <string>

// One message for the broker.
struct Publication {
	std::string		topic;
	std::string		payload;
	bool			retained = false;

	bool operator==(const Publication& other) const = default;
};

#endif
