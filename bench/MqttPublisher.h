#ifndef BENCH_MQTT_PUBLISHER_H
#define BENCH_MQTT_PUBLISHER_H

#include <atomic>
#include <string>

struct mosquitto;

// The many-doors figure's commands: one client of the broker that publishes
// each open as a remote control would, with QoS 1, on a connection it keeps.
class MqttPublisher {
public:
							MqttPublisher();
							~MqttPublisher();
							MqttPublisher(const MqttPublisher&) = delete;
			MqttPublisher&	operator=(const MqttPublisher&) = delete;

			bool			Connect(int port, double seconds);
			bool			Publish(const std::string& topic,
								const std::string& payload);
			// Before the broker goes, so that the client's thread does not
			// try to reconnect.
			void			Disconnect();

private:
	static	void			_Connected(mosquitto* client, void* data,
								int result);

			mosquitto*		fClient = nullptr;
			bool			fLoopRunning = false;
			std::atomic<bool> fConnected{false};
};

#endif
