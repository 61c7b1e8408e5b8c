#include "MqttBridge.h"

#include <DeskDefs.h>
#include <DoorConfig.h>
#include <DoorDefs.h>
#include <Locale.h>
#include <Message.h>
#include <RDXDefs.h>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

// The pause before connecting again grows from the first to the last.
const bigtime_t kFirstBackoff = 500 * 1000LL;
const bigtime_t kLastBackoff = 10 * 1000000LL;
// A connect (TCP, TLS and the broker's CONNACK) that takes longer is given
// up and made again after the pause: a broker whose packets are dropped
// would otherwise hold the attempt for the kernel's two minutes of SYN
// retries. A broker on the same network answers in milliseconds, one
// across the world within a second. Looking up the broker's name has the
// same limit of its own: a name server that does not answer would hold
// the C library's lookup for its time-outs and retries.
const bigtime_t kConnectLimit = 5 * 1000000LL;
// How long an ending bridge tries to tell the broker it goes offline.
const bigtime_t kGoodbyeLimit = 500 * 1000LL;
// How often to look for rdx again while it does not run.
const bigtime_t kWatchRetry = 1000 * 1000LL;
// Long enough for a busy rdx, short enough not to stall the broker's side.
const bigtime_t kRdxTimeout = 2 * 1000000LL;
// Commands come in with QoS 1. What we publish goes with QoS 0: every
// state is told again after a reconnect anyway, and a QoS 1 publish makes
// the broker answer each one; with the broker's Nagle algorithm on (its
// default), an answer still waiting for our delayed ACK holds back the
// next command to us by tens of milliseconds.
const int kCommandQos = 1;
const int kPublishQos = 0;
// The last will is published by the broker, not by us.
const int kWillQos = 1;
// A door sensor's reports come with QoS 1, so that the broker keeps one
// for us over a short break of the connection.
const int kSensorQos = 1;
// rdx-door takes a sensor's report at once; the loop waits no longer.
const bigtime_t kDoorTimeout = 1000 * 1000LL;
// At the end less: the goodbye to the broker follows, and the whole end
// must fit in the second an ending service may take.
const bigtime_t kDoorGoodbyeTimeout = 250 * 1000LL;


// libmosquitto's texts end in a full stop; ours go on after them.
std::string
Reason(int error)
{
	std::string text = error == MOSQ_ERR_ERRNO ? strerror(errno)
		: mosquitto_strerror(error);
	while (!text.empty() && text.back() == '.')
		text.pop_back();
	return text;
}


// Why rdx did not take a message, as a user would put it.
const char*
RdxProblem(status_t status)
{
	switch (status) {
		case B_BAD_PORT_ID:
			return "rdx does not run";
		case B_TIMED_OUT:
		case B_WOULD_BLOCK:
			return "rdx is too busy";
		case B_PERMISSION_DENIED:
			return "the rdx found runs as another user";
		default:
			return status_text(status);
	}
}


double
WallClock()
{
	struct timeval now;
	gettimeofday(&now, nullptr);
	return (double)now.tv_sec + now.tv_usec / 1e6;
}


void
Line(const char* format, ...) __attribute__((format(printf, 1, 2)));


void
Line(const char* format, ...)
{
	char text[1024];
	va_list args;
	va_start(args, format);
	// Every line in the user's language; the format is the key.
	vsnprintf(text, sizeof(text), B_TRANSLATE(format), args);
	va_end(args);
	fprintf(stderr, "rdx-mqtt: %s\n", text);
}

}	// namespace


MqttBridge::MqttBridge(const MqttConfig& config)
	:
	fConfig(config),
	fTopics(config.prefix),
	fState(fTopics),
	fDiscovery(fTopics, config.door, RDX_VERSION),
	fWatcher(RDX_SIGNATURE),
	fRdx(RDX_SIGNATURE),
	fDoorNotices(fTopics),
	fDoorWatcher(RDX_DOOR_SIGNATURE, {RDX_NOTICE_DOOR}),
	fDoor(RDX_DOOR_SIGNATURE),
	fSender("mqtt:" + config.clientID)
{
}


MqttBridge::~MqttBridge()
{
	if (fClient != nullptr)
		mosquitto_destroy(fClient);
	mosquitto_lib_cleanup();
}


status_t
MqttBridge::Init()
{
	mosquitto_lib_init();
	fClient = mosquitto_new(fConfig.clientID.c_str(), true, this);
	if (fClient == nullptr) {
		fError = translate_format("cannot make an MQTT client: %s",
			strerror(errno));
		return B_NO_MEMORY;
	}
	mosquitto_int_option(fClient, MOSQ_OPT_PROTOCOL_VERSION,
		MQTT_PROTOCOL_V5);
	// Our small packets (acknowledgements) go out at once.
	mosquitto_int_option(fClient, MOSQ_OPT_TCP_NODELAY, 1);
	mosquitto_connect_v5_callback_set(fClient, _ConnectCallback);
	mosquitto_message_v5_callback_set(fClient, _MessageCallback);
	mosquitto_log_callback_set(fClient, _LogCallback);

	int result;
	if (!fConfig.username.empty()) {
		result = mosquitto_username_pw_set(fClient, fConfig.username.c_str(),
			fConfig.password.empty() ? nullptr : fConfig.password.c_str());
		if (result != MOSQ_ERR_SUCCESS) {
			fError = std::string("username: ") + mosquitto_strerror(result);
			return B_BAD_VALUE;
		}
	}
	if (fConfig.UsesTLS()) {
		for (const std::string* file : {&fConfig.tlsCA, &fConfig.tlsCert,
				&fConfig.tlsKey}) {
			if (!file->empty() && access(file->c_str(), R_OK) != 0) {
				fError = translate_format("%s: cannot read it: %s",
					file->c_str(), strerror(errno));
				return B_BAD_VALUE;
			}
		}
		result = mosquitto_tls_set(fClient, fConfig.tlsCA.c_str(), nullptr,
			fConfig.tlsCert.empty() ? nullptr : fConfig.tlsCert.c_str(),
			fConfig.tlsKey.empty() ? nullptr : fConfig.tlsKey.c_str(),
			nullptr);
		if (result != MOSQ_ERR_SUCCESS) {
			fError = translate_format("TLS settings (tls_ca, tls_cert,"
				" tls_key) are not usable: %s", mosquitto_strerror(result));
			return B_BAD_VALUE;
		}
	}
	// A door whose bridge died says so by itself.
	std::string availability = fTopics.Availability();
	result = mosquitto_will_set(fClient, availability.c_str(), 7, "offline",
		kWillQos, true);
	if (result != MOSQ_ERR_SUCCESS) {
		fError = translate_format("cannot set the last will: %s",
			mosquitto_strerror(result));
		return B_BAD_VALUE;
	}
	return _LoadDoor();
}


void
MqttBridge::Run(int signalFD)
{
	Line("door %s, topics under %s/, broker %s", fConfig.door.c_str(),
		fConfig.prefix.c_str(), _Broker().c_str());
	bigtime_t now = system_time();
	_Watch(now);
	if (fHasDoor)
		_WatchDoor(now);
	_Connect(now);

	std::vector<pollfd> fds;
	for (;;) {
		now = system_time();
		int clientFD = fSocketOpen ? mosquitto_socket(fClient) : -1;
		fds.assign({
			pollfd{signalFD, POLLIN, 0},
			pollfd{fWatcher.FD(), POLLIN, 0},
			pollfd{clientFD, (short)(POLLIN
				| (clientFD >= 0 && mosquitto_want_write(fClient)
					? POLLOUT : 0)), 0},
			pollfd{fResolver.FD(), POLLIN, 0},
			pollfd{fDoorWatcher.FD(), POLLIN, 0},
		});
		int count = poll(fds.data(), fds.size(), _PollTimeout(now));
		if (count < 0 && errno != EINTR) {
			Line("waiting failed: %s", strerror(errno));
			break;
		}
		if (count > 0 && fds[0].revents != 0)
			break;
		now = system_time();

		if (count > 0 && fds[1].revents != 0)
			_ReadNotices(now);
		if (count > 0 && fds[3].revents != 0)
			_Resolved(now);
		if (count > 0 && fds[4].revents != 0)
			_ReadDoorNotices(now);

		if (fSocketOpen && clientFD >= 0) {
			int result = MOSQ_ERR_SUCCESS;
			if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
				result = mosquitto_loop_read(fClient, 1);
			if (result == MOSQ_ERR_SUCCESS && (fds[2].revents & POLLOUT))
				result = mosquitto_loop_write(fClient, 1);
			if (result == MOSQ_ERR_SUCCESS) {
				result = mosquitto_loop_misc(fClient);
				fLastMisc = now;
			}
			if (result != MOSQ_ERR_SUCCESS || mosquitto_socket(fClient) < 0)
				_Lost(result, now);
		}

		if (fSocketOpen && !fConnected && now - fConnectStarted >= kConnectLimit)
			_GiveUp(now);
		if (fResolver.IsBusy() && now - fResolveStarted >= kConnectLimit)
			_GiveUp(now);
		if (!fSocketOpen && !fResolver.IsBusy() && now >= fNextConnect)
			_Connect(now);
		if (!fWatcher.IsWatching() && now >= fNextWatch)
			_Watch(now);
		if (fHasDoor && !fDoorWatcher.IsWatching() && now >= fNextDoorWatch)
			_WatchDoor(now);
	}

	// Nobody reads the door's sensor from now on: rdx-door must not go on
	// taking its last report for the door's state.
	if (fSensor != nullptr && fConnected)
		_SensorLost(B_TRANSLATE("rdx-mqtt stopped"), kDoorGoodbyeTimeout);
	if (fConnected) {
		// A bridge that ends on purpose is not a lost one: offline is said
		// now, since a clean disconnect does not send the last will.
		_Publish(Publication{fTopics.Availability(), "offline", true});
		if (fHasDoor)
			_Publish(Publication{fTopics.DoorAvailability(), "offline", true});
		mosquitto_disconnect(fClient);
		// Bounded well within the second an ending service may take.
		bigtime_t until = system_time() + kGoodbyeLimit;
		while (mosquitto_socket(fClient) >= 0 && mosquitto_want_write(fClient)
			&& system_time() < until) {
			pollfd entry = {mosquitto_socket(fClient), POLLOUT, 0};
			poll(&entry, 1, 100);
			mosquitto_loop_write(fClient, 1);
		}
	}
	Line("stopped");
}


int
MqttBridge::_PollTimeout(bigtime_t now) const
{
	bigtime_t wait = -1;
	auto consider = [&](bigtime_t until) {
		bigtime_t left = std::max<bigtime_t>(0, until - now);
		if (wait < 0 || left < wait)
			wait = left;
	};
	if (fResolver.IsBusy())
		consider(fResolveStarted + kConnectLimit);
	else if (!fSocketOpen)
		consider(fNextConnect);
	else if (!fConnected)
		consider(fConnectStarted + kConnectLimit);
	else {
		// The keep-alive is libmosquitto's: it needs a look now and then,
		// a quarter of the keep-alive apart, so a ping is never late.
		consider(fLastMisc + fConfig.keepAlive * 1000000LL / 4);
	}
	if (!fWatcher.IsWatching())
		consider(fNextWatch);
	if (fHasDoor && !fDoorWatcher.IsWatching())
		consider(fNextDoorWatch);
	if (wait < 0)
		return -1;
	return (int)std::min<bigtime_t>((wait + 999) / 1000, 3600 * 1000);
}


void
MqttBridge::_Connect(bigtime_t now)
{
	fLastLogError.clear();
	// libmosquitto would look the name up itself, on this thread, and the
	// loop would wait for it with the signals unread.
	std::string error;
	if (fResolver.Start(fConfig.host, fConfig.port, &error) != B_OK) {
		_Retry("cannot look up the broker at " + _Broker() + ": " + error
			+ "; trying again", now);
		return;
	}
	fResolveStarted = now;
}


void
MqttBridge::_Resolved(bigtime_t now)
{
	std::vector<std::string> addresses;
	std::string error;
	status_t status = fResolver.Take(&addresses, &error);
	if (status == B_WOULD_BLOCK)
		return;
	if (status != B_OK) {
		_Retry("cannot look up the broker at " + _Broker() + ": " + error
			+ "; trying again", now);
		return;
	}

	// The certificate's name is checked against the host the library is
	// given: with TLS, a name stays a name, which the library looks up
	// again (just answered, it is quick). Otherwise each address is tried
	// in turn until one takes the connect, as the library itself would.
	if (fConfig.UsesTLS())
		addresses = {fConfig.host};
	int result = MOSQ_ERR_UNKNOWN;
	for (const std::string& address : addresses) {
		// Without waiting for the connection: the one loop goes on waiting
		// for the signals meanwhile, and the connection completes in it.
		result = mosquitto_connect_bind_async(fClient, address.c_str(),
			fConfig.port, fConfig.keepAlive, nullptr);
		if (result == MOSQ_ERR_SUCCESS)
			break;
	}
	if (result != MOSQ_ERR_SUCCESS) {
		_Lost(result, now);
		return;
	}
	fSocketOpen = true;
	fLastMisc = now;
	fConnectStarted = now;
}


void
MqttBridge::_GiveUp(bigtime_t now)
{
	if (fResolver.IsBusy()) {
		fResolver.GiveUp();
		_Retry("the name of the broker at " + _Broker() + " was not looked"
			" up within " + std::to_string(kConnectLimit / 1000000)
			+ " seconds; trying again", now);
		return;
	}
	// The next connect closes the socket that is left.
	fSocketOpen = false;
	_Retry("the broker at " + _Broker() + " did not answer the connect"
		" within " + std::to_string(kConnectLimit / 1000000) + " seconds;"
		" trying again", now);
}


void
MqttBridge::_Retry(const std::string& problem, bigtime_t now)
{
	fBackoff = fBackoff == 0 ? kFirstBackoff
		: std::min(fBackoff * 2, kLastBackoff);
	_Problem(problem);
	fNextConnect = now + fBackoff;
}


void
MqttBridge::_ConnectCallback(struct mosquitto* client, void* data,
	int reason, int flags, const mosquitto_property* properties)
{
	static_cast<MqttBridge*>(data)->_Connected(reason);
}


void
MqttBridge::_Connected(int reason)
{
	if (reason != 0) {
		fRefused = true;
		_Problem("the broker at " + _Broker() + " refused the connection: "
			+ mosquitto_reason_string(reason));
		// The broker closes the connection; that is handled as any loss.
		return;
	}
	fConnected = true;
	fBackoff = 0;
	fLastProblem.clear();
	Line("connected to the broker at %s as %s", _Broker().c_str(),
		fConfig.clientID.c_str());

	for (const std::string& topic : fTopics.Subscriptions()) {
		// Retain as published: a stored command must be told from a fresh
		// one, also when it was stored while we were subscribed.
		int options = MQTT_SUB_OPT_RETAIN_AS_PUBLISHED;
		int result = mosquitto_subscribe_v5(fClient, nullptr, topic.c_str(),
			kCommandQos, options, nullptr);
		if (result != MOSQ_ERR_SUCCESS) {
			Line("cannot subscribe to %s: %s", topic.c_str(),
				Reason(result).c_str());
		}
	}
	// A sensor's report is a state, not a command: without "retain as
	// published", only what the broker kept comes marked as kept, and a
	// sensor that publishes everything retained still reports live.
	if (fSensor != nullptr)
		_SubscribeSensor(fSensor->Topics());
	_PublishAll();
}


void
MqttBridge::_SubscribeSensor(const std::vector<std::string>& topics)
{
	for (const std::string& topic : topics) {
		int result = mosquitto_subscribe_v5(fClient, nullptr, topic.c_str(),
			kSensorQos, 0, nullptr);
		if (result != MOSQ_ERR_SUCCESS) {
			Line("cannot subscribe to %s: %s", topic.c_str(),
				Reason(result).c_str());
		}
	}
}


void
MqttBridge::_Lost(int error, bigtime_t now)
{
	std::string why = Reason(error);
	if (!fLastLogError.empty())
		why += " (" + fLastLogError + ")";
	if (fSocketOpen)
		mosquitto_disconnect(fClient);
	bool wasConnected = fConnected;
	fSocketOpen = false;
	fConnected = false;
	if (wasConnected && fSensor != nullptr) {
		// Whatever the sensor says now does not reach us.
		fSensor->Disconnected();
		_SensorLost(B_TRANSLATE("the broker connection is lost"),
			kDoorTimeout);
	}

	fBackoff = fBackoff == 0 ? kFirstBackoff
		: std::min(fBackoff * 2, kLastBackoff);
	fNextConnect = now + fBackoff;
	if (fRefused) {
		// The refusal has been told; the connection's end says no more.
		fRefused = false;
		return;
	}
	if (wasConnected) {
		Line("lost the broker at %s: %s; connecting again",
			_Broker().c_str(), why.c_str());
		fLastProblem.clear();
		return;
	}
	_Problem("cannot connect to the broker at " + _Broker() + ": " + why
		+ "; trying again");
}


void
MqttBridge::_Problem(const std::string& line)
{
	if (line == fLastProblem)
		return;
	fLastProblem = line;
	Line("%s", line.c_str());
}


void
MqttBridge::_LogCallback(struct mosquitto* client, void* data, int level,
	const char* text)
{
	// libmosquitto tells TLS failures only here; the loss that follows
	// quotes the last one.
	if ((level & MOSQ_LOG_ERR) != 0 && text != nullptr)
		static_cast<MqttBridge*>(data)->fLastLogError = text;
}


void
MqttBridge::_Watch(bigtime_t now)
{
	status_t status = fWatcher.Start(kRdxTimeout);
	if (status == B_OK) {
		Line("watching rdx");
		fWaitingSaid = false;
		_PublishAvailability();
		return;
	}
	fNextWatch = now + kWatchRetry;
	if (fWaitingSaid)
		return;
	fWaitingSaid = true;
	if (status == B_BAD_PORT_ID)
		Line("rdx does not run; waiting for it");
	else
		Line("cannot watch rdx: %s; trying again", status_text(status));
}


void
MqttBridge::_ReadNotices(bigtime_t now)
{
	for (;;) {
		BMessage notice;
		std::string problem;
		status_t status = fWatcher.ReadNotice(&notice, &problem);
		if (status == B_WOULD_BLOCK)
			return;
		if (status != B_OK) {
			if (status == B_BAD_DATA)
				Line("rdx sent what is no notice: %s", problem.c_str());
			Line("rdx went away; waiting for it to come back");
			fWaitingSaid = true;
			fNextWatch = now + kWatchRetry / 2;
			_PublishAvailability();
			return;
		}
		for (const Publication& publication
				: fState.Notice(notice, WallClock()))
			_Publish(publication);
		_Answer(notice);
	}
}


void
MqttBridge::_Answer(const BMessage& notice)
{
	int32 what = 0;
	const char* sender = nullptr;
	const char* result = nullptr;
	if (notice.FindInt32(B_OBSERVE_WHAT_CHANGE, &what) != B_OK
		|| (uint32)what != RDX_NOTICE_DOOR_MODE
		|| notice.FindString(RDX_FIELD_SENDER, &sender) != B_OK
		|| fSender != sender
		|| notice.FindString(RDX_FIELD_RESULT, &result) != B_OK
		|| strcmp(result, RDX_RESULT_REFUSED) != 0)
		return;
	const char* why = "";
	notice.FindString(RDX_FIELD_WHY, &why);
	Line("rdx refused the command: %s", why);
}


void
MqttBridge::_MessageCallback(struct mosquitto* client, void* data,
	const struct mosquitto_message* message,
	const mosquitto_property* properties)
{
	std::string payload;
	if (message->payload != nullptr && message->payloadlen > 0) {
		payload.assign(static_cast<const char*>(message->payload),
			(size_t)message->payloadlen);
	}
	static_cast<MqttBridge*>(data)->_Message(message->topic, payload,
		message->retain);
}


void
MqttBridge::_Message(const std::string& topic, const std::string& payload,
	bool retained)
{
	if (fSensor != nullptr && fSensor->Owns(topic)) {
		_SensorMessage(topic, payload, retained);
		return;
	}
	_Command(topic, payload, retained);
}


void
MqttBridge::_Command(const std::string& topic, const std::string& payload,
	bool retained)
{
	RemoteCommand command = RemoteCommand::Read(fTopics, topic, payload,
		retained, WallClock());
	switch (command.What()) {
		case RemoteCommand::kNone:
			if (!command.Refusal().empty())
				Line("%s", command.Refusal().c_str());
			return;
		case RemoteCommand::kHomeAssistantOnline:
			_PublishAll();
			return;
		case RemoteCommand::kOpen:
		{
			// The open takes the path of a tag read, so that board use, the
			// tag relay and the hold time apply as to any tag.
			const std::string& source = fSender;
			BMessage tag(RDX_MSG_TAG);
			tag.AddString(RDX_FIELD_TAG, source.c_str());
			tag.AddString(RDX_FIELD_READER, "mqtt");
			// Dropped here when rdx does not take it in time, and so
			// never to open later.
			tag.AddString(RDX_FIELD_DEADLINE,
				FormatDeadline(system_time() + kRdxTimeout).c_str());
			status_t status = fRdx.SendMessage(&tag, nullptr, kRdxTimeout);
			if (status != B_OK) {
				// Never kept for later: a door opens now or not at all.
				Line("open command on %s dropped: %s", topic.c_str(),
					RdxProblem(status));
				return;
			}
			Line("open command on %s passed to rdx as %s", topic.c_str(),
				source.c_str());
			return;
		}
		case RemoteCommand::kKeepOpen:
		case RemoteCommand::kLockdown:
		{
			// rdx answers with its 'rxMd' notice, which the watch hears:
			// the state goes to the broker from there, a refusal to a line.
			BMessage desk(command.What() == RemoteCommand::kLockdown
				? RDX_MSG_LOCKDOWN : RDX_MSG_KEEP_OPEN);
			if (command.What() == RemoteCommand::kLockdown)
				desk.AddBool(RDX_FIELD_ON, command.Use());
			else
				desk.AddInt32(RDX_FIELD_SECONDS, command.Seconds());
			desk.AddString(RDX_FIELD_SENDER, fSender.c_str());
			desk.AddString(RDX_FIELD_DEADLINE,
				FormatDeadline(system_time() + kRdxTimeout).c_str());
			status_t status = fRdx.SendMessage(&desk, nullptr, kRdxTimeout);
			if (status != B_OK) {
				Line("command on %s dropped: %s", topic.c_str(),
					RdxProblem(status));
				return;
			}
			Line("command on %s passed to rdx", topic.c_str());
			return;
		}
		case RemoteCommand::kBoardUse:
		{
			BMessage use(RDX_MSG_USE);
			use.AddBool(RDX_FIELD_USE, command.Use());
			status_t status = fRdx.SendMessage(&use, nullptr, kRdxTimeout);
			if (status != B_OK) {
				Line("board use command on %s dropped: %s", topic.c_str(),
					RdxProblem(status));
				return;
			}
			Line("board use %s passed to rdx", command.Use() ? "on" : "off");
			return;
		}
	}
}


void
MqttBridge::_Publish(const Publication& publication)
{
	if (!fConnected)
		return;
	int result = mosquitto_publish_v5(fClient, nullptr,
		publication.topic.c_str(), (int)publication.payload.size(),
		publication.payload.data(), kPublishQos, publication.retained,
		nullptr);
	if (result != MOSQ_ERR_SUCCESS) {
		Line("cannot publish on %s: %s", publication.topic.c_str(),
			Reason(result).c_str());
	}
}


void
MqttBridge::_PublishAll()
{
	for (const Publication& publication : fDiscovery.Messages())
		_Publish(publication);
	_PublishAvailability();
	for (const Publication& publication : fState.States())
		_Publish(publication);
	if (!fHasDoor)
		return;
	if (fDoorRead) {
		for (const Publication& publication
				: fDiscovery.DoorMessages(fDoorContact, fDoorExit))
			_Publish(publication);
	}
	for (const Publication& publication : fDoorNotices.States())
		_Publish(publication);
	_PublishDoorAvailability();
}


void
MqttBridge::_PublishAvailability()
{
	// The door can be used from the broker only while rdx runs.
	_Publish(Publication{fTopics.Availability(),
		fWatcher.IsWatching() ? "online" : "offline", true});
}


std::string
MqttBridge::_Broker() const
{
	return fConfig.host + ":" + std::to_string(fConfig.port)
		+ (fConfig.UsesTLS() ? " (TLS)" : "");
}


status_t
MqttBridge::_LoadDoor()
{
	bool atStart = fDoorPath.empty();
	bool named = !fConfig.doorConf.empty();
	fDoorPath = named ? fConfig.doorConf : DoorConfig::DefaultPath();
	struct stat info;
	bool there = stat(fDoorPath.c_str(), &info) == 0;
	fDoorInode = there ? info.st_ino : 0;
	fDoorSize = there ? info.st_size : -1;
	fDoorChanged = there ? info.st_mtim : timespec{};

	DoorConfig door;
	status_t status = door.Load(fDoorPath);
	if (status == B_ENTRY_NOT_FOUND && atStart) {
		if (named) {
			fError = door.Errors().empty() ? fDoorPath : door.Errors()[0];
			return B_BAD_VALUE;
		}
		// No door.conf, no door watcher: nothing of the door to tell.
		return B_OK;
	}
	fHasDoor = true;

	std::unique_ptr<DoorSensor> sensor;
	bool contact = false;
	bool exit = false;
	if (status != B_OK) {
		for (const std::string& error : door.Errors())
			Line("%s", error.c_str());
		Line("%s cannot serve: the door's entities are not announced, and"
			" no contact is read from the broker, until it is mended and"
			" rdx-door starts again", fDoorPath.c_str());
	} else {
		for (const DoorInput& input : door.inputs) {
			contact |= input.role == DoorInput::kContact;
			exit |= input.role == DoorInput::kExit;
			if (input.kind != DoorInput::kMqtt)
				continue;
			sensor = std::make_unique<DoorSensor>(input);
			// Our own topics carry what we say; read as a sensor's, a
			// door state we publish would come back as its report.
			for (const std::string& topic : sensor->Topics()) {
				if (topic.compare(0, fConfig.prefix.size() + 1,
						fConfig.prefix + "/") == 0
					|| topic.compare(0, 14, "homeassistant/") == 0) {
					Line("%s: %s lies among rdx-mqtt's own topics: the"
						" contact is not read", input.Name().c_str(),
						topic.c_str());
					sensor.reset();
					break;
				}
			}
			if (sensor != nullptr) {
				Line("reading the door's contact on %s for rdx-door",
					input.topic.c_str());
			}
		}
	}

	std::vector<std::string> before = fSensor != nullptr
		? fSensor->Topics() : std::vector<std::string>();
	std::vector<std::string> after = sensor != nullptr ? sensor->Topics()
		: std::vector<std::string>();
	bool entities = fDoorRead != (status == B_OK) || contact != fDoorContact
		|| exit != fDoorExit;
	fDoorRead = status == B_OK;
	fDoorContact = contact;
	fDoorExit = exit;
	if (before == after && fSensor != nullptr && sensor != nullptr
		&& fSensor->Input().Name() == sensor->Input().Name()) {
		// The same sensor: what it said so far still stands; the rest of
		// its line (its texts, its interval) is taken anew.
		sensor->TakeOver(*fSensor);
	}
	fSensor = std::move(sensor);
	if (!fConnected)
		return B_OK;
	if (before != after) {
		for (const std::string& topic : before)
			mosquitto_unsubscribe_v5(fClient, nullptr, topic.c_str(), nullptr);
		_SubscribeSensor(after);
	}
	if (entities && fDoorRead) {
		for (const Publication& publication
				: fDiscovery.DoorMessages(fDoorContact, fDoorExit))
			_Publish(publication);
	}
	return B_OK;
}


bool
MqttBridge::_DoorConfChanged() const
{
	struct stat info;
	if (stat(fDoorPath.c_str(), &info) != 0)
		return fDoorSize >= 0;
	return info.st_ino != fDoorInode || info.st_size != fDoorSize
		|| info.st_mtim.tv_sec != fDoorChanged.tv_sec
		|| info.st_mtim.tv_nsec != fDoorChanged.tv_nsec;
}


void
MqttBridge::_WatchDoor(bigtime_t now)
{
	status_t status = fDoorWatcher.Start(kRdxTimeout);
	if (status != B_OK) {
		fNextDoorWatch = now + kWatchRetry;
		if (fDoorWaitingSaid)
			return;
		fDoorWaitingSaid = true;
		if (status == B_BAD_PORT_ID) {
			Line("rdx-door does not run; the door's entities are"
				" unavailable until it does");
		} else
			Line("cannot watch rdx-door: %s; trying again",
				status_text(status));
		return;
	}
	Line("watching rdx-door");
	fDoorWaitingSaid = false;
	// rdx-door reads door.conf as it starts: so does the bridge, when the
	// file changed since it read it.
	if (_DoorConfChanged())
		_LoadDoor();
	_PublishDoorAvailability();
	// A new rdx-door does not know the door yet: it hears the sensor's
	// last word while that still counts.
	BMessage report;
	if (fSensor != nullptr && fSensor->LastReport(now, &report))
		_TellDoor(report, kDoorTimeout);
}


void
MqttBridge::_ReadDoorNotices(bigtime_t now)
{
	for (;;) {
		BMessage notice;
		std::string problem;
		status_t status = fDoorWatcher.ReadNotice(&notice, &problem);
		if (status == B_WOULD_BLOCK)
			return;
		if (status != B_OK) {
			if (status == B_BAD_DATA)
				Line("rdx-door sent what is no notice: %s", problem.c_str());
			Line("rdx-door went away; the door's entities are unavailable"
				" until it is back");
			fDoorWaitingSaid = true;
			fNextDoorWatch = now + kWatchRetry / 2;
			for (const Publication& publication : fDoorNotices.Gone())
				_Publish(publication);
			_PublishDoorAvailability();
			return;
		}
		for (const Publication& publication
				: fDoorNotices.Notice(notice, WallClock()))
			_Publish(publication);
	}
}


void
MqttBridge::_SensorMessage(const std::string& topic,
	const std::string& payload, bool retained)
{
	BMessage report;
	std::string line;
	bool tell = fSensor->Read(topic, payload, retained, system_time(),
		&report, &line);
	if (!line.empty())
		Line("%s", line.c_str());
	if (tell)
		_TellDoor(report, kDoorTimeout);
}


void
MqttBridge::_TellDoor(const BMessage& report, bigtime_t timeout)
{
	const char* state = RDX_DOOR_UNKNOWN;
	const char* reason = nullptr;
	report.FindString(RDX_FIELD_STATE, &state);
	report.FindString(RDX_FIELD_REASON, &reason);
	std::string said = fSensor->Input().Name() + ": " + state;
	if (reason != nullptr)
		said += std::string(" (") + reason + ")";

	BMessage message(report);
	status_t status = fDoor.SendMessage(&message, nullptr, timeout);
	if (status != B_OK) {
		// Said once until it works again; the sensor's last word is told
		// to rdx-door when it comes back.
		if (!fTellFailedSaid) {
			Line("%s; rdx-door cannot be told: %s", said.c_str(),
				status == B_BAD_PORT_ID ? B_TRANSLATE("it does not run")
					: status_text(status));
		}
		fTellFailedSaid = true;
		fToldReport.clear();
		return;
	}
	fTellFailedSaid = false;
	// Every report goes to rdx-door (it times the sensor's silence by
	// them); a line only for what changed.
	if (said != fToldReport)
		Line("%s, told rdx-door", said.c_str());
	fToldReport = said;
}


void
MqttBridge::_SensorLost(const std::string& reason, bigtime_t timeout)
{
	_TellDoor(fSensor->Unknown(reason, system_time()), timeout);
}


void
MqttBridge::_PublishDoorAvailability()
{
	_Publish(Publication{fTopics.DoorAvailability(),
		fDoorWatcher.IsWatching() ? "online" : "offline", true});
}
