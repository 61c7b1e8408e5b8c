#include "MqttPublisher.h"

#include "BenchClock.h"

#include <mosquitto.h>


MqttPublisher::MqttPublisher()
{
	mosquitto_lib_init();
	fClient = mosquitto_new("rdx-bench-commands", true, this);
	if (fClient != nullptr) {
		mosquitto_connect_callback_set(fClient, _Connected);
		// Each command is one small packet, sent at once.
		mosquitto_int_option(fClient, MOSQ_OPT_TCP_NODELAY, 1);
	}
}


MqttPublisher::~MqttPublisher()
{
	Disconnect();
	if (fClient != nullptr)
		mosquitto_destroy(fClient);
	mosquitto_lib_cleanup();
}


void
MqttPublisher::Disconnect()
{
	if (fClient == nullptr || !fLoopRunning)
		return;
	mosquitto_disconnect(fClient);
	mosquitto_loop_stop(fClient, false);
	fLoopRunning = false;
}


bool
MqttPublisher::Connect(int port, double seconds)
{
	if (fClient == nullptr
		|| mosquitto_connect(fClient, "127.0.0.1", port, 60)
			!= MOSQ_ERR_SUCCESS
		|| mosquitto_loop_start(fClient) != MOSQ_ERR_SUCCESS)
		return false;
	fLoopRunning = true;
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	while (!fConnected && bench_now_ns() < end)
		bench_sleep_ms(5);
	return fConnected;
}


bool
MqttPublisher::Publish(const std::string& topic, const std::string& payload)
{
	return mosquitto_publish(fClient, nullptr, topic.c_str(),
		(int)payload.size(), payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
}


void
MqttPublisher::_Connected(mosquitto*, void* data, int result)
{
	if (result == 0)
		static_cast<MqttPublisher*>(data)->fConnected = true;
}
