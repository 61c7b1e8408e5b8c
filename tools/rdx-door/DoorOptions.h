#ifndef DOOR_OPTIONS_H
#define DOOR_OPTIONS_H

#include <string>
#include <vector>

// The command line of rdx-door: [--config FILE] [--check] | --help |
// --version.
struct DoorOptions {
	std::string		configFile;
	bool			check = false;
	bool			help = false;
	bool			version = false;
	// Set when the command line is wrong.
	std::string		error;

	static	DoorOptions		Parse(const std::vector<std::string>& arguments);
	static	const char*		Usage();
};

#endif
