// The real rdx-send program, posting to an application that runs in this
// test process.

#include <Application.h>
#include <ChildProcess.h>
#include <Message.h>
#include <OS.h>
#include <RDXDefs.h>
#include <TempDir.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

const std::string kRdxSend = RDX_BINARY_DIR "/tools/rdx-send/rdx-send";


class Recorder : public BApplication {
public:
	Recorder() : BApplication(RDX_SIGNATURE) {}

	void MessageReceived(BMessage* message) override
	{
		{
			std::lock_guard<std::mutex> guard(fLock);
			fMessages.push_back(*message);
		}
		fChanged.notify_all();
	}

	bool WaitForCount(size_t count, double seconds)
	{
		std::unique_lock<std::mutex> guard(fLock);
		return fChanged.wait_for(guard,
			std::chrono::milliseconds((long)(seconds * 1000)),
			[&] { return fMessages.size() >= count; });
	}

	std::vector<BMessage> Messages()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fMessages;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<BMessage> fMessages;
};


struct Result {
	int status = -1;
	std::string output;
	std::string errors;
};


class RdxSend : public ::testing::Test {
protected:
	void SetUp() override
	{
		fTemp = std::make_unique<TempDir>("rdx-send");
		fRuntime = fTemp->Sub("run");
		ASSERT_EQ(mkdir(fRuntime.c_str(), 0700), 0);
		setenv("XDG_RUNTIME_DIR", fRuntime.c_str(), 1);
	}

	void TearDown() override
	{
		StopApplication();
	}

	void StartApplication()
	{
		fApp = std::make_unique<Recorder>();
		fRunner = std::thread([this] { fApp->Run(); });
	}

	void StopApplication()
	{
		if (fApp == nullptr)
			return;
		fApp->PostMessage(B_QUIT_REQUESTED);
		fRunner.join();
		fApp.reset();
	}

	Result Send(const std::vector<std::string>& arguments)
	{
		std::vector<std::string> argv = {kRdxSend};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		ChildProcess::Options options;
		options.environment["XDG_RUNTIME_DIR"] = fRuntime;
		ChildProcess child(argv, options);
		Result result;
		EXPECT_TRUE(child.Wait(30, &result.status));
		result.output = child.Output();
		result.errors = child.Errors();
		return result;
	}

	std::unique_ptr<TempDir> fTemp;
	std::string fRuntime;
	std::unique_ptr<Recorder> fApp;
	std::thread fRunner;
};

}	// namespace


TEST_F(RdxSend, TagReadArrivesAsRFIDWithItsString)
{
	StartApplication();
	Result result = Send({"RFID", "_tagstr=04A1B2C3"});
	EXPECT_EQ(result.status, 0) << result.errors;
	EXPECT_EQ(result.errors, "");
	EXPECT_EQ(result.output, "");

	ASSERT_TRUE(fApp->WaitForCount(1, 10));
	BMessage message = fApp->Messages()[0];
	EXPECT_EQ(message.what, (uint32)RDX_MSG_TAG);
	const char* tag = nullptr;
	ASSERT_EQ(message.FindString(RDX_FIELD_TAG, &tag), B_OK);
	EXPECT_STREQ(tag, "04A1B2C3");
	// And until when the read counts: the tool's own wait of 10 s.
	const char* text = nullptr;
	bigtime_t deadline = 0;
	ASSERT_EQ(message.FindString(RDX_FIELD_DEADLINE, &text), B_OK);
	ASSERT_TRUE(ParseDeadline(text, &deadline)) << text;
	EXPECT_GT(deadline, system_time() + 8 * 1000000LL);
	EXPECT_LE(deadline, system_time() + 10 * 1000000LL);
	EXPECT_EQ(message.CountNames(), 2);
}


TEST_F(RdxSend, EveryFieldTypeRoundTrips)
{
	StartApplication();
	Result result = Send({"--to", RDX_SIGNATURE, "rx_s", "relais:int32=4",
		"low:int32=-2147483648", "high:int32=2147483647", "st:bool=true",
		"off:bool=false", "_rImage=-xoxx---", "word=Tür zu", "empty=",
		"many=1", "many=2"});
	ASSERT_EQ(result.status, 0) << result.errors;
	ASSERT_TRUE(fApp->WaitForCount(1, 10));

	BMessage expected('rx_s');
	expected.AddInt32("relais", 4);
	expected.AddInt32("low", -2147483647 - 1);
	expected.AddInt32("high", 2147483647);
	expected.AddBool("st", true);
	expected.AddBool("off", false);
	expected.AddString("_rImage", "-xoxx---");
	expected.AddString("word", "Tür zu");
	expected.AddString("empty", "");
	expected.AddString("many", "1");
	expected.AddString("many", "2");
	// Same code, same fields, same order, same values.
	EXPECT_EQ(fApp->Messages()[0].Flatten(), expected.Flatten());
}


TEST_F(RdxSend, NoApplicationIsExitOneWithALine)
{
	Result result = Send({"RFID", "_tagstr=1"});
	EXPECT_EQ(result.status, 1);
	EXPECT_EQ(result.errors, "rdx-send: no application with the signature "
		RDX_SIGNATURE " is running\n");

	// Also with one running under another signature, and after it quit.
	StartApplication();
	result = Send({"--to", "application/x-vnd-Nobody", "RFID"});
	EXPECT_EQ(result.status, 1);
	EXPECT_EQ(result.errors, "rdx-send: no application with the signature"
		" application/x-vnd-Nobody is running\n");
	StopApplication();
	result = Send({"RFID", "_tagstr=1"});
	EXPECT_EQ(result.status, 1);
	EXPECT_NE(result.errors.find("is running"), std::string::npos);
}


TEST_F(RdxSend, BadArgumentsAreExitTwoWithUsageAndSendNothing)
{
	StartApplication();
	struct Case {
		std::vector<std::string> arguments;
		const char* line;
	};
	const Case cases[] = {
		{{"RFI", "_tagstr=1"},
			"rdx-send: the code \"RFI\" is not four characters\n"},
		{{"RFID", "_tagstr"}, "rdx-send: the field \"_tagstr\" has no '='\n"},
		{{"RFID", "n:int32=2147483648"}, "rdx-send: the value of \"n\" is out"
			" of the int32 range: 2147483648\n"},
		{{"RFID", "n:int32=1", "n:bool=true"},
			"rdx-send: the field \"n\" is given again with another type\n"},
		{{}, "rdx-send: the message code is missing\n"},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.line);
		Result result = Send(testCase.arguments);
		EXPECT_EQ(result.status, 2);
		EXPECT_EQ(result.errors.rfind(testCase.line, 0), 0u) << result.errors;
		EXPECT_NE(result.errors.find("\nusage: rdx-send [--to SIGNATURE]"
			" CODE"), std::string::npos);
		EXPECT_EQ(result.output, "");
	}

	// The application heard nothing of them; a good message still comes.
	ASSERT_EQ(Send({"Good"}).status, 0);
	ASSERT_TRUE(fApp->WaitForCount(1, 10));
	EXPECT_EQ(fApp->Messages().size(), 1u);
	EXPECT_EQ(fApp->Messages()[0].what, (uint32)'Good');
}


TEST_F(RdxSend, HelpPrintsUsageAndSucceeds)
{
	Result result = Send({"--help"});
	EXPECT_EQ(result.status, 0);
	EXPECT_EQ(result.output.rfind("usage: rdx-send [--to SIGNATURE] CODE", 0),
		0u);
	EXPECT_NE(result.output.find("rdx-send RFID _tagstr=04A1B2C3"),
		std::string::npos);
	EXPECT_EQ(result.errors, "");
}


TEST_F(RdxSend, WatchPrintsEachNoticeOfItsCodesUntilTheApplicationEnds)
{
	StartApplication();
	ChildProcess::Options options;
	options.environment["XDG_RUNTIME_DIR"] = fRuntime;
	ChildProcess all({kRdxSend, "--watch"}, options);
	ChildProcess tags({kRdxSend, "--watch", "RFID"}, options);
	// Each watch request reaches the application too.
	ASSERT_TRUE(fApp->WaitForCount(2, 20)) << all.Errors() << tags.Errors();
	for (const BMessage& message : fApp->Messages())
		EXPECT_EQ(message.what, (uint32)B_START_WATCHING);

	BMessage tag(RDX_MSG_TAG);
	tag.AddString(RDX_FIELD_TAG, "04A1B2C3");
	fApp->SendNotices(RDX_MSG_TAG, &tag);
	BMessage report(RDX_MSG_STATUS);
	report.AddInt32(RDX_FIELD_RELAIS, 3);
	fApp->SendNotices(RDX_MSG_STATUS, &report);

	ASSERT_TRUE(all.WaitForOutput("'rx_s'", 20)) << all.Output();
	ASSERT_TRUE(tags.WaitForOutput("04A1B2C3", 20)) << tags.Output();
	EXPECT_NE(all.Output().find("BMessage: what = NTCH"), std::string::npos);
	EXPECT_LT(all.Output().find("04A1B2C3"), all.Output().find("'rx_s'"));
	StopApplication();

	int status = -1;
	ASSERT_TRUE(all.Wait(20, &status));
	EXPECT_EQ(status, 0);
	EXPECT_NE(all.Errors().find("ended the watch"), std::string::npos);
	ASSERT_TRUE(tags.Wait(20, &status));
	EXPECT_EQ(tags.Output().find("'rx_s'"), std::string::npos);

	Result result = Send({"--watch"});
	EXPECT_EQ(result.status, 1);
	EXPECT_NE(result.errors.find("is running"), std::string::npos);
	result = Send({"--watch", "RFIDX"});
	EXPECT_EQ(result.status, 2);
	result = Send({"--version"});
	EXPECT_EQ(result.status, 0);
	EXPECT_EQ(result.output, "rdx-send " RDX_VERSION "\n");
}
