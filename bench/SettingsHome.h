#ifndef BENCH_SETTINGS_HOME_H
#define BENCH_SETTINGS_HOME_H

#include <SupportDefs.h>

#include <map>
#include <string>

// A home of rdx's own for one benchmark: HOME, XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR (mode 0700) in a fresh directory below $TMPDIR, with the
// settings file seeded before rdx starts, so that rdx never reaches for its
// factory-default board. Removed with everything in it when the object goes.
class SettingsHome {
public:
							SettingsHome();
							~SettingsHome();

							SettingsHome(const SettingsHome&) = delete;
			SettingsHome&	operator=(const SettingsHome&) = delete;

			bool			IsValid() const { return fValid; }
			const std::string& Path() const { return fPath; }
			std::string		SettingsFile() const;
			std::string		RuntimeDirectory() const;

			// Stored as rdx stores them: user.NAME holds the type code, most
			// significant byte first, then the value; texts end in NUL.
			bool			SetText(const char* name, const std::string& text);
			bool			SetBool(const char* name, bool value);
			bool			SetInt32(const char* name, int32 value);

			// The variables rdx is started with.
			std::map<std::string, std::string> Environment() const;

private:
			bool			_Set(const char* name, const char* type,
								const std::string& bytes);

			std::string		fPath;
			bool			fValid = false;
};

#endif
