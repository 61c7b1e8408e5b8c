#ifndef _FILE_H
#define _FILE_H

#include <Node.h>

class BDirectory;

// A regular file held open with one of the open modes of StorageDefs.h.
// B_CREATE_FILE alone never truncates: only B_ERASE_FILE does.
class BFile : public BNode {
public:
							BFile();
							BFile(const char* path, uint32 openMode);
							BFile(const entry_ref* ref, uint32 openMode);
							BFile(const BEntry* entry, uint32 openMode);
							BFile(const BDirectory* directory,
								const char* path, uint32 openMode);
	virtual					~BFile();

			status_t		SetTo(const char* path, uint32 openMode);
			status_t		SetTo(const entry_ref* ref, uint32 openMode);
			status_t		SetTo(const BEntry* entry, uint32 openMode);
			status_t		SetTo(const BDirectory* directory,
								const char* path, uint32 openMode);
			void			Unset();

			bool			IsReadable() const;
			bool			IsWritable() const;

			// At the current position. A count, or a negative code.
			ssize_t			Read(void* buffer, size_t size);
			ssize_t			Write(const void* buffer, size_t size);
			ssize_t			ReadAt(off_t location, void* buffer, size_t size);
			ssize_t			WriteAt(off_t location, const void* buffer,
								size_t size);

			status_t		GetSize(off_t* size) const;

private:
			uint32			fMode;
};

#endif
