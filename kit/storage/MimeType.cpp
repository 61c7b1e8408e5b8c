#include <MimeType.h>

#include <Entry.h>

#include "GioLibrary.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using BPrivate::GioLibrary;

// Owns one reference of a GObject.
template<typename Object>
class ObjectReference {
public:
	explicit ObjectReference(Object* object) : fObject(object) {}
	~ObjectReference()
	{
		if (fObject != nullptr)
			GioLibrary::Get()->object_unref(fObject);
	}
	ObjectReference(const ObjectReference&) = delete;
	ObjectReference& operator=(const ObjectReference&) = delete;

	Object* Get() const { return fObject; }

private:
	Object* fObject;
};


bool
is_executable_file(const std::string& path)
{
	struct stat fileStat;
	return stat(path.c_str(), &fileStat) == 0 && S_ISREG(fileStat.st_mode)
		&& access(path.c_str(), X_OK) == 0;
}


// The absolute path of a program as the shell would find it. Relative and
// empty entries of $PATH are skipped: they would make the answer depend on
// the working directory.
status_t
resolve_program(const char* program, std::string* path)
{
	if (program == nullptr || program[0] == '\0')
		return B_ENTRY_NOT_FOUND;
	if (program[0] == '/') {
		if (!is_executable_file(program))
			return B_ENTRY_NOT_FOUND;
		*path = program;
		return B_OK;
	}
	if (strchr(program, '/') != nullptr)
		return B_BAD_VALUE;

	const char* variable = getenv("PATH");
	std::string searchPath = variable != nullptr ? variable : "";
	size_t start = 0;
	while (start <= searchPath.size()) {
		size_t end = searchPath.find(':', start);
		if (end == std::string::npos)
			end = searchPath.size();
		std::string directory = searchPath.substr(start, end - start);
		start = end + 1;
		if (directory.empty() || directory[0] != '/')
			continue;
		std::string candidate = directory + "/" + program;
		if (is_executable_file(candidate)) {
			*path = candidate;
			return B_OK;
		}
	}
	return B_ENTRY_NOT_FOUND;
}

}	// namespace


BMimeType::BMimeType()
	:
	fStatus(B_NO_INIT)
{
}


BMimeType::BMimeType(const char* type)
	:
	fStatus(B_NO_INIT)
{
	SetTo(type);
}


BMimeType::~BMimeType()
{
}


status_t
BMimeType::InitCheck() const
{
	return fStatus;
}


status_t
BMimeType::SetTo(const char* type)
{
	Unset();
	if (!IsValid(type))
		return fStatus = B_BAD_VALUE;
	fType = type;
	return fStatus = B_OK;
}


void
BMimeType::Unset()
{
	fType.clear();
	fStatus = B_NO_INIT;
}


const char*
BMimeType::Type() const
{
	return fStatus == B_OK ? fType.c_str() : nullptr;
}


bool
BMimeType::IsValid(const char* type)
{
	if (type == nullptr || type[0] == '\0'
		|| strlen(type) >= B_MIME_TYPE_LENGTH) {
		return false;
	}
	// Type strings ("text/html") and desktop file ids ("org.x.Y.desktop")
	// both fit these characters; blanks, quotes and controls never occur.
	int slashes = 0;
	for (const char* c = type; *c != '\0'; c++) {
		if (*c == '/') {
			if (++slashes > 1 || c == type || c[1] == '\0')
				return false;
			continue;
		}
		if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z')
			|| (*c >= '0' && *c <= '9') || strchr("!#$&^_.+-", *c) != nullptr)
			continue;
		return false;
	}
	return true;
}


status_t
BMimeType::GetPreferredApp(char* signature, app_verb verb) const
{
	if (signature == nullptr || verb != B_OPEN)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	const GioLibrary* gio = GioLibrary::Get();
	if (gio == nullptr)
		return B_NOT_SUPPORTED;

	ObjectReference<GAppInfo> info(
		gio->app_info_get_default_for_type(fType.c_str(), FALSE));
	if (info.Get() == nullptr)
		return B_ENTRY_NOT_FOUND;
	// An application made up on the fly (no desktop file) has no id, and so
	// nothing by which it could be found again.
	const char* id = gio->app_info_get_id(info.Get());
	if (id == nullptr || id[0] == '\0')
		return B_ENTRY_NOT_FOUND;
	if (strlen(id) >= B_MIME_TYPE_LENGTH)
		return B_NAME_TOO_LONG;
	strcpy(signature, id);
	return B_OK;
}


status_t
BMimeType::GetAppHint(entry_ref* ref) const
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	const GioLibrary* gio = GioLibrary::Get();
	if (gio == nullptr)
		return B_NOT_SUPPORTED;

	ObjectReference<GAppInfo> info(gio->desktop_app_info_new(fType.c_str()));
	if (info.Get() == nullptr)
		return B_ENTRY_NOT_FOUND;

	std::string path;
	status_t status = resolve_program(
		gio->app_info_get_executable(info.Get()), &path);
	if (status != B_OK)
		return status;

	BEntry entry(path.c_str());
	status = entry.InitCheck();
	if (status != B_OK)
		return status;
	return entry.GetRef(ref);
}
