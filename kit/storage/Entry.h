#ifndef _ENTRY_H
#define _ENTRY_H

#include <StorageDefs.h>

#include <string>
#include <sys/stat.h>

class BDirectory;
class BPath;

// A reference to a directory entry: the directory's device and inode and the
// entry's name. The directory's path is kept with it, because Linux offers no
// way back from an inode to a path for an ordinary user.
struct entry_ref {
							entry_ref();
							entry_ref(dev_t device, ino_t directory,
								const char* name);
							entry_ref(const entry_ref& other);
							~entry_ref();

			entry_ref&		operator=(const entry_ref& other);
			bool			operator==(const entry_ref& other) const;
			bool			operator!=(const entry_ref& other) const
								{ return !(*this == other); }

			status_t		set_name(const char* name);

			dev_t			device;
			ino_t			directory;
			char*			name;

private:
	friend class BEntry;
	friend class BPath;

			std::string		fDirectoryPath;
};

// An entry in a directory, which may not exist yet (an "abstract" entry) as
// long as its directory does.
class BEntry {
public:
							BEntry();
							BEntry(const char* path, bool traverse = false);
							BEntry(const BDirectory* directory,
								const char* path, bool traverse = false);
							BEntry(const entry_ref* ref, bool traverse = false);
							BEntry(const BEntry& other) = default;
							~BEntry();

			BEntry&			operator=(const BEntry& other) = default;

			status_t		InitCheck() const;
			status_t		SetTo(const char* path, bool traverse = false);
			status_t		SetTo(const BDirectory* directory,
								const char* path, bool traverse = false);
			status_t		SetTo(const entry_ref* ref, bool traverse = false);
			void			Unset();

			bool			Exists() const;
			bool			IsFile() const;
			bool			IsDirectory() const;
			bool			IsSymLink() const;

			status_t		GetRef(entry_ref* ref) const;
			status_t		GetPath(BPath* path) const;
			status_t		GetName(char* buffer) const;

private:
			std::string		fPath;
			status_t		fStatus;
};

#endif
