#include "Prefs.h"

#include <Directory.h>
#include <Entry.h>
#include <FindDirectory.h>
#include <Path.h>
#include <RDXDefs.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char* const kDirectoryName = "RDX";
const char* const kFileName = "RDX_settings";
const char* const kDefaultLogoPath = "/boot/home/logoimage";
const uint32 kOpenMode = B_READ_WRITE | B_CREATE_FILE;
// GetStr never takes more of a stored text than this.
const size_t kTextReadLength = 256;


// Copies a text into a buffer of the given size, cut to fit, always
// terminated.
void
copy_text(char* buffer, const char* text, size_t size)
{
	size_t length = strnlen(text, size - 1);
	memmove(buffer, text, length);
	buffer[length] = '\0';
}


// The settings file's path; null when the platform names no settings
// directory at all.
BPath
settings_file_path()
{
	BPath path;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path, false) == B_OK) {
		path.Append(kDirectoryName);
		path.Append(kFileName);
	}
	return path;
}


const char*
printable(const BPath& path)
{
	return path.Path() != nullptr ? path.Path() : "";
}


// The settings file, for reading and writing. One that can only be read (a
// read-only file system or file) still holds what was saved: it is opened
// for reading, and every change then fails with its own line.
std::unique_ptr<BFile>
open_settings(const BPath& path)
{
	auto file = std::make_unique<BFile>(path.Path(), kOpenMode);
	if (file->InitCheck() == B_OK)
		return file;
	auto readOnly = std::make_unique<BFile>(path.Path(), B_READ_ONLY);
	if (readOnly->InitCheck() != B_OK)
		return file;
	printf("[read only: changes to the settings are not saved]\n");
	return readOnly;
}

}	// namespace


Prefs::Prefs()
	:
	windowRect(WIN_X, WIN_Y, WIN_X + WIN_W, WIN_Y + WIN_H),
	windowByBegin(true),
	rdxUse(true),
	// The texts and relay settings have no value of their own before the
	// first load; should that load stop before them, the rebuild saves these
	// defaults rather than garbage.
	tagsUseDoor(1),
	openInSecs(1),
	prefsError(false)
{
	copy_text(logoPath, kDefaultLogoPath, sizeof(logoPath));
	copy_text(rdxIp, RDX_DEFAULT_IP, sizeof(rdxIp));

	BPath path = settings_file_path();
	InitCheck();
	settingsFile = open_settings(path);
	LoadPrefs();

	if (prefsError) {
		// Rebuild once: the fields loaded so far and the defaults above go
		// back into a freshly checked file.
		settingsFile->Unset();
		settingsFile.reset();
		InitCheck();
		settingsFile = open_settings(path);
		Save();
		LoadPrefs();
	}
	printf("Prefs '%s' \n", printable(path));
}


bool
Prefs::StoredAddress(std::string* address)
{
	BPath path = settings_file_path();
	if (path.Path() == nullptr)
		return false;
	BFile file(path.Path(), B_READ_ONLY);
	if (file.InitCheck() != B_OK)
		return false;
	char stored[kTextReadLength];
	ssize_t status = file.ReadAttr("rdx_ip", B_STRING_TYPE, 0, stored,
		sizeof(stored));
	if (status <= 0)
		return false;
	// Read as the record reads it when it loads: up to the terminator, cut
	// to the address field's room.
	size_t length = strnlen(stored, (size_t)status);
	if (length > kIpLength - 1)
		length = kIpLength - 1;
	address->assign(stored, length);
	return !address->empty();
}


Prefs::~Prefs()
{
	if (settingsFile != nullptr)
		settingsFile->Unset();
}


void
Prefs::InitCheck()
{
	BPath path;
	// When the settings directory cannot be made, the lines below still
	// name the place, and every step after this one fails there.
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path, true) != B_OK)
		find_directory(B_USER_SETTINGS_DIRECTORY, &path, false);
	path.Append(kDirectoryName);

	BDirectory directory;
	if (directory.SetTo(path.Path()) != B_OK && path.Path() != nullptr) {
		mkdir(path.Path(), 0755);
		// The file must be looked up and created in the new directory.
		directory.SetTo(path.Path());
	}

	path.Append(kFileName);
	printf("[Path:%s]\n", printable(path));

	BEntry entry;
	std::unique_ptr<BFile> file;
	if (directory.FindEntry(kFileName, &entry, false) != B_OK) {
		printf("[File not found]\n");
		file = std::make_unique<BFile>(path.Path(), kOpenMode);
		if (directory.CreateFile(kFileName, file.get(), false) == B_OK)
			printf("[File created]\n");
	} else {
		file = std::make_unique<BFile>(path.Path(), kOpenMode);
		if (file->InitCheck() != B_OK)
			printf("[init error]\n");
		else {
			printf("[File found]\n");
			file->Write("Hello !\n", 8);
		}
	}
	file->Unset();
}


bool
Prefs::LoadPrefs()
{
	BRect defaultRect(100, 100, 415, 329);
	bool defaultByBegin = false;
	bool defaultUse = true;
	int32 defaultRelay = 1;
	int32 defaultSeconds = 1;

	// Every key is read, also after one has failed: the keys are
	// independent, and stopping would leave the ones after it (the board
	// address among them) at built-in defaults, which the rebuild would then
	// save over what the operator had stored.
	bool ok = GetRect("prefs_window_rect", &windowRect, &defaultRect);
	if (!ok && settingsFile->InitCheck() != B_OK) {
		// Nothing can be read from a file that did not open: one line says
		// so, as for the first key.
		prefsError = true;
		return false;
	}
	ok = GetBool("window_by_begin", &windowByBegin, &defaultByBegin) && ok;
	copy_text(logoPath, kDefaultLogoPath, sizeof(logoPath));
	ok = GetStr("logo_vant", logoPath, logoPath, sizeof(logoPath)) && ok;
	copy_text(rdxIp, RDX_DEFAULT_IP, sizeof(rdxIp));
	ok = GetStr("rdx_ip", rdxIp, rdxIp, sizeof(rdxIp)) && ok;
	ok = GetBool("rdx_use", &rdxUse, &defaultUse) && ok;
	ok = GetInt("TagsUseDoor", &tagsUseDoor, &defaultRelay) && ok;
	ok = GetInt("OpenInSecs", &openInSecs, &defaultSeconds) && ok;
	if (!ok)
		prefsError = true;
	return ok;
}


bool
Prefs::Save()
{
	bool ok = PutRect("prefs_window_rect", &windowRect)
		&& PutBool("window_by_begin", &windowByBegin)
		&& PutStr("logo_vant", logoPath)
		&& PutBool("rdx_use", &rdxUse)
		&& PutStr("rdx_ip", rdxIp)
		&& PutInt("TagsUseDoor", &tagsUseDoor)
		&& PutInt("OpenInSecs", &openInSecs);
	if (ok)
		printf("Prefs -Save ok\n");
	return ok;
}


bool
Prefs::SaveWin()
{
	return PutRect("prefs_window_rect", &windowRect);
}


// #pragma mark - typed attributes


bool
Prefs::GetInt(const char* name, int32* value, int32* defaultValue)
{
	return _GetValue(name, B_INT32_TYPE, value, defaultValue, sizeof(int32));
}


bool
Prefs::GetBool(const char* name, bool* value, bool* defaultValue)
{
	// The stored byte is read as a byte: any value but 0 (a hand edit,
	// another writer, a damaged file) is true. Copied into a bool as it is,
	// a byte such as 2 would be neither true nor false.
	// The byte starts as the value held, so that a read of no bytes keeps
	// it, and a missing flag takes the default also when writing the default
	// back fails; a failed read leaves the byte, and so the value, as it was.
	uint8 stored = *value ? 1 : 0;
	uint8 storedDefault = *defaultValue ? 1 : 0;
	bool ok = _GetValue(name, B_BOOL_TYPE, &stored, &storedDefault, 1);
	*value = stored != 0;
	return ok;
}


bool
Prefs::GetRect(const char* name, BRect* value, BRect* defaultValue)
{
	static_assert(sizeof(BRect) == 16, "a stored frame is four floats");
	return _GetValue(name, B_RECT_TYPE, value, defaultValue, sizeof(BRect));
}


bool
Prefs::GetStr(const char* name, char* value, const char* defaultValue,
	size_t valueSize)
{
	if (valueSize == 0)
		return false;

	// Read into a buffer of our own, so that a stored text longer than the
	// caller's buffer can never run past it.
	char stored[kTextReadLength];
	ssize_t status = settingsFile != nullptr
		? settingsFile->ReadAttr(name, B_STRING_TYPE, 0, stored, sizeof(stored))
		: (ssize_t)B_NO_INIT;

	if (status == B_ENTRY_NOT_FOUND) {
		if (value != defaultValue)
			copy_text(value, defaultValue, valueSize);
		ssize_t written = settingsFile->WriteAttr(name, B_STRING_TYPE, 0,
			defaultValue, strlen(defaultValue));
		if (written >= 0)
			return true;
		printf("WriteAttr on %s died\n", name);
		prefsError = true;
		return false;
	}
	if (status >= 0) {
		// The text is what was stored, up to its terminator if it has one.
		size_t length = strnlen(stored, (size_t)status);
		if (length > valueSize - 1)
			length = valueSize - 1;
		memcpy(value, stored, length);
		value[length] = '\0';
		return true;
	}
	printf("Unknown error reading %s:\n%s\n", name, strerror(status));
	prefsError = true;
	return false;
}


bool
Prefs::PutInt(const char* name, int32* value)
{
	return _PutValue(name, B_INT32_TYPE, value, sizeof(int32));
}


bool
Prefs::PutBool(const char* name, bool* value)
{
	return _PutValue(name, B_BOOL_TYPE, value, sizeof(bool));
}


bool
Prefs::PutRect(const char* name, BRect* value)
{
	return _PutValue(name, B_RECT_TYPE, value, sizeof(BRect));
}


bool
Prefs::PutStr(const char* name, const char* value)
{
	ssize_t written = settingsFile != nullptr
		? settingsFile->WriteAttr(name, B_STRING_TYPE, 0, value,
			strlen(value) + 1)
		: (ssize_t)B_NO_INIT;
	if (written >= 0)
		return true;
	printf("Unknown error writing %s '%s' \n%s\n", name, value,
		strerror(written));
	prefsError = true;
	return false;
}


bool
Prefs::_GetValue(const char* name, type_code type, void* value,
	const void* defaultValue, size_t size)
{
	ssize_t status = settingsFile != nullptr
		? settingsFile->ReadAttr(name, type, 0, value, size)
		: (ssize_t)B_NO_INIT;

	if (status == B_ENTRY_NOT_FOUND) {
		// The value holds the default even when writing it back fails.
		memcpy(value, defaultValue, size);
		if (settingsFile->WriteAttr(name, type, 0, defaultValue, size) >= 0)
			return true;
		printf("WriteAttr on %s died\n", name);
		prefsError = true;
		return false;
	}
	if (status >= 0)
		return true;
	printf("Unknown error reading %s:\n%s\n", name, strerror(status));
	prefsError = true;
	return false;
}


bool
Prefs::_PutValue(const char* name, type_code type, const void* value,
	size_t size)
{
	ssize_t written = settingsFile != nullptr
		? settingsFile->WriteAttr(name, type, 0, value, size)
		: (ssize_t)B_NO_INIT;
	if (written >= 0)
		return true;
	printf("Unknown error writing %s:\n%s\n", name, strerror(written));
	prefsError = true;
	return false;
}
