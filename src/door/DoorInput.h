#ifndef DOOR_INPUT_H
#define DOOR_INPUT_H

#include <SupportDefs.h>

#include <string>

// What a door sensor says: open, closed, or that it cannot be told.
enum class DoorState {
	kUnknown,
	kOpen,
	kClosed,
};

// "open", "closed", "unknown" (RDX_DOOR_OPEN, ...).
const char* door_state_name(DoorState state);
// The state of one of those words; false for another text.
bool parse_door_state(const std::string& text, DoorState* state);


// One input of the door as a line of door.conf names it: the door's
// contact or an exit button, on an input device (evdev), a GPIO line or an
// MQTT topic. Only what the line says; the sources read it.
struct DoorInput {
	enum Role { kContact, kExit };
	enum Kind { kEvdev, kGpio, kMqtt };
	enum Bias { kBiasAsIs, kPullUp, kPullDown, kBiasDisabled };

	Role			role = kContact;
	Kind			kind = kEvdev;

	// evdev: the device (a /dev/input/by-id or by-path link, say), the
	// event type (EV_KEY or EV_SW) and code.
	std::string		path;
	int				type = 0;
	int				code = 0;

	// GPIO: the chip as written ("gpiochip0" or a path) and its device
	// node, the line's offset on it.
	std::string		chip;
	std::string		chipPath;
	int				line = 0;
	bool			activeLow = false;
	Bias			bias = kBiasAsIs;

	// evdev and GPIO: changes closer together than this are the contact
	// bouncing, not a new press.
	bigtime_t		debounce = 0;
	// For a contact: whether the input's active level (a key down, a
	// switch on, a line at its active level) means the door is closed (a
	// reed switch held by its magnet) or open.
	bool			activeMeansOpen = false;

	// MQTT: the topic, the JSON field of the payload ("" for the whole
	// payload), the texts for open and closed, and the sensor's own report
	// interval: silent longer than that, it is taken as lost.
	std::string		topic;
	std::string		field;
	std::string		openText = "false";
	std::string		closedText = "true";
	bigtime_t		interval = 0;
	// MQTT: where the sensor's bridge says whether it can reach the sensor
	// ("" for nowhere); zigbee2mqtt's is <topic>/availability, with
	// "online" and "offline" (plain or as {"state": …}).
	std::string		availability;

	// Where door.conf names it ("door.conf:7"), for what is said of it.
	std::string		where;

	// The input's name in lines, records, notices and the 'rxEx' "reader":
	// "exit:gpiochip0/17", "contact:/dev/input/by-id/…:SW_DOCK",
	// "contact:mqtt:zigbee2mqtt/front_door".
			std::string		Name() const;
	// Whether the input's active level means the door is open (a contact)
	// or the button is pressed.
			bool			ActiveIsOpen() const
								{ return role == kExit || activeMeansOpen; }
	// Whether the input is the same device line or topic as another, so
	// that one door.conf cannot name it twice. For input devices, by the
	// path as written; DeviceOf() tells where two paths meet.
			bool			SameSource(const DoorInput& other) const;

	// For an MQTT contact: what a report's payload says. A payload whose
	// field is missing, or holds neither the open nor the closed text, is
	// unknown (never closed), with *reason saying why. rdx-mqtt reads the
	// sensor's reports with this, so that both read the same.
			DoorState		StateOfPayload(const std::string& payload,
								std::string* reason) const;

	// The device node an input device's path leads to, through its links
	// (a by-id and a by-path link of one device lead to the same); the
	// path itself when it leads nowhere yet.
	static	std::string		DeviceOf(const std::string& path);
};

#endif
