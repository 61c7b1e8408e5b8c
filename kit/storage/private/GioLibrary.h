#ifndef _GIO_LIBRARY_H
#define _GIO_LIBRARY_H

#include <gio/gio.h>

namespace BPrivate {

// The few GIO calls the browser lookup needs. GIO and what it pulls in
// (GObject, GLib, libmount, ...) take more memory than the rest of the
// program's libraries together, and only the page buttons need them, so they
// are loaded at the first lookup rather than at start-up.
struct GioLibrary {
	GAppInfo*		(*app_info_get_default_for_type)(const char* type,
						gboolean mustSupportUris);
	const char*		(*app_info_get_id)(GAppInfo* info);
	const char*		(*app_info_get_executable)(GAppInfo* info);
	GAppInfo*		(*desktop_app_info_new)(const char* desktopId);
	void			(*object_unref)(gpointer object);

	// The loaded library, or null (with one line on stderr, once) when it
	// cannot be loaded.
	static const GioLibrary* Get();
};

}	// namespace BPrivate

#endif
