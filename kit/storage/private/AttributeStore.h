#ifndef _ATTRIBUTE_STORE_H
#define _ATTRIBUTE_STORE_H

#include <SupportDefs.h>

#include <map>
#include <string>

namespace BPrivate {

// Where a file system refuses user extended attributes, a node's attributes
// live in a hidden store beside it: ".NAME.attributes" next to the node NAME.
// Each value is kept exactly as it would be in the extended attribute (type
// code most significant byte first, then the bytes).
//
// The store is replaced as a whole at every change: written to a temporary
// file, synced and renamed over the old one, so that a crash leaves either
// the old or the new store. Writers of one node are serialised with an
// exclusive flock() on the node itself.
//
// Layout: "RDXATTR1", the entry count (4 bytes), then per entry the name
// length and the value length (4 bytes each) and the name and value bytes,
// and at the end a CRC-32 of everything before it. Counts are little-endian.
class AttributeStore {
public:
	typedef std::map<std::string, std::string> ValueMap;

	static const size_t kMaxValueSize = 1024 * 1024;
	static const size_t kMaxStoreSize = 16 * 1024 * 1024;

							AttributeStore(const std::string& nodePath);

			const std::string& Path() const { return fPath; }
			std::string		TemporaryPath() const;

			// Reads the store. A missing store is empty. A damaged store
			// reads as empty too, is reported on standard error, and marks
			// the object so that the next Commit() keeps the damaged file
			// aside instead of replacing it.
			status_t		Load();
			bool			WasDamaged() const { return fDamaged; }

			// Reads a value; B_ENTRY_NOT_FOUND when there is none.
			status_t		Get(const std::string& name,
								std::string* value) const;
			void			Set(const std::string& name,
								const std::string& value);
			bool			Remove(const std::string& name);
			const ValueMap&	Values() const { return fValues; }

			// Writes the values as the new store, atomically.
			status_t		Commit();

	// The parts of the format, for the tests that build damaged stores.
	static	std::string		Encode(const ValueMap& values);
	static	status_t		Decode(const std::string& data, ValueMap* values,
								std::string* problem);

private:
			status_t		_KeepDamagedStore();

			std::string		fPath;
			ValueMap		fValues;
			bool			fDamaged;
};

// Test switch: with true, every node keeps its attributes in the store beside
// it, as on a file system without user extended attributes.
void ForceAttributeFallback(bool force);
bool AttributeFallbackForced();

}	// namespace BPrivate

#endif
