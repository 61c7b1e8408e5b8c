#ifndef MQTT_BRIDGE_H
#define MQTT_BRIDGE_H

#include "BrokerResolver.h"
#include "Discovery.h"
#include "DoorState.h"
#include "MqttConfig.h"
#include "RemoteCommand.h"
#include "TopicMap.h"

#include <Messenger.h>
#include <OS.h>
#include <PortWatcher.h>

#include <memory>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

// One door between rdx and an MQTT broker. It watches rdx through its
// message port and tells the broker what happens; it passes the commands
// it hears from the broker on to rdx as rdx's own messages. One thread,
// one wait: the broker's socket, rdx's notices and the signals are waited
// on together, and libmosquitto's callbacks run inside that loop.
//
// Both sides may go away at any time: the broker is connected again with a
// growing pause, rdx is watched again once it is back, and what the broker
// should know is told again each time.
class MqttBridge {
public:
							MqttBridge(const MqttConfig& config);
							~MqttBridge();

							MqttBridge(const MqttBridge&) = delete;
			MqttBridge&		operator=(const MqttBridge&) = delete;

			// Sets up the client; on a problem with the settings (a CA file
			// that cannot be used...) B_BAD_VALUE and Error() says what.
			status_t		Init();
			const std::string& Error() const { return fError; }

			// Runs until signalFD (a signalfd) is readable; then says
			// offline and disconnects.
			void			Run(int signalFD);

private:
	static	void			_ConnectCallback(struct mosquitto* client,
								void* data, int reason, int flags,
								const mosquitto_property* properties);
	static	void			_MessageCallback(struct mosquitto* client,
								void* data,
								const struct mosquitto_message* message,
								const mosquitto_property* properties);
	static	void			_LogCallback(struct mosquitto* client,
								void* data, int level, const char* text);

			// Starts looking up the broker's addresses; the connect follows
			// once they are in.
			void			_Connect(bigtime_t now);
			void			_Resolved(bigtime_t now);
			void			_Connected(int reason);
			void			_Lost(int error, bigtime_t now);
			// A lookup or connect that took too long: tried again after the
			// pause.
			void			_GiveUp(bigtime_t now);
			// Says the problem and waits the growing pause before the next
			// connect.
			void			_Retry(const std::string& problem,
								bigtime_t now);
			void			_Watch(bigtime_t now);
			void			_ReadNotices(bigtime_t now);
			void			_Command(const std::string& topic,
								const std::string& payload, bool retained);
			void			_Publish(const Publication& publication);
			void			_PublishAll();
			void			_PublishAvailability();
			int				_PollTimeout(bigtime_t now) const;
			// Prints the problem unless it is the one printed last.
			void			_Problem(const std::string& line);
			std::string		_Broker() const;

			MqttConfig		fConfig;
			TopicMap		fTopics;
			DoorState		fState;
			Discovery		fDiscovery;
			struct mosquitto* fClient = nullptr;
			std::string		fError;

			BrokerResolver	fResolver;
			bigtime_t		fResolveStarted = 0;
			bool			fSocketOpen = false;
			bool			fConnected = false;
			bool			fRefused = false;
			bigtime_t		fNextConnect = 0;
			bigtime_t		fConnectStarted = 0;
			bigtime_t		fBackoff = 0;
			bigtime_t		fLastMisc = 0;
			std::string		fLastProblem;
			std::string		fLastLogError;

			BPrivate::PortWatcher fWatcher;
			BMessenger		fRdx;
			bigtime_t		fNextWatch = 0;
			bool			fWaitingSaid = false;
};

#endif
