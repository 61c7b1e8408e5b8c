#ifndef _GIO_BUS_LIBRARY_H
#define _GIO_BUS_LIBRARY_H

#include <gio/gio.h>

namespace BPrivate {

// The GDBus calls that desktop notifications need, from GIO loaded when
// the first notification is sent (as GioLibrary does for the browser
// lookup): a program that never notifies never pays for GIO.
struct GioBusLibrary {
	GDBusConnection* (*connection_new_for_address_sync)(const gchar* address,
						GDBusConnectionFlags flags,
						GDBusAuthObserver* observer,
						GCancellable* cancellable, GError** error);
	void			(*connection_set_exit_on_close)(
						GDBusConnection* connection, gboolean exitOnClose);
	gboolean		(*connection_is_closed)(GDBusConnection* connection);
	guint			(*connection_add_filter)(GDBusConnection* connection,
						GDBusMessageFilterFunction function,
						gpointer data, GDestroyNotify freeData);
	gboolean		(*connection_send_message)(GDBusConnection* connection,
						GDBusMessage* message, GDBusSendMessageFlags flags,
						volatile guint32* serial, GError** error);
	GDBusMessage*	(*message_new_method_call)(const gchar* name,
						const gchar* path, const gchar* interface,
						const gchar* method);
	void			(*message_set_body)(GDBusMessage* message,
						GVariant* body);
	GDBusMessageType (*message_get_message_type)(GDBusMessage* message);
	guint32			(*message_get_reply_serial)(GDBusMessage* message);
	GVariant*		(*message_get_body)(GDBusMessage* message);
	const gchar*	(*message_get_member)(GDBusMessage* message);
	const gchar*	(*message_get_interface)(GDBusMessage* message);
	const gchar*	(*message_get_path)(GDBusMessage* message);
	const gchar*	(*message_get_sender)(GDBusMessage* message);
	GVariant*		(*variant_new)(const gchar* format, ...);
	GVariant*		(*variant_new_strv)(const gchar* const* strings,
						gssize length);
	GVariant*		(*variant_new_array)(const GVariantType* childType,
						GVariant* const* children, gsize count);
	GVariant*		(*variant_new_dict_entry)(GVariant* key,
						GVariant* value);
	GVariant*		(*variant_new_string)(const gchar* string);
	GVariant*		(*variant_new_variant)(GVariant* value);
	GVariant*		(*variant_new_byte)(guint8 value);
	const gchar*	(*variant_get_type_string)(GVariant* value);
	GVariant*		(*variant_get_child_value)(GVariant* value,
						gsize index);
	guint32			(*variant_get_uint32)(GVariant* value);
	const gchar*	(*variant_get_string)(GVariant* value, gsize* length);
	void			(*variant_unref)(GVariant* value);
	GCancellable*	(*cancellable_new)();
	void			(*cancellable_cancel)(GCancellable* cancellable);
	void			(*object_unref)(gpointer object);
	void			(*error_free)(GError* error);

	// The loaded library, or null when it cannot be loaded (said once on
	// stderr: a desktop without GIO shows no notifications).
	static const GioBusLibrary* Get();
};

}	// namespace BPrivate

#endif
