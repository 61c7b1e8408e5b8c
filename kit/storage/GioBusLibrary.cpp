#include "GioBusLibrary.h"

#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace BPrivate {

namespace {

GioBusLibrary sLibrary;
const GioBusLibrary* sLoaded = nullptr;
std::once_flag sLoadOnce;


template<typename Function>
bool
resolve(void* handle, const char* name, Function* function)
{
	*function = reinterpret_cast<Function>(dlsym(handle, name));
	return *function != nullptr;
}


void
load()
{
	// Never unloaded: GDBus keeps a worker thread of its own.
	void* handle = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
	if (handle == nullptr) {
		fprintf(stderr, "rdx-kit: cannot load GIO for desktop "
			"notifications: %s\n", dlerror());
		return;
	}
	GioBusLibrary& l = sLibrary;
	bool all = resolve(handle, "g_dbus_connection_new_for_address_sync",
			&l.connection_new_for_address_sync)
		&& resolve(handle, "g_dbus_connection_set_exit_on_close",
			&l.connection_set_exit_on_close)
		&& resolve(handle, "g_dbus_connection_is_closed",
			&l.connection_is_closed)
		&& resolve(handle, "g_dbus_connection_add_filter",
			&l.connection_add_filter)
		&& resolve(handle, "g_dbus_connection_send_message",
			&l.connection_send_message)
		&& resolve(handle, "g_dbus_message_new_method_call",
			&l.message_new_method_call)
		&& resolve(handle, "g_dbus_message_set_body", &l.message_set_body)
		&& resolve(handle, "g_dbus_message_get_message_type",
			&l.message_get_message_type)
		&& resolve(handle, "g_dbus_message_get_reply_serial",
			&l.message_get_reply_serial)
		&& resolve(handle, "g_dbus_message_get_body", &l.message_get_body)
		&& resolve(handle, "g_dbus_message_get_member",
			&l.message_get_member)
		&& resolve(handle, "g_dbus_message_get_interface",
			&l.message_get_interface)
		&& resolve(handle, "g_dbus_message_get_path", &l.message_get_path)
		&& resolve(handle, "g_dbus_message_get_sender",
			&l.message_get_sender)
		&& resolve(handle, "g_variant_new", &l.variant_new)
		&& resolve(handle, "g_variant_new_strv", &l.variant_new_strv)
		&& resolve(handle, "g_variant_new_array", &l.variant_new_array)
		&& resolve(handle, "g_variant_new_dict_entry",
			&l.variant_new_dict_entry)
		&& resolve(handle, "g_variant_new_string", &l.variant_new_string)
		&& resolve(handle, "g_variant_new_variant", &l.variant_new_variant)
		&& resolve(handle, "g_variant_new_byte", &l.variant_new_byte)
		&& resolve(handle, "g_variant_get_type_string",
			&l.variant_get_type_string)
		&& resolve(handle, "g_variant_get_child_value",
			&l.variant_get_child_value)
		&& resolve(handle, "g_variant_get_uint32", &l.variant_get_uint32)
		&& resolve(handle, "g_variant_get_string", &l.variant_get_string)
		&& resolve(handle, "g_variant_unref", &l.variant_unref)
		&& resolve(handle, "g_cancellable_new", &l.cancellable_new)
		&& resolve(handle, "g_cancellable_cancel", &l.cancellable_cancel)
		&& resolve(handle, "g_object_unref", &l.object_unref)
		&& resolve(handle, "g_error_free", &l.error_free);
	if (!all) {
		fprintf(stderr, "rdx-kit: the GIO library lacks a call that desktop "
			"notifications need\n");
		return;
	}
	sLoaded = &sLibrary;
}

}	// namespace


const GioBusLibrary*
GioBusLibrary::Get()
{
	std::call_once(sLoadOnce, load);
	return sLoaded;
}

}	// namespace BPrivate
