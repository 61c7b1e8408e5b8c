#include <Message.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

BMessage
sample_message()
{
	BMessage message('rx_s');
	message.AddInt32("relais", 3);
	message.AddString("_rImage", "-xxox---");
	message.AddInt32("r_open", 3);
	message.AddBool("st", true);
	message.AddString("_rImage", "second value");
	message.AddInt32("negative", -7);
	message.AddBool("st", false);
	return message;
}

}	// namespace


TEST(MessageFields, SeveralValuesPerNameKeepTheirOrderAndType)
{
	BMessage message = sample_message();
	const char* text = nullptr;
	ASSERT_EQ(message.FindString("_rImage", &text), B_OK);
	EXPECT_STREQ(text, "-xxox---");
	ASSERT_EQ(message.FindString("_rImage", 1, &text), B_OK);
	EXPECT_STREQ(text, "second value");
	EXPECT_EQ(message.FindString("_rImage", 2, &text), B_BAD_INDEX);

	bool flag = false;
	ASSERT_EQ(message.FindBool("st", 1, &flag), B_OK);
	EXPECT_FALSE(flag);

	// A name holds one type only; asking for another type fails and leaves
	// the caller's default alone.
	int32 value = 42;
	EXPECT_EQ(message.FindInt32("_rImage", &value), B_BAD_TYPE);
	EXPECT_EQ(value, 42);
	EXPECT_EQ(message.AddInt32("_rImage", 1), B_BAD_TYPE);
	EXPECT_EQ(message.FindInt32("missing", &value), B_NAME_NOT_FOUND);
	EXPECT_EQ(value, 42);

	EXPECT_TRUE(message.HasString("_rImage"));
	EXPECT_FALSE(message.HasString("relais"));
	EXPECT_FALSE(message.HasString("_rImage", 2));
	EXPECT_EQ(message.CountNames(), 5);
	EXPECT_EQ(message.CountNames(B_INT32_TYPE), 3);
}


TEST(MessageFields, CopiesAreIndependent)
{
	BMessage original('RFID');
	original.AddString("_tagstr", "04A1B2C3");
	BMessage copy(original);
	copy.AddString("_tagstr", "another");
	copy.what = 'rx_c';
	EXPECT_EQ(original.what, (uint32)'RFID');
	const char* text;
	EXPECT_EQ(original.FindString("_tagstr", 1, &text), B_BAD_INDEX);
	EXPECT_EQ(copy.FindString("_tagstr", 1, &text), B_OK);
}


TEST(MessageFields, RejectsUnusableNamesAndValues)
{
	BMessage message;
	EXPECT_NE(message.AddString(nullptr, "x"), B_OK);
	EXPECT_NE(message.AddString("", "x"), B_OK);
	EXPECT_NE(message.AddString("name", nullptr), B_OK);
	EXPECT_NE(message.AddInt32(std::string(300, 'n').c_str(), 1), B_OK);
	EXPECT_TRUE(message.IsEmpty());
}


TEST(MessageFlatten, RoundTripKeepsEverything)
{
	BMessage message = sample_message();
	std::string flat = message.Flatten();
	EXPECT_EQ((ssize_t)flat.size(), message.FlattenedSize());

	BMessage copy;
	ASSERT_EQ(copy.Unflatten(flat.data(), flat.size()), B_OK);
	EXPECT_EQ(copy.what, (uint32)'rx_s');
	EXPECT_EQ(copy.Flatten(), flat);

	int32 value;
	ASSERT_EQ(copy.FindInt32("negative", &value), B_OK);
	EXPECT_EQ(value, -7);
	const char* text;
	ASSERT_EQ(copy.FindString("_rImage", 1, &text), B_OK);
	EXPECT_STREQ(text, "second value");

	std::vector<char> buffer(flat.size());
	EXPECT_NE(message.Flatten(buffer.data(), (ssize_t)flat.size() - 1), B_OK);
	ASSERT_EQ(message.Flatten(buffer.data(), (ssize_t)flat.size()), B_OK);
	EXPECT_EQ(memcmp(buffer.data(), flat.data(), flat.size()), 0);
}


TEST(MessageFlatten, EveryTruncationIsRejected)
{
	std::string flat = sample_message().Flatten();
	for (size_t length = 0; length < flat.size(); length++) {
		BMessage message('keep');
		message.AddInt32("old", 1);
		EXPECT_EQ(message.Unflatten(flat.data(), length), B_BAD_DATA)
			<< "length " << length;
		// A rejected buffer leaves nothing half-read behind.
		EXPECT_TRUE(message.IsEmpty());
	}
	std::string longer = flat + "x";
	BMessage message;
	EXPECT_EQ(message.Unflatten(longer.data(), longer.size()), B_BAD_DATA);
}


TEST(MessageFlatten, MalformedFieldsAreRejected)
{
	std::string flat = sample_message().Flatten();
	auto rejects = [](std::string bytes) {
		BMessage message;
		return message.Unflatten(bytes.data(), bytes.size()) == B_BAD_DATA;
	};

	std::string badMagic = flat;
	badMagic[0] = 'X';
	EXPECT_TRUE(rejects(badMagic));

	std::string badVersion = flat;
	badVersion[4] = 2;
	EXPECT_TRUE(rejects(badVersion));

	// The first field's type code follows magic, version, code and count.
	std::string badType = flat;
	badType[13] = 'Z';
	EXPECT_TRUE(rejects(badType));

	// A field count far larger than the data.
	std::string hugeCount = flat;
	hugeCount[9] = hugeCount[10] = hugeCount[11] = hugeCount[12] = (char)0xff;
	EXPECT_TRUE(rejects(hugeCount));

	// A bool byte other than 0 or 1.
	BMessage withBool;
	withBool.AddBool("b", true);
	std::string boolFlat = withBool.Flatten();
	boolFlat.back() = 7;
	EXPECT_TRUE(rejects(boolFlat));

	// A string with a NUL inside could not be read back as a C string.
	BMessage withString;
	withString.AddString("s", "abc");
	std::string stringFlat = withString.Flatten();
	stringFlat[stringFlat.size() - 2] = '\0';
	EXPECT_TRUE(rejects(stringFlat));

	// A message larger than the cap is refused before it is read.
	std::string oversized(BMessage::kMaxFlattenedSize + 1, 'x');
	EXPECT_TRUE(rejects(oversized));
	EXPECT_TRUE(rejects(std::string()));
}


TEST(MessageFlatten, RandomBytesNeverCrash)
{
	std::mt19937 random(1234);
	std::string flat = sample_message().Flatten();
	for (int round = 0; round < 20000; round++) {
		std::string bytes = flat;
		int changes = 1 + (int)(random() % 4);
		for (int i = 0; i < changes; i++)
			bytes[random() % bytes.size()] = (char)(random() & 0xff);
		if (random() % 3 == 0)
			bytes.resize(random() % bytes.size());
		BMessage message;
		if (message.Unflatten(bytes.data(), bytes.size()) == B_OK) {
			// Whatever was accepted flattens back to the same bytes.
			EXPECT_EQ(message.Flatten(), bytes);
		}
	}
}
