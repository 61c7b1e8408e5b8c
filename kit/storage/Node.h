#ifndef _NODE_H
#define _NODE_H

#include <StorageDefs.h>

#include <string>

class BEntry;
struct entry_ref;

// A file system node (a file, directory or link target) held open, with its
// typed attributes. Attributes are the node's Linux user extended
// attributes: attribute NAME is "user.NAME", and its value is the 4-byte type
// code, most significant byte first, followed by the attribute's bytes. On a
// file system that refuses user attributes the same values are kept in a
// store beside the node.
class BNode {
public:
							BNode();
							BNode(const char* path);
							BNode(const entry_ref* ref);
							BNode(const BEntry* entry);
	virtual					~BNode();

							BNode(const BNode&) = delete;
			BNode&			operator=(const BNode&) = delete;

			// B_OK when the node is open; otherwise why it is not.
			status_t		InitCheck() const;

			status_t		SetTo(const char* path);
			status_t		SetTo(const entry_ref* ref);
			status_t		SetTo(const BEntry* entry);
			void			Unset();

			// Reads from position pos of the attribute at most length bytes;
			// the type is not compared with the stored one. Returns the count
			// of bytes copied, B_ENTRY_NOT_FOUND when the node has no such
			// attribute, or another negative code.
			ssize_t			ReadAttr(const char* name, type_code type,
								off_t pos, void* buffer, size_t length);
			// Writes the bytes at position pos, giving the attribute the type.
			// The value then ends after the bytes written: at position 0 this
			// replaces the whole value. Returns the count written or a
			// negative code.
			ssize_t			WriteAttr(const char* name, type_code type,
								off_t pos, const void* buffer, size_t length);
			status_t		RemoveAttr(const char* name);

protected:
			// Opens path with the C library's flags (relative to dirFd when
			// that is not -1) and keeps the descriptor; displayPath is the
			// absolute path the node is known by.
			status_t		_Open(int dirFd, const char* path,
								const std::string& displayPath, int flags);

			int				fFd;
			status_t		fStatus;
			std::string		fPath;
};

#endif
