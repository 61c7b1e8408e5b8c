#ifndef DOOR_CONFIG_H
#define DOOR_CONFIG_H

#include "DoorInput.h"

#include <SupportDefs.h>

#include <string>
#include <vector>

// The door's settings, from $XDG_CONFIG_HOME/RDX/door.conf or a file named
// on the command line: "key = value" lines, '#' starts a comment.
//
//	door = front
//	held_open = 30s
//	forced_grace = 2s
//	relock = off
//	contact = gpio gpiochip0 17 active-low bias=pull-up debounce=20ms
//	exit = evdev /dev/input/by-id/usb-IO_Board-event-kbd KEY_F1
//	contact = mqtt zigbee2mqtt/front_door contact interval=2h availability
//
// Every line that cannot serve is named with its line number, and one such
// line refuses the whole file: a door watched by half its settings would
// let the other half pass unseen. So is a file that someone else may
// write, since what it says decides which button opens the door.
class DoorConfig {
public:
	// Reads the file. B_OK; B_ENTRY_NOT_FOUND when there is none;
	// B_NOT_ALLOWED when others may write it (or its directory);
	// B_BAD_VALUE when a line cannot serve. Errors() says each.
			status_t		Load(const std::string& path);
	// Reads settings from text, as from a file of that name.
			status_t		Parse(const std::string& text,
								const std::string& name);

	// One line per problem: "door.conf:7: …".
			const std::vector<std::string>& Errors() const
								{ return fErrors; }

	// Where the settings are looked for when no file is named.
	static	std::string		DefaultPath();

	// A duration as the file writes it: a whole number and a unit, "20ms",
	// "30s", "5min", "2h". False for anything else (a bare number could be
	// read as seconds or milliseconds).
	static	bool			ParseDuration(const std::string& text,
								bigtime_t* duration);
	static	std::string		FormatDuration(bigtime_t duration);

			std::string		door = "door";
			bigtime_t		heldOpen = 30 * 1000000LL;
			bigtime_t		forcedGrace = 2 * 1000000LL;
			bool			relock = false;
			std::vector<DoorInput> inputs;

	// The contact, or null when the file names none.
			const DoorInput* Contact() const;

private:
			void			_Line(const std::string& key,
								const std::string& value,
								const std::string& where);
			void			_Input(DoorInput::Role role,
								const std::string& value,
								const std::string& where);
			void			_Fail(const std::string& error);

			std::vector<std::string> fErrors;
			std::vector<std::string> fKeysSeen;
};

#endif
