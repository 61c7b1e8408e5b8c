#ifndef CONFIG_TEXT_H
#define CONFIG_TEXT_H

#include <string>

// What the small "key = value" files (mqtt.conf, door.conf) share in how
// a line is read: the same blanks around a value, the same names.
class ConfigText {
public:
	// The text without the spaces, tabs and carriage returns around it.
	static	std::string		Trim(const std::string& text);

	// A name that may stand as one level of a topic, as a client id and as
	// a door's or an input's name: letters, digits, '-', '_' and '.', at
	// most 64; no wildcards, no separators, nothing a broker or a reader
	// would stumble on.
	static	bool			IsPlainName(const std::string& name);
};

#endif
