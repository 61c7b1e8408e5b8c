// The command line of rdx-send, without sending anything.

#include "SendArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* kDefault = "application/x-vnd-Default";


struct Parsed {
	status_t status;
	SendArguments arguments{kDefault};
};


std::unique_ptr<Parsed>
parse(const std::vector<std::string>& arguments)
{
	auto parsed = std::make_unique<Parsed>();
	parsed->status = parsed->arguments.Parse(arguments);
	return parsed;
}

}	// namespace


TEST(SendArguments, CodeAndEveryFieldType)
{
	auto parsed = parse({"RFID", "_tagstr=04A1B2C3", "relay:int32=-3",
		"on:bool=true", "off:bool=false", "odd:name:string=a=b",
		"empty="});
	ASSERT_EQ(parsed->status, B_OK) << parsed->arguments.Error();
	const BMessage& message = parsed->arguments.Message();
	EXPECT_EQ(message.what, (uint32)'RFID');
	EXPECT_EQ(parsed->arguments.Signature(), kDefault);

	const char* text = nullptr;
	ASSERT_EQ(message.FindString("_tagstr", &text), B_OK);
	EXPECT_STREQ(text, "04A1B2C3");
	int32 number = 0;
	ASSERT_EQ(message.FindInt32("relay", &number), B_OK);
	EXPECT_EQ(number, -3);
	bool flag = false;
	ASSERT_EQ(message.FindBool("on", &flag), B_OK);
	EXPECT_TRUE(flag);
	ASSERT_EQ(message.FindBool("off", &flag), B_OK);
	EXPECT_FALSE(flag);
	// The name ends at the last ':' before the first '='; the value keeps
	// every further '='.
	ASSERT_EQ(message.FindString("odd:name", &text), B_OK);
	EXPECT_STREQ(text, "a=b");
	ASSERT_EQ(message.FindString("empty", &text), B_OK);
	EXPECT_STREQ(text, "");
}


TEST(SendArguments, RepeatedNameAddsValuesOfItsType)
{
	auto parsed = parse({"rx_s", "n:int32=1", "n:int32=2", "s=a", "s=b"});
	ASSERT_EQ(parsed->status, B_OK) << parsed->arguments.Error();
	int32 number = 0;
	EXPECT_EQ(parsed->arguments.Message().FindInt32("n", 1, &number), B_OK);
	EXPECT_EQ(number, 2);
	const char* text = nullptr;
	EXPECT_EQ(parsed->arguments.Message().FindString("s", 1, &text), B_OK);
	EXPECT_STREQ(text, "b");

	auto mixed = parse({"rx_s", "n:int32=1", "n=one"});
	EXPECT_EQ(mixed->status, B_BAD_VALUE);
	EXPECT_NE(mixed->arguments.Error().find("given again with another type"),
		std::string::npos);
	EXPECT_EQ(parse({"rx_s", "f:bool=true", "f:int32=1"})->status,
		B_BAD_VALUE);
}


TEST(SendArguments, Int32Range)
{
	struct Case {
		const char* value;
		bool valid;
		int32 expected;
	};
	const Case cases[] = {
		{"0", true, 0},
		{"2147483647", true, 2147483647},
		{"-2147483648", true, -2147483647 - 1},
		{"+7", true, 7},
		{"2147483648", false, 0},
		{"-2147483649", false, 0},
		{"99999999999999999999999", false, 0},
		{"", false, 0},
		{"12a", false, 0},
		{" 1", false, 0},
		{"0x10", false, 0},
		{"-", false, 0},
		{"1.5", false, 0},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.value);
		auto parsed = parse({"Code", std::string("n:int32=") + testCase.value});
		if (!testCase.valid) {
			EXPECT_EQ(parsed->status, B_BAD_VALUE);
			EXPECT_FALSE(parsed->arguments.Error().empty());
			continue;
		}
		ASSERT_EQ(parsed->status, B_OK);
		int32 number = 0;
		parsed->arguments.Message().FindInt32("n", &number);
		EXPECT_EQ(number, testCase.expected);
	}
}


TEST(SendArguments, MalformedArgumentsAreRefusedWithAReason)
{
	struct Case {
		std::vector<std::string> arguments;
		const char* reason;
	};
	const std::string longName(256, 'n');
	const Case cases[] = {
		{{}, "the message code is missing"},
		{{"RFI"}, "is not four characters"},
		{{"RFIDX"}, "is not four characters"},
		{{""}, "is not four characters"},
		{{"RF\x01" "D"}, "not four printable characters"},
		// Four bytes, but not four characters.
		{{"R\xc3\xa4" "D"}, "not four printable characters"},
		{{"RFID", "_tagstr"}, "has no '='"},
		{{"RFID", "=value"}, "has no name"},
		{{"RFID", ":int32=1"}, "has no name"},
		{{"RFID", "x:float=1.0"}, "unknown type \"float\""},
		{{"RFID", "x:bool=yes"}, "not true or false"},
		{{"RFID", "x:bool=TRUE"}, "not true or false"},
		{{"RFID", longName + "=x"}, "longer than 255 characters"},
		{{"--to"}, "--to needs a signature"},
		{{"--to=", "RFID"}, "the signature is empty"},
		{{"--verbose", "RFID"}, "unknown option"},
		{{"RFID", "big=" + std::string(70000, 'x')},
			"larger than 65536 bytes"},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.reason);
		auto parsed = parse(testCase.arguments);
		EXPECT_EQ(parsed->status, B_BAD_VALUE);
		EXPECT_NE(parsed->arguments.Error().find(testCase.reason),
			std::string::npos) << parsed->arguments.Error();
	}
}


TEST(SendArguments, SignatureAndHelp)
{
	auto parsed = parse({"--to", "application/x-other", "rx_c"});
	ASSERT_EQ(parsed->status, B_OK);
	EXPECT_EQ(parsed->arguments.Signature(), "application/x-other");
	EXPECT_EQ(parsed->arguments.Message().what, (uint32)'rx_c');

	parsed = parse({"--to=application/x-eq", "--", "-abc"});
	ASSERT_EQ(parsed->status, B_OK);
	EXPECT_EQ(parsed->arguments.Signature(), "application/x-eq");
	EXPECT_EQ(parsed->arguments.Message().what, (uint32)'-abc');

	// A field that looks like an option is still a field.
	parsed = parse({"RFID", "--to=x"});
	ASSERT_EQ(parsed->status, B_OK);
	EXPECT_EQ(parsed->arguments.Signature(), kDefault);
	EXPECT_TRUE(parsed->arguments.Message().HasString("--to"));

	EXPECT_TRUE(parse({"--help"})->arguments.WantsHelp());
	EXPECT_TRUE(parse({"--to", "x", "-h"})->arguments.WantsHelp());
	EXPECT_FALSE(parse({"RFID"})->arguments.WantsHelp());
}


TEST(SendArguments, WatchTakesCodesOnly)
{
	auto parsed = parse({"--to", "application/x-other", "--watch"});
	ASSERT_EQ(parsed->status, B_OK);
	EXPECT_TRUE(parsed->arguments.Watches());
	EXPECT_TRUE(parsed->arguments.WatchCodes().empty());
	EXPECT_EQ(parsed->arguments.Signature(), "application/x-other");

	parsed = parse({"--watch", "RFID", "rx_s"});
	ASSERT_EQ(parsed->status, B_OK);
	EXPECT_EQ(parsed->arguments.WatchCodes(),
		(std::vector<uint32>{'RFID', 'rx_s'}));

	// A field is no code: a watch sends nothing.
	parsed = parse({"--watch", "RFID", "_tagstr=1"});
	EXPECT_EQ(parsed->status, B_BAD_VALUE);
	EXPECT_NE(parsed->arguments.Error().find("not four characters"),
		std::string::npos);
	EXPECT_TRUE(parse({"--version"})->arguments.WantsVersion());
	EXPECT_FALSE(parse({"RFID"})->arguments.Watches());
}


// The desk's commands in words: one reading each, or a usage error.
TEST(SendArguments, KeepOpenAndLockdownInWords)
{
	struct Case {
		std::vector<std::string> arguments;
		uint32 code;
		// Seconds for a keep-open, 1 or 0 for lockdown; -1: refused.
		int32 value;
		const char* error;
	};
	const Case cases[] = {
		{{"--keep-open", "30m"}, 'rxKo', 1800, ""},
		{{"--keep-open", "1h30m"}, 'rxKo', 5400, ""},
		{{"--keep-open", "90 s"}, 'rxKo', 90, ""},
		{{"--keep-open", "12h"}, 'rxKo', 43200, ""},
		{{"--keep-open", "0"}, 'rxKo', 0, ""},
		{{"--end-keep-open"}, 'rxKo', 0, ""},
		{{"--to", "x/y", "--lockdown", "on"}, 'rxLd', 1, ""},
		{{"--lockdown", "off"}, 'rxLd', 0, ""},
		{{"--keep-open", "30"}, 0, -1, "could be seconds or minutes"},
		{{"--keep-open", "12h1s"}, 0, -1, "longer than 12 hours"},
		{{"--keep-open", "30m2h"}, 0, -1, "out of order or twice"},
		{{"--keep-open", "1h1h"}, 0, -1, "out of order or twice"},
		{{"--keep-open", "5d"}, 0, -1, "unknown unit \"d\""},
		{{"--keep-open", "-5m"}, 0, -1, "is no time"},
		{{"--keep-open"}, 0, -1, "needs a time"},
		{{"--lockdown", "On"}, 0, -1, "takes on or off"},
		{{"--lockdown", "on", "--keep-open", "1h"}, 0, -1, "one command at"},
		{{"--lockdown", "on", "on=true"}, 0, -1, "takes no fields"},
		{{"--watch", "--lockdown", "on"}, 0, -1, "cannot go with a command"},
	};
	for (const Case& testCase : cases) {
		std::string shown;
		for (const std::string& argument : testCase.arguments)
			shown += argument + " ";
		SCOPED_TRACE(shown);
		auto parsed = parse(testCase.arguments);
		if (testCase.value < 0) {
			EXPECT_EQ(parsed->status, B_BAD_VALUE);
			EXPECT_NE(parsed->arguments.Error().find(testCase.error),
				std::string::npos) << parsed->arguments.Error();
			continue;
		}
		ASSERT_EQ(parsed->status, B_OK) << parsed->arguments.Error();
		EXPECT_TRUE(parsed->arguments.IsDeskCommand());
		const BMessage& message = parsed->arguments.Message();
		EXPECT_EQ(message.what, testCase.code);
		int32 seconds = -1;
		bool on = false;
		if (testCase.code == 'rxKo') {
			ASSERT_EQ(message.FindInt32("seconds", &seconds), B_OK);
			EXPECT_EQ(seconds, testCase.value);
		} else {
			ASSERT_EQ(message.FindBool("on", &on), B_OK);
			EXPECT_EQ(on, testCase.value == 1);
		}
	}
}
