// A stand-in for the desktop's notification service, on the session bus
// that DBUS_SESSION_BUS_ADDRESS names (a test's own dbus-daemon):
//
//	notification-server RECORD [--invoke ACTION]
//
// It owns org.freedesktop.Notifications, answers every Notify with a new
// id and appends the call to RECORD as one JSON object per line. With
// --invoke, right after answering a Notify that offers ACTION, it says
// that the person chose it (the ActionInvoked signal), as a real service
// does on a click. Prints "ready" once it owns the name.

#include <gio/gio.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kInterface =
	"<node>"
	"  <interface name='org.freedesktop.Notifications'>"
	"    <method name='Notify'>"
	"      <arg type='s' direction='in'/><arg type='u' direction='in'/>"
	"      <arg type='s' direction='in'/><arg type='s' direction='in'/>"
	"      <arg type='s' direction='in'/><arg type='as' direction='in'/>"
	"      <arg type='a{sv}' direction='in'/><arg type='i' direction='in'/>"
	"      <arg type='u' direction='out'/>"
	"    </method>"
	"    <method name='GetCapabilities'>"
	"      <arg type='as' direction='out'/>"
	"    </method>"
	"    <signal name='ActionInvoked'>"
	"      <arg type='u'/><arg type='s'/>"
	"    </signal>"
	"  </interface>"
	"</node>";

std::string sRecord;
std::string sInvoke;
guint32 sNextId = 1;


void
call(GDBusConnection* connection, const gchar* sender, const gchar* path,
	const gchar* interface, const gchar* method, GVariant* parameters,
	GDBusMethodInvocation* invocation, gpointer data)
{
	if (strcmp(method, "GetCapabilities") == 0) {
		const gchar* capabilities[] = {"body", "actions", nullptr};
		g_dbus_method_invocation_return_value(invocation,
			g_variant_new("(^as)", capabilities));
		return;
	}
	const gchar* app;
	guint32 replaces;
	const gchar* icon;
	const gchar* summary;
	const gchar* body;
	GVariant* actions;
	GVariant* hints;
	gint32 timeout;
	g_variant_get(parameters, "(&su&s&s&s@as@a{sv}i)", &app, &replaces, &icon,
		&summary, &body, &actions, &hints, &timeout);
	guint32 id = replaces != 0 ? replaces : sNextId++;

	nlohmann::json record = {{"id", id}, {"app", app},
		{"replaces", replaces}, {"icon", icon}, {"summary", summary},
		{"body", body}, {"timeout", timeout}};
	nlohmann::json offered = nlohmann::json::array();
	bool invoke = false;
	gsize count = g_variant_n_children(actions);
	for (gsize i = 0; i < count; i++) {
		const gchar* text;
		g_variant_get_child(actions, i, "&s", &text);
		offered.push_back(text);
		invoke |= i % 2 == 0 && !sInvoke.empty() && sInvoke == text;
	}
	record["actions"] = offered;
	guchar urgency = 1;
	g_variant_lookup(hints, "urgency", "y", &urgency);
	record["urgency"] = urgency;
	g_variant_unref(actions);
	g_variant_unref(hints);

	FILE* file = fopen(sRecord.c_str(), "a");
	if (file != nullptr) {
		fprintf(file, "%s\n", record.dump().c_str());
		fclose(file);
	}
	g_dbus_method_invocation_return_value(invocation,
		g_variant_new("(u)", id));
	if (invoke) {
		g_dbus_connection_emit_signal(connection, nullptr,
			"/org/freedesktop/Notifications", "org.freedesktop.Notifications",
			"ActionInvoked", g_variant_new("(us)", id, sInvoke.c_str()),
			nullptr);
	}
}


void
acquired(GDBusConnection* connection, const gchar* name, gpointer data)
{
	printf("ready\n");
	fflush(stdout);
}


void
bus(GDBusConnection* connection, const gchar* name, gpointer data)
{
	static const GDBusInterfaceVTable vtable = {call, nullptr, nullptr, {}};
	GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
	g_dbus_connection_register_object(connection,
		"/org/freedesktop/Notifications", node->interfaces[0], &vtable,
		nullptr, nullptr, nullptr);
}


void
lost(GDBusConnection* connection, const gchar* name, gpointer data)
{
	fprintf(stderr, "notification-server: cannot own %s\n", name);
	exit(1);
}

}	// namespace


int
main(int argc, char** argv)
{
	if (argc != 2 && !(argc == 4 && strcmp(argv[2], "--invoke") == 0)) {
		fprintf(stderr, "usage: notification-server RECORD [--invoke ACTION]\n");
		return 2;
	}
	sRecord = argv[1];
	if (argc == 4)
		sInvoke = argv[3];
	g_bus_own_name(G_BUS_TYPE_SESSION, "org.freedesktop.Notifications",
		G_BUS_NAME_OWNER_FLAGS_NONE, bus, acquired, lost, nullptr, nullptr);
	GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
	g_main_loop_run(loop);
	return 0;
}
