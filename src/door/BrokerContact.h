#ifndef BROKER_CONTACT_H
#define BROKER_CONTACT_H

#include "DoorInput.h"

#include <OS.h>

#include <string>

// A contact that reports through the MQTT broker: rdx-mqtt reads its
// topic and posts each report ('rxDs'). Nothing here touches the broker;
// this times the sensor's silence. A sensor that says nothing for longer
// than its own report interval (or whose bridge went away) is taken as
// lost, never as closed.
class BrokerContact {
public:
							BrokerContact(size_t input, bigtime_t interval,
								bigtime_t now);

			size_t			Input() const { return fInput; }

	// A report came.
			void			Report(bigtime_t now);
	// When the sensor counts as silent; B_INFINITE_TIMEOUT once that was
	// said, until the next report.
			bigtime_t		NextDeadline() const;
	// True once, when the sensor has been silent too long by now.
			bool			Pulse(bigtime_t now);

private:
			size_t			fInput;
			bigtime_t		fInterval;
			bigtime_t		fLastReport;
			bool			fSilent = false;
};

#endif
