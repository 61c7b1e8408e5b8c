#include "StorageTestSupport.h"
#include "Watchdog.h"

#include <AttributeStore.h>
#include <File.h>
#include <Node.h>

#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <vector>

namespace {

// Stores a value as another program would: setfattr(1) for the extended
// attribute, the store's own format for the fallback.
void
store_from_outside(bool fallback, const std::string& path,
	const std::string& name, const std::string& value)
{
	if (fallback) {
		BPrivate::AttributeStore store(path);
		ASSERT_EQ(store.Load(), B_OK);
		store.Set(name, value);
		ASSERT_EQ(store.Commit(), B_OK);
		return;
	}
	std::string hex;
	char digits[3];
	for (unsigned char c : value) {
		snprintf(digits, sizeof(digits), "%02x", c);
		hex += digits;
	}
	std::string command = "setfattr -n 'user." + name + "' -v 0x" + hex
		+ " '" + path + "'";
	ASSERT_EQ(system(command.c_str()), 0) << command;
}

}	// namespace


TEST_P(AttributeTest, StoredValueIsTheTypeCodeThenTheBytes)
{
	std::string path = MakeFile("node");
	BNode node(path.c_str());
	ASSERT_EQ(node.InitCheck(), B_OK);

	int32 one = 1;
	EXPECT_EQ(node.WriteAttr("TagsUseDoor", B_INT32_TYPE, 0, &one, 4), 4);
	EXPECT_EQ(Raw(path, "TagsUseDoor"), std::string("LONG\1\0\0\0", 8));
	EXPECT_EQ(node.WriteAttr("rdx_ip", B_STRING_TYPE, 0, "abc", 3), 3);
	EXPECT_EQ(Raw(path, "rdx_ip"), std::string("CSTRabc"));
	EXPECT_EQ(node.WriteAttr("empty", B_STRING_TYPE, 0, "", 0), 0);
	EXPECT_EQ(Raw(path, "empty"), std::string("CSTR"));

	if (!Fallback()) {
		// What a user sees with the system's own tool.
		std::string dump = command_output("getfattr -d -m - -e hex '" + path
			+ "' 2>/dev/null");
		EXPECT_NE(dump.find("user.TagsUseDoor=0x4c4f4e4701000000"),
			std::string::npos) << dump;
		EXPECT_NE(dump.find("user.rdx_ip=0x43535452616263"), std::string::npos)
			<< dump;
	} else {
		// The fallback leaves the file system's attributes alone.
		EXPECT_EQ(listxattr(path.c_str(), nullptr, 0), 0);
	}
}


TEST_P(AttributeTest, MissingAttributeIsEntryNotFound)
{
	std::string path = MakeFile("node");
	BNode node(path.c_str());
	char buffer[8];
	EXPECT_EQ(node.ReadAttr("nothing", B_INT32_TYPE, 0, buffer, sizeof(buffer)),
		(ssize_t)B_ENTRY_NOT_FOUND);
	EXPECT_EQ(node.RemoveAttr("nothing"), B_ENTRY_NOT_FOUND);

	int32 value = 3;
	ASSERT_EQ(node.WriteAttr("Key", B_INT32_TYPE, 0, &value, 4), 4);
	// Names are case-sensitive.
	EXPECT_EQ(node.ReadAttr("key", B_INT32_TYPE, 0, buffer, 4),
		(ssize_t)B_ENTRY_NOT_FOUND);
	EXPECT_EQ(node.RemoveAttr("Key"), B_OK);
	EXPECT_EQ(node.ReadAttr("Key", B_INT32_TYPE, 0, buffer, 4),
		(ssize_t)B_ENTRY_NOT_FOUND);
	EXPECT_FALSE(Raw(path, "Key").has_value());
}


TEST_P(AttributeTest, ReadsGiveTheFirstBytesWhateverTheType)
{
	std::string path = MakeFile("node");
	BNode node(path.c_str());
	const char bytes[] = "0123456789abcdef";
	ASSERT_EQ(node.WriteAttr("frame", B_RECT_TYPE, 0, bytes, 16), 16);

	char buffer[32];
	memset(buffer, 'x', sizeof(buffer));
	EXPECT_EQ(node.ReadAttr("frame", B_RECT_TYPE, 0, buffer, 4), 4);
	EXPECT_EQ(std::string(buffer, 6), "0123xx");
	EXPECT_EQ(node.ReadAttr("frame", B_STRING_TYPE, 0, buffer, sizeof(buffer)), 16);
	EXPECT_EQ(std::string(buffer, 16), "0123456789abcdef");
	EXPECT_EQ(node.ReadAttr("frame", B_RECT_TYPE, 12, buffer, 10), 4);
	EXPECT_EQ(std::string(buffer, 4), "cdef");
	EXPECT_EQ(node.ReadAttr("frame", B_RECT_TYPE, 16, buffer, 10), 0);
	EXPECT_EQ(node.ReadAttr("frame", B_RECT_TYPE, -1, buffer, 10),
		(ssize_t)B_BAD_VALUE);
}


TEST_P(AttributeTest, WriteReplacesTypeAndLength)
{
	std::string path = MakeFile("node");
	BNode node(path.c_str());
	ASSERT_EQ(node.WriteAttr("value", B_RECT_TYPE, 0, "0123456789abcdef", 16), 16);
	ASSERT_EQ(node.WriteAttr("value", B_BOOL_TYPE, 0, "\1", 1), 1);
	EXPECT_EQ(Raw(path, "value"), std::string("BOOL\1"));

	// A write further in keeps what is before it and ends the value.
	ASSERT_EQ(node.WriteAttr("value", B_STRING_TYPE, 3, "xy", 2), 2);
	EXPECT_EQ(Raw(path, "value"), std::string("CSTR\1\0\0xy", 9));

	std::string big(3000, 'b');
	ASSERT_EQ(node.WriteAttr("big", B_STRING_TYPE, 0, big.data(), big.size()),
		(ssize_t)big.size());
	std::string back(4000, '\0');
	EXPECT_EQ(node.ReadAttr("big", B_STRING_TYPE, 0, back.data(), back.size()),
		(ssize_t)big.size());
	EXPECT_EQ(back.substr(0, big.size()), big);
}


TEST_P(AttributeTest, ValuesStoredByOtherProgramsAreRead)
{
	std::string path = MakeFile("node");
	store_from_outside(Fallback(), path, "OpenInSecs",
		std::string("LONG\7\0\0\0", 8));
	store_from_outside(Fallback(), path, "broken", "AB");

	BNode node(path.c_str());
	int32 value = 0;
	EXPECT_EQ(node.ReadAttr("OpenInSecs", B_INT32_TYPE, 0, &value, 4), 4);
	EXPECT_EQ(value, 7);
	// Too short to hold a type code: not a value of ours.
	char buffer[4];
	ssize_t status = node.ReadAttr("broken", B_INT32_TYPE, 0, buffer, 4);
	EXPECT_EQ(status, (ssize_t)B_BAD_DATA);
	EXPECT_STREQ(strerror(status), "Bad data");
}


TEST_P(AttributeTest, NodeThatDidNotOpenReturnsItsError)
{
	BNode missing(fTemp->Sub("no/such/node").c_str());
	EXPECT_EQ(missing.InitCheck(), B_FROM_POSIX_ERROR(ENOENT));
	char buffer[4] = {};
	ssize_t status = missing.ReadAttr("a", B_INT32_TYPE, 0, buffer, 4);
	EXPECT_EQ(status, (ssize_t)B_FROM_POSIX_ERROR(ENOENT));
	// Not the code of a missing attribute, which callers answer by writing.
	EXPECT_NE(status, (ssize_t)B_ENTRY_NOT_FOUND);
	EXPECT_STREQ(strerror(status), "No such file or directory");
	EXPECT_EQ(missing.WriteAttr("a", B_INT32_TYPE, 0, buffer, 4),
		(ssize_t)B_FROM_POSIX_ERROR(ENOENT));

	BNode unset;
	EXPECT_EQ(unset.ReadAttr("a", B_INT32_TYPE, 0, buffer, 4), (ssize_t)B_NO_INIT);

	BFile directory(fTemp->Path().c_str(), B_READ_WRITE | B_CREATE_FILE);
	status = directory.WriteAttr("a", B_INT32_TYPE, 0, buffer, 4);
	EXPECT_EQ(status, (ssize_t)B_FROM_POSIX_ERROR(EISDIR));
	EXPECT_STREQ(strerror(status), "Is a directory");
	EXPECT_EQ(Raw(fTemp->Path(), "a"), std::nullopt);
}


TEST_P(AttributeTest, DirectoriesCarryAttributesToo)
{
	std::string path = fTemp->Sub("folder");
	ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
	BNode node(path.c_str());
	ASSERT_EQ(node.InitCheck(), B_OK);
	ASSERT_EQ(node.WriteAttr("kind", B_STRING_TYPE, 0, "dir", 4), 4);
	EXPECT_EQ(Raw(path, "kind"), std::string("CSTRdir\0", 8));
}


TEST_P(AttributeTest, WritersOfOneFileDoNotLoseEachOthersValues)
{
	Watchdog watchdog(60);
	std::string path = MakeFile("shared");
	const int kWriters = 4;
	const int kRounds = 60;
	std::vector<std::thread> writers;
	for (int writer = 0; writer < kWriters; writer++) {
		writers.emplace_back([&path, writer] {
			// Each writer opens the file itself, as another process would.
			BNode node(path.c_str());
			std::string name = "writer" + std::to_string(writer);
			for (int32 round = 1; round <= kRounds; round++)
				node.WriteAttr(name.c_str(), B_INT32_TYPE, 0, &round, 4);
		});
	}
	for (std::thread& writer : writers)
		writer.join();

	BNode node(path.c_str());
	for (int writer = 0; writer < kWriters; writer++) {
		std::string name = "writer" + std::to_string(writer);
		int32 value = 0;
		EXPECT_EQ(node.ReadAttr(name.c_str(), B_INT32_TYPE, 0, &value, 4), 4)
			<< name;
		EXPECT_EQ(value, kRounds) << name;
	}
}


INSTANTIATE_TEST_SUITE_P(Store, AttributeTest, ::testing::Values(false, true),
	attribute_param_name);
