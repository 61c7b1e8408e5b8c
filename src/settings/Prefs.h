#ifndef PREFS_H
#define PREFS_H

#include <File.h>
#include <Rect.h>
#include <SupportDefs.h>

#include <memory>
#include <string>

// The settings record: every setting as a public field, kept as a typed
// attribute of the file "RDX/RDX_settings" in the user's settings directory.
// A setting missing from the file gets its default, which is written back at
// once. The record has no lock; its owner keeps it to one thread at a time.
class Prefs {
public:
	// Buffer sizes of the two texts, terminating NUL included.
	static const size_t kLogoPathLength = 256;
	static const size_t kIpLength = 64;

							Prefs();
							~Prefs();

	// The board address the settings file holds, read without making,
	// printing or writing anything (as the record of open relays needs it
	// before the window builds the settings record). False when there is no
	// file, or no address in it.
	static	bool			StoredAddress(std::string* address);

							Prefs(const Prefs&) = delete;
			Prefs&			operator=(const Prefs&) = delete;

			// Makes sure the settings directory and file exist, saying what
			// it finds on standard output.
			void			InitCheck();
			// All seven settings from the file, stopping at the first failure.
			bool			LoadPrefs();
			// All seven settings into the file, stopping at the first failure.
			bool			Save();
			// The window frame alone.
			bool			SaveWin();

			// A missing attribute takes the default, which is also written.
			// Failures are printed and set prefsError.
			bool			GetInt(const char* name, int32* value,
								int32* defaultValue);
			bool			GetBool(const char* name, bool* value,
								bool* defaultValue);
			bool			GetRect(const char* name, BRect* value,
								BRect* defaultValue);
			// The text is cut to valueSize - 1 characters and always
			// terminated; value may be the default itself.
			bool			GetStr(const char* name, char* value,
								const char* defaultValue,
								size_t valueSize = kLogoPathLength);
			bool			PutInt(const char* name, int32* value);
			bool			PutBool(const char* name, bool* value);
			bool			PutRect(const char* name, BRect* value);
			bool			PutStr(const char* name, const char* value);

			BRect			windowRect;
			bool			windowByBegin;
			char			logoPath[kLogoPathLength];
			bool			rdxUse;
			char			rdxIp[kIpLength];
			int32			tagsUseDoor;
			int32			openInSecs;
			bool			prefsError;
			std::unique_ptr<BFile> settingsFile;

private:
			bool			_GetValue(const char* name, type_code type,
								void* value, const void* defaultValue,
								size_t size);
			bool			_PutValue(const char* name, type_code type,
								const void* value, size_t size);
};

#endif
