#ifndef _DIRECTORY_H
#define _DIRECTORY_H

#include <Node.h>

class BEntry;
class BFile;

// A directory held open, in which entries are looked up and files created
// relative to the directory itself.
class BDirectory : public BNode {
public:
							BDirectory();
							BDirectory(const char* path);
							BDirectory(const entry_ref* ref);
	virtual					~BDirectory();

			status_t		SetTo(const char* path);
			status_t		SetTo(const entry_ref* ref);
			void			Unset();

			// B_ENTRY_NOT_FOUND when the directory has no such entry.
			status_t		FindEntry(const char* path, BEntry* entry,
								bool traverse = false) const;
			bool			Contains(const char* path) const;

			// Creates (or, without failIfExists, opens and empties) the file
			// and leaves it open for reading and writing in file, if given.
			status_t		CreateFile(const char* path, BFile* file,
								bool failIfExists = false);
			status_t		CreateDirectory(const char* path,
								BDirectory* directory);

private:
	friend class BFile;
	friend class BEntry;

			int				Fd() const { return fFd; }
			// The directory's absolute path, empty while none is open.
			const std::string& PathName() const { return fPath; }
};

#endif
