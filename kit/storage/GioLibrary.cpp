#include "GioLibrary.h"

#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace BPrivate {

namespace {

GioLibrary sLibrary;
const GioLibrary* sLoaded = nullptr;
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
	// Never unloaded: GLib keeps threads and type registrations of its own.
	void* handle = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
	if (handle == nullptr) {
		fprintf(stderr, "rdx-kit: cannot load GIO for the web browser "
			"lookup: %s\n", dlerror());
		return;
	}
	// GDesktopAppInfo is a GAppInfo; its constructor is declared here with
	// the interface type so that no GObject cast is needed.
	if (!resolve(handle, "g_app_info_get_default_for_type",
			&sLibrary.app_info_get_default_for_type)
		|| !resolve(handle, "g_app_info_get_id", &sLibrary.app_info_get_id)
		|| !resolve(handle, "g_app_info_get_executable",
			&sLibrary.app_info_get_executable)
		|| !resolve(handle, "g_desktop_app_info_new",
			&sLibrary.desktop_app_info_new)
		|| !resolve(handle, "g_object_unref", &sLibrary.object_unref)) {
		fprintf(stderr, "rdx-kit: the GIO library lacks a call the web "
			"browser lookup needs\n");
		return;
	}
	sLoaded = &sLibrary;
}

}	// namespace


const GioLibrary*
GioLibrary::Get()
{
	std::call_once(sLoadOnce, load);
	return sLoaded;
}

}	// namespace BPrivate
