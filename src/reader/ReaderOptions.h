#ifndef READER_OPTIONS_H
#define READER_OPTIONS_H

#include <SupportDefs.h>

#include <string>
#include <vector>

// The command line of rdx-reader, parsed into one place. Parsing touches
// nothing outside the arguments.
struct ReaderOptions {
	enum Protocol { kRdm6300, kLines };

	struct Serial {
		std::string		path;
		int				baud = 9600;
		Protocol		protocol = kRdm6300;
	};

	std::vector<std::string> keyboards;
	std::vector<Serial> serials;
	// --pcsc: PC/SC readers whose name holds the text (empty: all).
	bool			pcsc = false;
	std::string		pcscName;
	// Empty: the default place.
	std::string		tags;
	bool			anyTag = false;
	bool			learn = false;
	int				repeatMs = 1500;
	int				keyGapMs = 100;
	bool			emHex = false;
	// Cards the list does not know are told on the desktop.
	bool			notify = true;
	// A PIN after a tag: how long a reader waits for it, how many wrong
	// ones in a row refuse the tag, and for how long.
	int				pinWaitSeconds = 10;
	int				pinTries = 3;
	int				pinLockSeconds = 300;
	// --set-pin TAG: asks for the tag's PIN and writes its hash.
	bool			setPin = false;
	std::string		setPinTag;
	std::string		signature;
	bool			list = false;
	// --check TAG [--at 'YYYY-MM-DD HH:MM [+HH:MM]']: whether the tag
	// would pass.
	bool			check = false;
	std::string		checkTag;
	// Empty: now.
	std::string		at;
	bool			help = false;
	bool			version = false;

	// B_OK, or B_BAD_VALUE with *error saying what is wrong.
	status_t		Parse(const std::vector<std::string>& arguments,
						std::string* error);

	static const char* Usage();
};

#endif
