#include "StorageTestSupport.h"
#include "Watchdog.h"

#include "ChildProcess.h"

#include <AttributeStore.h>
#include <Node.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using BPrivate::AttributeStore;

namespace {

class AttributeStoreTest : public StorageTest {
protected:
	void SetUp() override
	{
		StorageTest::SetUp();
		BPrivate::ForceAttributeFallback(true);
		fFile = MakeFile("settings");
		fStore = fTemp->Sub(".settings.attributes");
	}

	void TearDown() override
	{
		BPrivate::ForceAttributeFallback(false);
		StorageTest::TearDown();
	}

	void Write(const char* name, int32 value)
	{
		BNode node(fFile.c_str());
		ASSERT_EQ(node.WriteAttr(name, B_INT32_TYPE, 0, &value, 4), 4) << name;
	}

	// The value, or the negative code of the read.
	int64 Read(const char* name)
	{
		BNode node(fFile.c_str());
		int32 value = 0;
		ssize_t status = node.ReadAttr(name, B_INT32_TYPE, 0, &value, 4);
		return status < 0 ? status : value;
	}

	std::string fFile;
	std::string fStore;
};


// Runs the function with standard error going to a string.
std::string
captured_errors(const std::function<void()>& function)
{
	char path[] = "/tmp/rdx-storage-err-XXXXXX";
	int fd = mkstemp(path);
	fflush(stderr);
	int saved = dup(STDERR_FILENO);
	dup2(fd, STDERR_FILENO);
	close(fd);
	function();
	fflush(stderr);
	dup2(saved, STDERR_FILENO);
	close(saved);
	std::string text = read_file(path);
	unlink(path);
	return text;
}


// The store's trailing checksum (CRC-32) of the bytes, as the store keeps it.
std::string
checksum_bytes(const std::string& data)
{
	uint32 crc = 0xFFFFFFFFu;
	for (unsigned char c : data) {
		crc ^= c;
		for (int bit = 0; bit < 8; bit++)
			crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
	}
	crc ^= 0xFFFFFFFFu;
	std::string bytes;
	for (int shift = 0; shift < 32; shift += 8)
		bytes += (char)(crc >> shift);
	return bytes;
}


void
truncate_file(const std::string& path, off_t size)
{
	ASSERT_EQ(truncate(path.c_str(), size), 0);
}

}	// namespace


TEST_F(AttributeStoreTest, StoreIsAHiddenFileBesideTheNode)
{
	Write("TagsUseDoor", 2);
	struct stat storeStat;
	ASSERT_EQ(stat(fStore.c_str(), &storeStat), 0);
	EXPECT_EQ(storeStat.st_mode & 0777, 0600u);
	EXPECT_EQ(listxattr(fFile.c_str(), nullptr, 0), 0);
	EXPECT_NE(access((fStore + ".tmp").c_str(), F_OK), 0);
	EXPECT_EQ(Read("TagsUseDoor"), 2);
	EXPECT_EQ(read_file(fFile), "");

	AttributeStore::ValueMap values;
	std::string problem;
	ASSERT_EQ(AttributeStore::Decode(read_file(fStore), &values, &problem), B_OK)
		<< problem;
	ASSERT_EQ(values.size(), 1u);
	EXPECT_EQ(values["TagsUseDoor"], std::string("LONG\2\0\0\0", 8));
}


TEST_F(AttributeStoreTest, LeftoverTemporaryFromAnInterruptedWrite)
{
	Write("OpenInSecs", 5);
	std::string complete = read_file(fStore);
	// A writer that died after writing half of its new store.
	{
		FILE* temporary = fopen((fStore + ".tmp").c_str(), "w");
		ASSERT_NE(temporary, nullptr);
		fwrite(complete.data(), 1, complete.size() / 2, temporary);
		fclose(temporary);
	}
	EXPECT_EQ(Read("OpenInSecs"), 5);

	Write("TagsUseDoor", 3);
	EXPECT_EQ(Read("OpenInSecs"), 5);
	EXPECT_EQ(Read("TagsUseDoor"), 3);
	EXPECT_NE(access((fStore + ".tmp").c_str(), F_OK), 0);
}


TEST_F(AttributeStoreTest, TruncatedStoreReadsAsEmptyAndIsKeptAside)
{
	Write("a", 1);
	Write("b", 2);
	std::string before = read_file(fStore);
	truncate_file(fStore, (off_t)before.size() - 6);
	std::string damaged = read_file(fStore);

	int64 value = 0;
	std::string errors = captured_errors([&] { value = Read("a"); });
	EXPECT_EQ(value, B_ENTRY_NOT_FOUND);
	EXPECT_NE(errors.find("is damaged"), std::string::npos) << errors;
	EXPECT_NE(errors.find(fStore), std::string::npos) << errors;
	// Reading changes nothing on disk.
	EXPECT_EQ(read_file(fStore), damaged);

	errors = captured_errors([&] { Write("c", 3); });
	EXPECT_NE(errors.find(fStore + ".damaged"), std::string::npos) << errors;
	EXPECT_EQ(read_file(fStore + ".damaged"), damaged);
	EXPECT_EQ(Read("c"), 3);
	EXPECT_EQ(Read("a"), B_ENTRY_NOT_FOUND);

	// A second damage does not overwrite the first copy.
	truncate_file(fStore, 3);
	captured_errors([&] { Write("d", 4); });
	EXPECT_EQ(read_file(fStore + ".damaged"), damaged);
	EXPECT_EQ(read_file(fStore + ".damaged.1").size(), 3u);
	EXPECT_EQ(Read("d"), 4);
}


TEST_F(AttributeStoreTest, ChangedByteIsDetected)
{
	Write("value", 0x01020304);
	std::string data = read_file(fStore);
	size_t at = data.find(std::string("\4\3\2\1", 4));
	ASSERT_NE(at, std::string::npos);
	data[at] = '\5';
	{
		FILE* file = fopen(fStore.c_str(), "w");
		fwrite(data.data(), 1, data.size(), file);
		fclose(file);
	}
	int64 value = 0;
	std::string errors = captured_errors([&] { value = Read("value"); });
	EXPECT_EQ(value, B_ENTRY_NOT_FOUND);
	EXPECT_NE(errors.find("checksum"), std::string::npos) << errors;
}


TEST_F(AttributeStoreTest, DecoderSurvivesAnyBytes)
{
	AttributeStore::ValueMap values;
	values["prefs_window_rect"] = std::string("RECT") + std::string(16, '\7');
	values["rdx_ip"] = "CSTR127.0.0.1";
	values["x"] = "";
	std::string valid = AttributeStore::Encode(values);

	AttributeStore::ValueMap decoded;
	std::string problem;
	ASSERT_EQ(AttributeStore::Decode(valid, &decoded, &problem), B_OK);
	EXPECT_EQ(decoded, values);
	ASSERT_EQ(checksum_bytes(valid.substr(0, valid.size() - 4)),
		valid.substr(valid.size() - 4));

	std::mt19937 random(1234);
	int accepted = 0;
	for (int round = 0; round < 5000; round++) {
		std::string data = valid.substr(0, valid.size() - 4);
		int changes = 1 + (int)(random() % 4);
		for (int i = 0; i < changes; i++) {
			switch (random() % 3) {
				case 0:
					if (!data.empty())
						data[random() % data.size()] = (char)random();
					break;
				case 1:
					data.resize(random() % (data.size() + 1));
					break;
				case 2:
					data.insert(random() % (data.size() + 1), 1, (char)random());
					break;
			}
		}
		// Half the time with a correct checksum, so that the checks of the
		// entries themselves are reached.
		std::string candidate = data;
		if (round % 2 == 0)
			candidate += checksum_bytes(data);
		AttributeStore::ValueMap result;
		std::string why;
		if (AttributeStore::Decode(candidate, &result, &why) == B_OK) {
			accepted++;
			// Whatever is accepted is a store that encodes and decodes to
			// the same values.
			AttributeStore::ValueMap again;
			EXPECT_EQ(AttributeStore::Decode(AttributeStore::Encode(result),
				&again, &why), B_OK);
			EXPECT_EQ(again, result);
		} else {
			EXPECT_FALSE(why.empty());
			EXPECT_TRUE(result.empty());
		}
	}
	EXPECT_LT(accepted, 5000);
}


TEST_F(AttributeStoreTest, StoreThatIsNotAFileGivesAnError)
{
	ASSERT_EQ(mkdir(fStore.c_str(), 0700), 0);
	BNode node(fFile.c_str());
	int32 value = 1;
	ssize_t status = node.ReadAttr("a", B_INT32_TYPE, 0, &value, 4);
	EXPECT_EQ(status, (ssize_t)B_FROM_POSIX_ERROR(EISDIR));
	EXPECT_STREQ(strerror(status), "Is a directory");
	EXPECT_LT(node.WriteAttr("a", B_INT32_TYPE, 0, &value, 4), 0);
	struct stat storeStat;
	ASSERT_EQ(stat(fStore.c_str(), &storeStat), 0);
	EXPECT_TRUE(S_ISDIR(storeStat.st_mode));
}


TEST_F(AttributeStoreTest, KilledWriterLeavesTheOldOrTheNewStore)
{
	Watchdog watchdog(90);
	Write("counter", 0);
	std::mt19937 random(99);
	for (int round = 0; round < 12; round++) {
		pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0) {
			BNode node(fFile.c_str());
			std::string filler(200000, (char)('a' + round));
			for (int32 i = 1;; i++) {
				node.WriteAttr("filler", B_STRING_TYPE, 0, filler.data(),
					filler.size());
				node.WriteAttr("counter", B_INT32_TYPE, 0, &i, 4);
			}
		}
		usleep(2000 + random() % 30000);
		kill(child, SIGKILL);
		int status;
		waitpid(child, &status, 0);

		BPrivate::AttributeStore store(fFile);
		std::string errors = captured_errors([&] {
			ASSERT_EQ(store.Load(), B_OK);
		});
		EXPECT_FALSE(store.WasDamaged()) << "round " << round << ": " << errors;
		std::string counter;
		ASSERT_EQ(store.Get("counter", &counter), B_OK);
		EXPECT_EQ(counter.size(), 8u);
	}
}
