#ifndef _MIME_TYPE_H
#define _MIME_TYPE_H

#include <Mime.h>

#include <string>

struct entry_ref;

// A file type of the desktop's type database, or an application signature.
// The database is the freedesktop one, read through GIO: the preferred
// application of a type is the desktop's default application for it
// (mimeapps.list in the XDG configuration and data directories), and an
// application's signature is its desktop file id, such as "firefox.desktop".
class BMimeType {
public:
							BMimeType();
							BMimeType(const char* type);
							~BMimeType();

							BMimeType(const BMimeType&) = delete;
			BMimeType&		operator=(const BMimeType&) = delete;

			status_t		InitCheck() const;
			status_t		SetTo(const char* type);
			void			Unset();
			const char*		Type() const;

			// Copies the signature of the application preferred for the verb
			// into signature, which holds B_MIME_TYPE_LENGTH bytes.
			// B_ENTRY_NOT_FOUND when the desktop names none.
			status_t		GetPreferredApp(char* signature,
								app_verb verb = B_OPEN) const;
			// For an application signature: where the application's program
			// is, as an absolute path (a bare program name is looked up in
			// $PATH). Fails when the program cannot be found.
			status_t		GetAppHint(entry_ref* ref) const;

	static	bool			IsValid(const char* type);

private:
			std::string		fType;
			status_t		fStatus;
};

#endif
