#ifndef _PATH_H
#define _PATH_H

#include <SupportDefs.h>

#include <string>

struct entry_ref;

// An absolute path. A relative path given to SetTo() is taken relative to
// the working directory at that moment. Appending is plain: the leaf is added
// after a '/', nothing is resolved.
class BPath {
public:
							BPath();
							BPath(const char* path, const char* leaf = nullptr,
								bool normalize = false);
							BPath(const entry_ref* ref);
							BPath(const BPath& other) = default;
							~BPath();

			BPath&			operator=(const BPath& other) = default;

			status_t		InitCheck() const;

			status_t		SetTo(const char* path, const char* leaf = nullptr,
								bool normalize = false);
			status_t		SetTo(const entry_ref* ref);
			void			Unset();

			status_t		Append(const char* path, bool normalize = false);

			// The path, or null while the object holds none.
			const char*		Path() const;
			// The last component, or null while the object holds none.
			const char*		Leaf() const;
			status_t		GetParent(BPath* parent) const;

			bool			operator==(const BPath& other) const;
			bool			operator!=(const BPath& other) const
								{ return !(*this == other); }

private:
			std::string		fPath;
			status_t		fStatus;
};

#endif
