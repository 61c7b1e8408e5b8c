#ifndef DOOR_SENSOR_H
#define DOOR_SENSOR_H

#include <DoorInput.h>
#include <Message.h>
#include <OS.h>

#include <string>
#include <vector>

// The door's contact where it reports to the broker, as door.conf names
// it (read through rdx-door's own settings reader, so that both take the
// same lines the same way). It turns what arrives on the sensor's topics
// into the reports rdx-door takes ('rxDs'): open, closed, or unknown with
// the reason. Nothing here decides anything about the door; rdx-door
// does, and a report can never open it.
//
// A report the broker kept (retained) is taken as the sensor's last word:
// it is a state, not a command, and rdx-door needs to know whether the
// door stands open as soon as it can. rdx-door times the sensor's silence
// from its arrival, so a stored report of a sensor that died is caught
// after one report interval. One that comes while the sensor's
// availability says offline is the old word of a sensor that is gone and
// is not taken.
class DoorSensor {
public:
							DoorSensor(const DoorInput& input);

			const DoorInput& Input() const { return fInput; }

	// What to subscribe to, the availability first: the broker then hands
	// on what it kept for it before the stored report.
			std::vector<std::string> Topics() const;
			bool			Owns(const std::string& topic) const;

	// What a message on one of its topics tells rdx-door. True with *report
	// set when there is something to tell; false when the message says
	// nothing about the door (online, an empty message that clears a stored
	// one, a stored report while offline). *line says what happened where a
	// person should read it, in either case; empty otherwise.
			bool			Read(const std::string& topic,
								const std::string& payload, bool retained,
								bigtime_t now, BMessage* report,
								std::string* line);

	// The sensor cannot be read any more (the broker went away, rdx-mqtt
	// ends): a report of unknown with the reason.
			BMessage		Unknown(const std::string& reason,
								bigtime_t now);
	// What an earlier reading of the same sensor heard, for door.conf
	// read again.
			void			TakeOver(const DoorSensor& earlier);
	// The broker connection ended: what the sensor's availability said is
	// heard again after the next connect.
			void			Disconnected() { fOffline = false; }

	// The last report, for an rdx-door that has just come back; false when
	// there is none, or when it is as old as the sensor's report interval,
	// after which rdx-door would take the sensor as lost anyway.
			bool			LastReport(bigtime_t now, BMessage* report) const;

private:
			BMessage		_Report(DoorState state,
								const std::string& reason, bigtime_t now);

			DoorInput		fInput;
			bool			fOffline = false;
			BMessage		fLast;
			bigtime_t		fLastTime = 0;
			bool			fHasLast = false;
};

#endif
