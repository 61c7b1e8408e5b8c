#include "NotificationBus.h"

#include <Message.h>
#include <Notification.h>

#include "GioBusLibrary.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

namespace BPrivate {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
// Notifications kept track of for their actions at most; the service
// tells when one closes, but a service that never does must not make the
// process grow.
const size_t kMaxShown = 64;
// Message ids remembered for replacing: one per tag and reader, say, so
// bounded as well; one forgotten only costs a second notification.
const size_t kMaxReplaced = 1024;


// A path as a D-Bus address value: bytes outside the ones the address
// syntax takes as they are, as %XX.
std::string
address_value(const std::string& path)
{
	static const char* const kHex = "0123456789abcdef";
	std::string escaped;
	for (unsigned char c : path) {
		if (isalnum(c) || c == '-' || c == '_' || c == '/' || c == '.'
			|| c == '\\' || c == '*') {
			escaped += (char)c;
			continue;
		}
		escaped += '%';
		escaped += kHex[c >> 4];
		escaped += kHex[c & 15];
	}
	return escaped;
}


// The session bus's address, without ever starting a bus of our own (as
// GIO's autolaunch would): the environment's, or the socket systemd's user
// manager keeps in the runtime directory. Empty: there is none.
std::string
session_address()
{
	const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
	if (address != nullptr && address[0] != '\0')
		return address;
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	if (runtime == nullptr || runtime[0] != '/')
		return std::string();
	std::string socket = std::string(runtime) + "/bus";
	struct stat status;
	if (stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode))
		return std::string();
	return "unix:path=" + address_value(socket);
}

// The owner of a socket the address names by path (unix:path=…), when
// that is another user: a bus he runs, or a socket he put where ours was
// (in /tmp, after our bus ended), would be shown what the program tells
// its own desk. -1 when every such socket is the user's (or root's), or
// the address names none.
long
foreign_owner(const std::string& address, std::string* socketPath)
{
	size_t start = 0;
	while (start < address.size()) {
		size_t end = address.find(';', start);
		if (end == std::string::npos)
			end = address.size();
		std::string entry = address.substr(start, end - start);
		start = end + 1;
		if (entry.compare(0, 5, "unix:") != 0)
			continue;
		size_t key = entry.find("path=", 5);
		if (key == std::string::npos
			|| (entry[key - 1] != ':' && entry[key - 1] != ','))
			continue;
		std::string value = entry.substr(key + 5, entry.find(',', key)
			- (key + 5));
		std::string path;
		for (size_t i = 0; i < value.size(); i++) {
			if (value[i] == '%' && i + 2 < value.size()) {
				path += (char)strtol(value.substr(i + 1, 2).c_str(), nullptr,
					16);
				i += 2;
			} else
				path += value[i];
		}
		struct stat status;
		if (stat(path.c_str(), &status) != 0)
			continue;
		if (status.st_uid != geteuid() && status.st_uid != 0) {
			*socketPath = path;
			return (long)status.st_uid;
		}
	}
	return -1;
}

}	// namespace


NotificationBus&
NotificationBus::Default()
{
	static NotificationBus sBus;
	return sBus;
}


NotificationBus::~NotificationBus()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fStopping = true;
		// A connect that hangs (a bus that accepts and never answers) is
		// given up, so that the process can end.
		if (fCancel != nullptr)
			GioBusLibrary::Get()->cancellable_cancel(fCancel);
	}
	fQueued.notify_one();
	if (fThread.joinable())
		fThread.join();
}


void
NotificationBus::Send(Request&& request)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (fStopping)
			return;
		// A desk that does not keep up loses the oldest, never the door's
		// time or the process's memory.
		if (fQueue.size() >= 32)
			fQueue.pop_front();
		fQueue.push_back(std::move(request));
		if (!fThread.joinable()) {
			// The thread takes none of the process's signals, as the
			// other threads of the platform do.
			sigset_t all;
			sigset_t previous;
			sigfillset(&all);
			pthread_sigmask(SIG_SETMASK, &all, &previous);
			fThread = std::thread([this] {
				pthread_setname_np(pthread_self(), "notifications");
				_Run();
			});
			pthread_sigmask(SIG_SETMASK, &previous, nullptr);
		}
	}
	fQueued.notify_one();
}


void
NotificationBus::_Run()
{
	std::unique_lock<std::mutex> lock(fLock);
	for (;;) {
		fQueued.wait(lock, [&] { return fStopping || !fQueue.empty(); });
		if (fStopping)
			return;
		std::deque<Request> batch;
		batch.swap(fQueue);
		lock.unlock();
		if (_Connect()) {
			for (const Request& request : batch)
				_Notify(request);
		}
		lock.lock();
	}
}


bool
NotificationBus::_Connect()
{
	// Where there is no bus to send to, GIO is not even loaded: a program
	// without a desk keeps its few megabytes.
	if (fConnection == nullptr && session_address().empty())
		return false;
	const GioBusLibrary* gio = GioBusLibrary::Get();
	if (gio == nullptr)
		return false;
	if (fConnection != nullptr && !gio->connection_is_closed(fConnection))
		return true;
	if (fConnection != nullptr) {
		gio->object_unref(fConnection);
		fConnection = nullptr;
	}
	std::string address = session_address();
	if (address.empty())
		return false;
	std::string socketPath;
	long owner = foreign_owner(address, &socketPath);
	if (owner >= 0) {
		if (!fForeignSaid) {
			fForeignSaid = true;
			fprintf(stderr, "%s: the session bus %s belongs to another user"
				" (uid %ld): no notification is sent there\n",
				program_invocation_short_name, socketPath.c_str(), owner);
		}
		return false;
	}
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (fStopping)
			return false;
		if (fCancel == nullptr)
			fCancel = gio->cancellable_new();
	}
	GError* error = nullptr;
	fConnection = gio->connection_new_for_address_sync(address.c_str(),
		(GDBusConnectionFlags)(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
			| G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION), nullptr,
		fCancel, &error);
	if (fConnection == nullptr) {
		if (error != nullptr)
			gio->error_free(error);
		return false;
	}
	// The bus going away must not end the process.
	gio->connection_set_exit_on_close(fConnection, FALSE);
	gio->connection_add_filter(fConnection,
		(GDBusMessageFilterFunction)_Filter, fLedger, nullptr);
	// The service's signals reach this connection only when asked for.
	GDBusMessage* match = gio->message_new_method_call("org.freedesktop.DBus",
		"/org/freedesktop/DBus", "org.freedesktop.DBus", "AddMatch");
	gio->message_set_body(match, gio->variant_new("(s)",
		"type='signal',interface='org.freedesktop.Notifications',"
		"path='/org/freedesktop/Notifications'"));
	gio->connection_send_message(fConnection, match,
		G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
	gio->object_unref(match);
	return true;
}


void
NotificationBus::_Notify(const Request& request)
{
	const GioBusLibrary* gio = GioBusLibrary::Get();
	std::vector<const char*> actions;
	for (const auto& [id, label] : request.actions) {
		actions.push_back(id.c_str());
		actions.push_back(label.c_str());
	}
	actions.push_back(nullptr);
	GVariant* hints[] = {
		gio->variant_new_dict_entry(gio->variant_new_string("urgency"),
			gio->variant_new_variant(
				gio->variant_new_byte((guint8)request.urgency))),
	};

	std::lock_guard<std::mutex> lock(fLedger->lock);
	uint32 replaces = 0;
	auto earlier = fLedger->replaces.find(request.messageID);
	if (!request.messageID.empty() && earlier != fLedger->replaces.end())
		replaces = earlier->second;
	GDBusMessage* call = gio->message_new_method_call(kService, kPath,
		kService, "Notify");
	gio->message_set_body(call, gio->variant_new("(susss@as@a{sv}i)",
		request.application.c_str(), (guint32)replaces, request.icon.c_str(),
		request.title.c_str(), request.content.c_str(),
		gio->variant_new_strv(actions.data(), -1),
		gio->variant_new_array((const GVariantType*)"{sv}", hints, 1),
		(gint32)request.timeoutMs));
	// The answer (the service's id for it) comes to the filter; the lock
	// keeps it from looking for the call before it is written down.
	guint32 serial = 0;
	if (gio->connection_send_message(fConnection, call,
			G_DBUS_SEND_MESSAGE_FLAGS_NONE, &serial, nullptr)) {
		fLedger->pending[serial] = Shown{request.messageID, request.target,
			""};
	}
	gio->object_unref(call);
}


GDBusMessage*
NotificationBus::_Filter(GDBusConnection* connection, GDBusMessage* message,
	int incoming, void* data)
{
	if (incoming)
		_Incoming(*static_cast<Ledger*>(data), message);
	// Passed on unchanged: the filter only listens.
	return message;
}


void
NotificationBus::_Incoming(Ledger& ledger, GDBusMessage* message)
{
	const GioBusLibrary* gio = GioBusLibrary::Get();
	GDBusMessageType type = gio->message_get_message_type(message);
	GVariant* body = gio->message_get_body(message);
	auto body_is = [&](const char* signature) {
		return body != nullptr && strcmp(gio->variant_get_type_string(body),
			signature) == 0;
	};
	auto child = [&](gsize index) {
		GVariant* value = gio->variant_get_child_value(body, index);
		return value;
	};

	if (type == G_DBUS_MESSAGE_TYPE_METHOD_RETURN
		|| type == G_DBUS_MESSAGE_TYPE_ERROR) {
		std::lock_guard<std::mutex> lock(ledger.lock);
		auto pending = ledger.pending.find(
			gio->message_get_reply_serial(message));
		if (pending == ledger.pending.end())
			return;
		Shown shown = pending->second;
		ledger.pending.erase(pending);
		// An error (no notification service): nothing is shown, nothing
		// said.
		if (type == G_DBUS_MESSAGE_TYPE_ERROR || !body_is("(u)"))
			return;
		GVariant* value = child(0);
		uint32 id = gio->variant_get_uint32(value);
		gio->variant_unref(value);
		const char* sender = gio->message_get_sender(message);
		shown.service = sender != nullptr ? sender : "";
		if (!shown.messageID.empty()) {
			if (ledger.replaces.size() >= kMaxReplaced
				&& ledger.replaces.count(shown.messageID) == 0)
				ledger.replaces.erase(ledger.replaces.begin());
			ledger.replaces[shown.messageID] = id;
		}
		if (!shown.target.IsValid())
			return;
		if (ledger.shown.size() >= kMaxShown)
			ledger.shown.erase(ledger.shown.begin());
		ledger.shown[id] = shown;
		return;
	}
	if (type != G_DBUS_MESSAGE_TYPE_SIGNAL)
		return;
	const char* interface = gio->message_get_interface(message);
	const char* path = gio->message_get_path(message);
	const char* member = gio->message_get_member(message);
	if (interface == nullptr || path == nullptr || member == nullptr
		|| strcmp(interface, kService) != 0 || strcmp(path, kPath) != 0)
		return;
	bool invoked = strcmp(member, "ActionInvoked") == 0 && body_is("(us)");
	bool closed = strcmp(member, "NotificationClosed") == 0
		&& body_is("(uu)");
	if (!invoked && !closed)
		return;
	GVariant* value = child(0);
	uint32 id = gio->variant_get_uint32(value);
	gio->variant_unref(value);
	std::string action;
	if (invoked) {
		value = child(1);
		action = gio->variant_get_string(value, nullptr);
		gio->variant_unref(value);
	}

	std::lock_guard<std::mutex> lock(ledger.lock);
	auto shown = ledger.shown.find(id);
	const char* sender = gio->message_get_sender(message);
	if (shown == ledger.shown.end() || sender == nullptr
		|| shown->second.service != sender)
		return;
	if (closed) {
		ledger.shown.erase(shown);
		return;
	}
	BMessage chosen(B_NOTIFICATION_ACTION_INVOKED);
	chosen.AddString(B_NOTIFICATION_ACTION, action.c_str());
	chosen.AddString(B_NOTIFICATION_MESSAGE_ID,
		shown->second.messageID.c_str());
	// Never long: this is GDBus's own thread.
	shown->second.target.SendMessage(&chosen, nullptr, 100000);
}

}	// namespace BPrivate
