// Feeds arbitrary bytes to the reader of the attribute store that stands in
// for extended attributes on file systems without them. The store ends in a
// checksum, which random bytes almost never match, so for inputs whose first
// byte is odd the fuzzer's bytes get a correct checksum appended and reach
// the entries themselves.
//
// A rejected store must say why and give no values at all, not the entries
// before the damage; an accepted one must hold only entries the writer could
// have written, and write back to a store that reads the same.

#include "FuzzCheck.h"

#include <AttributeStore.h>

#include <cstdint>
#include <string>

using BPrivate::AttributeStore;

namespace {

// CRC-32 as in zlib and PNG, written out here so that the fuzzer does not
// take the store's own code to check the store.
uint32
checksum(const std::string& data)
{
	uint32 crc = 0xFFFFFFFFu;
	for (unsigned char byte : data) {
		crc ^= byte;
		for (int bit = 0; bit < 8; bit++)
			crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
	}
	return crc ^ 0xFFFFFFFFu;
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	std::string store(reinterpret_cast<const char*>(data + 1), size - 1);
	if ((data[0] & 1) != 0) {
		uint32 crc = checksum(store);
		for (int shift = 0; shift < 32; shift += 8)
			store += (char)(crc >> shift);
	}

	// Something in it already, to see that a store replaces it.
	AttributeStore::ValueMap values;
	values["left over"] = "from before";
	std::string problem;
	status_t status = AttributeStore::Decode(store, &values, &problem);
	if (status != B_OK) {
		FUZZ_CHECK(status == B_BAD_DATA);
		FUZZ_CHECK(!problem.empty());
		FUZZ_CHECK(values.empty());
		return 0;
	}

	size_t total = 0;
	for (const auto& [name, value] : values) {
		FUZZ_CHECK(!name.empty());
		FUZZ_CHECK(value.size() <= AttributeStore::kMaxValueSize);
		total += name.size() + value.size();
	}
	FUZZ_CHECK(total <= store.size());

	std::string written = AttributeStore::Encode(values);
	FUZZ_CHECK(written.size() <= store.size());
	AttributeStore::ValueMap again;
	FUZZ_CHECK(AttributeStore::Decode(written, &again, &problem) == B_OK);
	FUZZ_CHECK(again == values);
	return 0;
}
