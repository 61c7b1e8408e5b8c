#ifndef BENCH_MQTT_FIGURES_H
#define BENCH_MQTT_FIGURES_H

#include "Figures.h"

// rdx-mqtt: an open command published on the broker until the board sees
// the open, against a publish-to-subscriber round trip plus the same wget
// started directly; and rdx-mqtt's CPU while nothing happens.
struct MqttResult {
	bool			ok = false;
	std::string		error;
	Samples			open;
	Samples			roundTrip;
	Samples			directWget;
	double			idleSeconds = 0;
	int64_t			idleCpuNs = 0;
	int64_t			idleSwitches = 0;
};

MqttResult MeasureMqtt(const BenchConfig& config, int opens);

#endif
