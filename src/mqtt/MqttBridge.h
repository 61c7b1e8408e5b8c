#ifndef MQTT_BRIDGE_H
#define MQTT_BRIDGE_H

#include "BrokerResolver.h"
#include "Discovery.h"
#include "DoorNotices.h"
#include "DoorSensor.h"
#include "RdxState.h"
#include "MqttConfig.h"
#include "RemoteCommand.h"
#include "TopicMap.h"

#include <Messenger.h>
#include <OS.h>
#include <PortWatcher.h>

#include <ctime>
#include <memory>
#include <sys/types.h>
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
//
// Where door.conf names the door, rdx-door (the door watcher) is watched
// the same way: its events and alarms go to the broker, and a contact
// that reports to the broker is read here and posted to rdx-door, which
// alone decides what the door does.
class MqttBridge {
public:
							MqttBridge(const MqttConfig& config);
							~MqttBridge();

							MqttBridge(const MqttBridge&) = delete;
			MqttBridge&		operator=(const MqttBridge&) = delete;

			// Sets up the client and reads door.conf; on a problem with the
			// settings (a CA file that cannot be used, a door_conf that is
			// not there...) B_BAD_VALUE and Error() says what.
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
			// A line for rdx's refusal of a command of ours.
			void			_Answer(const BMessage& notice);
			void			_Message(const std::string& topic,
								const std::string& payload, bool retained);
			void			_Command(const std::string& topic,
								const std::string& payload, bool retained);
			void			_Publish(const Publication& publication);
			void			_PublishAll();
			void			_PublishAvailability();
			int				_PollTimeout(bigtime_t now) const;

			// The door watcher's side. door.conf is read at the start and
			// again when rdx-door comes back after it changed; B_BAD_VALUE
			// only for a door_conf that was named and cannot be read.
			status_t		_LoadDoor();
			bool			_DoorConfChanged() const;
			void			_SubscribeSensor(
								const std::vector<std::string>& topics);
			void			_WatchDoor(bigtime_t now);
			void			_ReadDoorNotices(bigtime_t now);
			void			_SensorMessage(const std::string& topic,
								const std::string& payload, bool retained);
			// Posts a sensor report to rdx-door.
			void			_TellDoor(const BMessage& report,
								bigtime_t timeout);
			void			_SensorLost(const std::string& reason,
								bigtime_t timeout);
			void			_PublishDoorAvailability();
			// Prints the problem unless it is the one printed last.
			void			_Problem(const std::string& line);
			std::string		_Broker() const;

			MqttConfig		fConfig;
			TopicMap		fTopics;
			RdxState		fState;
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

			// Whether door.conf is there (read or refused): only then is
			// rdx-door watched and its availability told.
			bool			fHasDoor = false;
			// door.conf was read: the entities it names are announced.
			bool			fDoorRead = false;
			bool			fDoorContact = false;
			bool			fDoorExit = false;
			std::string		fDoorPath;
			// What door.conf was when read: inode, size, modification.
			struct timespec	fDoorChanged = {};
			ino_t			fDoorInode = 0;
			off_t			fDoorSize = -1;
			std::unique_ptr<DoorSensor> fSensor;
			DoorNotices		fDoorNotices;
			BPrivate::PortWatcher fDoorWatcher;
			BMessenger		fDoor;
			bigtime_t		fNextDoorWatch = 0;
			bool			fDoorWaitingSaid = false;
			// The last report told to rdx-door, as a line says it; whether
			// telling failed and was said.
			std::string		fToldReport;
			bool			fTellFailedSaid = false;
			// Who the commands come from, for rdx: "mqtt:<client id>".
			std::string		fSender;
};

#endif
