#include "SettingsTestSupport.h"

#include "ChildProcess.h"

#include <Prefs.h>
#include <RDXDefs.h>

#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kKeys[] = {"prefs_window_rect", "window_by_begin",
	"logo_vant", "rdx_ip", "rdx_use", "TagsUseDoor", "OpenInSecs"};


std::string
text_bytes(const char* text, bool terminated)
{
	return std::string(text, strlen(text) + (terminated ? 1 : 0));
}


// Sets or clears the immutable flag of a file or directory; false where the
// file system or our privileges do not allow it.
bool
set_immutable(const std::string& path, bool immutable)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return false;
	int flags = 0;
	bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
	if (ok) {
		flags = immutable ? (flags | FS_IMMUTABLE_FL)
			: (flags & ~FS_IMMUTABLE_FL);
		ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
	}
	close(fd);
	return ok;
}


// Keeps a path immutable while it lives, so that a failing test still
// leaves a removable directory behind.
class ImmutableGuard {
public:
	ImmutableGuard(const std::string& path)
		:
		fPath(path),
		fSet(set_immutable(path, true))
	{
	}

	~ImmutableGuard()
	{
		if (fSet)
			set_immutable(fPath, false);
	}

	bool IsSet() const { return fSet; }

private:
	std::string fPath;
	bool fSet;
};


void
expect_defaults(const Prefs& prefs)
{
	EXPECT_EQ(prefs.windowRect.left, 100);
	EXPECT_EQ(prefs.windowRect.top, 100);
	EXPECT_EQ(prefs.windowRect.right, 415);
	EXPECT_EQ(prefs.windowRect.bottom, 329);
	EXPECT_FALSE(prefs.windowByBegin);
	EXPECT_STREQ(prefs.logoPath, "/boot/home/logoimage");
	EXPECT_STREQ(prefs.rdxIp, RDX_DEFAULT_IP);
	EXPECT_TRUE(prefs.rdxUse);
	EXPECT_EQ(prefs.tagsUseDoor, 1);
	EXPECT_EQ(prefs.openInSecs, 1);
}

}	// namespace


// #pragma mark - start-up


TEST_P(SettingsTest, FirstStartCreatesTheFileAndWritesEveryDefault)
{
	std::unique_ptr<Prefs> prefs;
	std::string output = Construct(&prefs);

	std::string path = SettingsFile();
	EXPECT_EQ(output, "[Path:" + path + "]\n[File not found]\n[File created]\n"
		"Prefs '" + path + "' \n");

	struct stat directoryStat;
	ASSERT_EQ(stat(SettingsDirectory().c_str(), &directoryStat), 0);
	EXPECT_EQ(directoryStat.st_mode & 07777, 0755u);
	struct stat fileStat;
	ASSERT_EQ(stat(path.c_str(), &fileStat), 0);
	EXPECT_TRUE(S_ISREG(fileStat.st_mode));
	EXPECT_EQ(fileStat.st_size, 0);

	EXPECT_EQ(Raw("prefs_window_rect"),
		stored_value("RECT", float_bytes(100, 100, 415, 329)));
	EXPECT_EQ(Raw("window_by_begin"), stored_value("BOOL", std::string(1, '\0')));
	EXPECT_EQ(Raw("logo_vant"),
		stored_value("CSTR", text_bytes("/boot/home/logoimage", false)));
	EXPECT_EQ(Raw("logo_vant")->size(), 4u + 20u);
	EXPECT_EQ(Raw("rdx_ip"), stored_value("CSTR", text_bytes(RDX_DEFAULT_IP, false)));
	EXPECT_EQ(Raw("rdx_use"), stored_value("BOOL", std::string(1, '\1')));
	EXPECT_EQ(Raw("TagsUseDoor"), stored_value("LONG", std::string("\1\0\0\0", 4)));
	EXPECT_EQ(Raw("OpenInSecs"), stored_value("LONG", std::string("\1\0\0\0", 4)));

	expect_defaults(*prefs);
	EXPECT_FALSE(prefs->prefsError);
	ASSERT_NE(prefs->settingsFile, nullptr);
	EXPECT_EQ(prefs->settingsFile->InitCheck(), B_OK);
}


TEST_P(SettingsTest, SecondStartFindsTheFileAndWritesNothingThroughTheLoad)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs->windowRect = BRect(10, 20, 410, 145);
	prefs->rdxUse = false;
	prefs->tagsUseDoor = 3;
	prefs->openInSecs = 7;
	strcpy(prefs->rdxIp, "127.0.0.1:8080");
	captured_output([&] { prefs->Save(); });
	prefs.reset();

	std::string before[7];
	for (int i = 0; i < 7; i++)
		before[i] = Raw(kKeys[i]).value_or("missing");
	struct stat storeBefore = {};
	if (Fallback())
		stat((SettingsDirectory() + "/.RDX_settings.attributes").c_str(), &storeBefore);

	std::string output = Construct(&prefs);
	std::string path = SettingsFile();
	EXPECT_EQ(output, "[Path:" + path + "]\n[File found]\nPrefs '" + path + "' \n");
	EXPECT_EQ(read_file(path).substr(0, 8), "Hello !\n");

	for (int i = 0; i < 7; i++)
		EXPECT_EQ(Raw(kKeys[i]).value_or("missing"), before[i]) << kKeys[i];
	if (Fallback()) {
		// Every write replaces the store, so an unchanged one was not written.
		struct stat storeAfter;
		ASSERT_EQ(stat((SettingsDirectory() + "/.RDX_settings.attributes").c_str(),
			&storeAfter), 0);
		EXPECT_EQ(storeAfter.st_ino, storeBefore.st_ino);
	}

	EXPECT_EQ(prefs->windowRect.left, 10);
	EXPECT_EQ(prefs->windowRect.top, 20);
	EXPECT_EQ(prefs->windowRect.right, 410);
	EXPECT_EQ(prefs->windowRect.bottom, 145);
	EXPECT_FALSE(prefs->rdxUse);
	EXPECT_STREQ(prefs->rdxIp, "127.0.0.1:8080");
	EXPECT_EQ(prefs->tagsUseDoor, 3);
	EXPECT_EQ(prefs->openInSecs, 7);
	EXPECT_FALSE(prefs->prefsError);
}


TEST_P(SettingsTest, HelloLineOverwritesOnlyTheStartOfTheData)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs.reset();
	{
		FILE* file = fopen(SettingsFile().c_str(), "w");
		ASSERT_NE(file, nullptr);
		fputs("0123456789abcdef", file);
		fclose(file);
	}
	Construct(&prefs);
	EXPECT_EQ(read_file(SettingsFile()), "Hello !\n89abcdef");
}


TEST_P(SettingsTest, FileLackingOneKeyGainsOnlyThatKey)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs->tagsUseDoor = 4;
	prefs->openInSecs = 9;
	captured_output([&] { prefs->Save(); });
	prefs.reset();
	RemoveRaw("OpenInSecs");
	// Stored with a terminator now; a load that rewrote it would drop it.
	std::string savedIp = Raw("rdx_ip").value();
	ASSERT_EQ(savedIp.size(), 4 + strlen(RDX_DEFAULT_IP) + 1);

	std::string output = Construct(&prefs);
	EXPECT_EQ(output.find("Unknown"), std::string::npos) << output;
	EXPECT_EQ(prefs->openInSecs, 1);
	EXPECT_EQ(prefs->tagsUseDoor, 4);
	EXPECT_EQ(Raw("OpenInSecs"), stored_value("LONG", int32_bytes(1)));
	EXPECT_EQ(Raw("TagsUseDoor"), stored_value("LONG", int32_bytes(4)));
	EXPECT_EQ(Raw("rdx_ip"), savedIp);
	EXPECT_FALSE(prefs->prefsError);
}


// #pragma mark - saving


TEST_P(SettingsTest, SaveWritesEveryFieldAndSaysSo)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs->windowRect = BRect(1.5f, 2.25f, 300.75f, 200);
	prefs->windowByBegin = true;
	strcpy(prefs->logoPath, "/home/someone/logo.png");
	prefs->rdxUse = false;
	strcpy(prefs->rdxIp, "127.0.0.1");
	prefs->tagsUseDoor = 2;
	prefs->openInSecs = -5;

	bool saved = false;
	std::string output = captured_output([&] { saved = prefs->Save(); });
	EXPECT_TRUE(saved);
	EXPECT_EQ(output, "Prefs -Save ok\n");

	EXPECT_EQ(Raw("prefs_window_rect"),
		stored_value("RECT", float_bytes(1.5f, 2.25f, 300.75f, 200)));
	EXPECT_EQ(Raw("window_by_begin"), stored_value("BOOL", std::string(1, '\1')));
	EXPECT_EQ(Raw("logo_vant"),
		stored_value("CSTR", text_bytes("/home/someone/logo.png", true)));
	EXPECT_EQ(Raw("rdx_use"), stored_value("BOOL", std::string(1, '\0')));
	EXPECT_EQ(Raw("rdx_ip"), stored_value("CSTR", text_bytes("127.0.0.1", true)));
	EXPECT_EQ(Raw("TagsUseDoor"), stored_value("LONG", int32_bytes(2)));
	EXPECT_EQ(Raw("OpenInSecs"), stored_value("LONG", int32_bytes(-5)));
}


TEST_P(SettingsTest, DefaultTextAndSavedTextDifferByTheTerminatorOnly)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	size_t length = strlen(RDX_DEFAULT_IP);
	ASSERT_EQ(Raw("rdx_ip").value().size(), 4 + length);

	captured_output([&] { prefs->Save(); });
	ASSERT_EQ(Raw("rdx_ip").value().size(), 4 + length + 1);

	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_STREQ(prefs->rdxIp, RDX_DEFAULT_IP);

	EXPECT_TRUE(prefs->PutStr("rdx_ip", ""));
	EXPECT_EQ(Raw("rdx_ip"), stored_value("CSTR", std::string(1, '\0')));
	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_STREQ(prefs->rdxIp, "");
}


TEST_P(SettingsTest, SaveWinWritesTheFrameAlone)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	std::string before[7];
	for (int i = 0; i < 7; i++)
		before[i] = Raw(kKeys[i]).value();

	prefs->windowRect = BRect(5, 6, 405, 131);
	prefs->windowByBegin = true;
	prefs->rdxUse = false;
	prefs->tagsUseDoor = 4;
	prefs->openInSecs = 30;
	strcpy(prefs->rdxIp, "127.0.0.1");

	bool saved = false;
	EXPECT_EQ(captured_output([&] { saved = prefs->SaveWin(); }), "");
	EXPECT_TRUE(saved);
	EXPECT_EQ(Raw("prefs_window_rect"),
		stored_value("RECT", float_bytes(5, 6, 405, 131)));
	for (int i = 1; i < 7; i++)
		EXPECT_EQ(Raw(kKeys[i]), before[i]) << kKeys[i];
}


TEST_P(SettingsTest, ReloadTakesTheFileAndDropsUnsavedChanges)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	strcpy(prefs->rdxIp, "127.0.0.1:9");
	prefs->tagsUseDoor = 3;
	std::string output = captured_output([&] {
		EXPECT_TRUE(prefs->LoadPrefs());
		EXPECT_TRUE(prefs->LoadPrefs());
	});
	EXPECT_EQ(output, "");
	expect_defaults(*prefs);
}


// #pragma mark - stored values the system did not write


TEST_P(SettingsTest, ValuesShorterOrLongerThanTheirKind)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);

	SetRaw("TagsUseDoor", stored_value("LONG", std::string("\5\0", 2)));
	int32 value = 0x11223344;
	int32 fallback = 1;
	EXPECT_TRUE(prefs->GetInt("TagsUseDoor", &value, &fallback));
	EXPECT_EQ(value, 0x11220005);

	SetRaw("TagsUseDoor", stored_value("LONG", int32_bytes(6) + int32_bytes(99)));
	EXPECT_TRUE(prefs->GetInt("TagsUseDoor", &value, &fallback));
	EXPECT_EQ(value, 6);

	SetRaw("TagsUseDoor", stored_value("LONG", ""));
	EXPECT_TRUE(prefs->GetInt("TagsUseDoor", &value, &fallback));
	EXPECT_EQ(value, 6);

	SetRaw("rdx_use", stored_value("BOOL", std::string("\0\1\1", 3)));
	bool flag = true;
	bool flagDefault = true;
	EXPECT_TRUE(prefs->GetBool("rdx_use", &flag, &flagDefault));
	EXPECT_FALSE(flag);
	// A flag of no bytes keeps what the value held, either way.
	SetRaw("rdx_use", stored_value("BOOL", ""));
	for (bool held : {true, false}) {
		flag = held;
		flagDefault = !held;
		EXPECT_TRUE(prefs->GetBool("rdx_use", &flag, &flagDefault));
		EXPECT_EQ(flag, held);
	}

	SetRaw("prefs_window_rect", stored_value("RECT", float_bytes(1, 2, 3, 4).substr(0, 8)));
	BRect rect(9, 9, 9, 9);
	BRect rectDefault(0, 0, 0, 0);
	EXPECT_TRUE(prefs->GetRect("prefs_window_rect", &rect, &rectDefault));
	EXPECT_EQ(rect.left, 1);
	EXPECT_EQ(rect.top, 2);
	EXPECT_EQ(rect.right, 9);
	EXPECT_EQ(rect.bottom, 9);
	EXPECT_FALSE(prefs->prefsError);
}


TEST_P(SettingsTest, AnyFlagByteButZeroIsTrueAndAProperBool)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	struct Case {
		std::string	stored;
		bool		expected;
	};
	// A hand edit, another writer or a damaged file can leave any byte.
	const Case cases[] = {{std::string(1, '\0'), false}, {"\1", true},
		{"\2", true}, {"\x80", true}, {"\xff", true}, {"\x7f\0", true}};
	for (const Case& test : cases) {
		SCOPED_TRACE(testing::PrintToString(test.stored));
		SetRaw("rdx_use", stored_value("BOOL", test.stored));
		SetRaw("window_by_begin", stored_value("BOOL", test.stored));
		bool flag = !test.expected;
		bool flagDefault = !test.expected;
		EXPECT_TRUE(prefs->GetBool("rdx_use", &flag, &flagDefault));
		captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
		// The bytes themselves: a copied 2 would compare unequal to true
		// in one place and act as true in another.
		for (bool value : {flag, prefs->rdxUse, prefs->windowByBegin}) {
			unsigned char byte;
			memcpy(&byte, &value, 1);
			EXPECT_EQ(byte, test.expected ? 1 : 0);
		}
	}
}


TEST_P(SettingsTest, LongTextsAreCutToTheirBuffers)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	std::string longText(300, 'a');
	for (size_t i = 0; i < longText.size(); i++)
		longText[i] = (char)('a' + i % 26);
	SetRaw("rdx_ip", stored_value("CSTR", longText));
	SetRaw("logo_vant", stored_value("CSTR", longText + std::string(1, '\0')));

	// Guards around the buffers show any write past them.
	struct {
		char before[16];
		char text[64];
		char after[16];
	} guarded;
	memset(&guarded, 'G', sizeof(guarded));
	strcpy(guarded.text, "x");
	EXPECT_TRUE(prefs->GetStr("rdx_ip", guarded.text, "x", sizeof(guarded.text)));
	EXPECT_EQ(std::string(guarded.text), longText.substr(0, 63));
	EXPECT_EQ(std::string(guarded.after, 16), std::string(16, 'G'));
	EXPECT_EQ(std::string(guarded.before, 16), std::string(16, 'G'));

	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_EQ(std::string(prefs->rdxIp), longText.substr(0, 63));
	EXPECT_EQ(std::string(prefs->logoPath), longText.substr(0, 255));
	// What was cut stays in the file until the operator saves.
	EXPECT_EQ(Raw("rdx_ip").value().size(), 4 + 300u);
}


TEST_P(SettingsTest, StoredTextWithoutTerminatorIsTakenAsItIs)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	SetRaw("rdx_ip", stored_value("CSTR", "127.0.0.1"));
	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_STREQ(prefs->rdxIp, "127.0.0.1");

	SetRaw("rdx_ip", stored_value("CSTR", std::string("ab\0cd", 5)));
	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_STREQ(prefs->rdxIp, "ab");
}


TEST_P(SettingsTest, StoredTypeCodeIsNotCompared)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	SetRaw("TagsUseDoor", stored_value("CSTR", int32_bytes(3)));
	SetRaw("rdx_ip", stored_value("LONG", text_bytes("127.0.0.1", true)));
	captured_output([&] { EXPECT_TRUE(prefs->LoadPrefs()); });
	EXPECT_EQ(prefs->tagsUseDoor, 3);
	EXPECT_STREQ(prefs->rdxIp, "127.0.0.1");
	EXPECT_FALSE(prefs->prefsError);
}


// #pragma mark - failures


TEST_P(SettingsTest, LoadFailingPartWayRebuildsTheFile)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs->windowRect = BRect(11, 12, 311, 212);
	prefs->tagsUseDoor = 4;
	prefs->rdxUse = false;
	strcpy(prefs->rdxIp, "127.0.0.1:8080");
	captured_output([&] { prefs->Save(); });
	prefs.reset();
	// Too short to hold even a type code: not an attribute that any writer
	// of ours made.
	SetRaw("window_by_begin", "BO");
	RemoveRaw("TagsUseDoor");

	std::string output = Construct(&prefs);
	std::string path = SettingsFile();
	EXPECT_EQ(output, "[Path:" + path + "]\n[File found]\n"
		"Unknown error reading window_by_begin:\nBad data\n"
		"[Path:" + path + "]\n[File found]\n"
		"Prefs -Save ok\n"
		"Prefs '" + path + "' \n");

	EXPECT_TRUE(prefs->prefsError);
	EXPECT_EQ(prefs->windowRect.left, 11);
	EXPECT_EQ(prefs->windowRect.bottom, 212);
	// The unreadable key keeps the value it had before the load.
	EXPECT_TRUE(prefs->windowByBegin);
	EXPECT_STREQ(prefs->logoPath, "/boot/home/logoimage");
	// The keys after the unreadable one are still loaded, so the rebuild
	// saves what was stored instead of built-in defaults over it.
	EXPECT_FALSE(prefs->rdxUse);
	EXPECT_STREQ(prefs->rdxIp, "127.0.0.1:8080");
	// The missing key got its default.
	EXPECT_EQ(prefs->tagsUseDoor, 1);
	EXPECT_EQ(prefs->openInSecs, 1);

	EXPECT_EQ(Raw("window_by_begin"), stored_value("BOOL", std::string(1, '\1')));
	EXPECT_EQ(Raw("TagsUseDoor"), stored_value("LONG", int32_bytes(1)));
	EXPECT_EQ(Raw("rdx_use"), stored_value("BOOL", std::string(1, '\0')));
	EXPECT_EQ(Raw("rdx_ip"), stored_value("CSTR", text_bytes("127.0.0.1:8080", true)));
}


TEST_P(SettingsTest, SettingsPathThatIsADirectory)
{
	ASSERT_EQ(mkdir(fTemp->Sub("config").c_str(), 0700), 0);
	ASSERT_EQ(mkdir(SettingsDirectory().c_str(), 0755), 0);
	ASSERT_EQ(mkdir(SettingsFile().c_str(), 0755), 0);

	std::unique_ptr<Prefs> prefs;
	std::string output = Construct(&prefs);
	std::string path = SettingsFile();
	std::string read = "Unknown error reading prefs_window_rect:\nIs a directory\n";
	EXPECT_EQ(output, "[Path:" + path + "]\n[init error]\n" + read
		+ "[Path:" + path + "]\n[init error]\n"
		"Unknown error writing prefs_window_rect:\nIs a directory\n" + read
		+ "Prefs '" + path + "' \n");

	EXPECT_TRUE(prefs->prefsError);
	EXPECT_EQ(prefs->windowRect.left, WIN_X);
	EXPECT_EQ(prefs->windowRect.top, WIN_Y);
	EXPECT_EQ(prefs->windowRect.right, WIN_X + WIN_W);
	EXPECT_EQ(prefs->windowRect.bottom, WIN_Y + WIN_H);
	EXPECT_TRUE(prefs->windowByBegin);
	EXPECT_STREQ(prefs->logoPath, "/boot/home/logoimage");
	EXPECT_STREQ(prefs->rdxIp, RDX_DEFAULT_IP);
	EXPECT_TRUE(prefs->rdxUse);
	EXPECT_EQ(prefs->tagsUseDoor, 1);
	EXPECT_EQ(prefs->openInSecs, 1);

	// Every accessor of the unopened file fails with a readable text.
	std::string accessors = captured_output([&] {
		int32 number = 0;
		EXPECT_FALSE(prefs->GetInt("OpenInSecs", &number, &number));
		EXPECT_FALSE(prefs->GetStr("rdx_ip", prefs->rdxIp, prefs->rdxIp,
			sizeof(prefs->rdxIp)));
		EXPECT_FALSE(prefs->PutInt("OpenInSecs", &number));
		EXPECT_FALSE(prefs->PutStr("rdx_ip", "x"));
		EXPECT_FALSE(prefs->SaveWin());
	});
	EXPECT_EQ(accessors,
		"Unknown error reading OpenInSecs:\nIs a directory\n"
		"Unknown error reading rdx_ip:\nIs a directory\n"
		"Unknown error writing OpenInSecs:\nIs a directory\n"
		"Unknown error writing rdx_ip 'x' \nIs a directory\n"
		"Unknown error writing prefs_window_rect:\nIs a directory\n");
	EXPECT_STREQ(prefs->rdxIp, RDX_DEFAULT_IP);
	EXPECT_TRUE(S_ISDIR([&] { struct stat s = {}; stat(path.c_str(), &s);
		return s.st_mode; }()));
}


TEST_P(SettingsTest, SettingsDirectoryThatCannotBeMade)
{
	std::string blocker = fTemp->Sub("plain-file");
	FILE* file = fopen(blocker.c_str(), "w");
	ASSERT_NE(file, nullptr);
	fclose(file);
	setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);

	std::unique_ptr<Prefs> prefs;
	std::string output = Construct(&prefs);
	std::string path = blocker + "/config/RDX/RDX_settings";
	std::string read = "Unknown error reading prefs_window_rect:\nNot a directory\n";
	EXPECT_EQ(output, "[Path:" + path + "]\n[File not found]\n" + read
		+ "[Path:" + path + "]\n[File not found]\n"
		"Unknown error writing prefs_window_rect:\nNot a directory\n" + read
		+ "Prefs '" + path + "' \n");
	EXPECT_TRUE(prefs->prefsError);
	EXPECT_STREQ(prefs->rdxIp, RDX_DEFAULT_IP);
	EXPECT_EQ(prefs->tagsUseDoor, 1);
	EXPECT_EQ(read_file(blocker), "");
	// Nothing was made anywhere else in its place.
	EXPECT_NE(access(fTemp->Sub("home/.config").c_str(), F_OK), 0);
}


TEST_P(SettingsTest, WritesRefusedByTheFileSystem)
{
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	RemoveRaw("OpenInSecs");
	// The extended attributes change with the file, the store beside it
	// with the directory.
	ImmutableGuard guard(Fallback() ? SettingsDirectory() : SettingsFile());
	if (!guard.IsSet())
		GTEST_SKIP() << "this file system or user cannot make files immutable";

	std::string output = captured_output([&] {
		EXPECT_FALSE(prefs->Save());
	});
	EXPECT_EQ(output, "Unknown error writing prefs_window_rect:\n"
		"Operation not allowed\n");
	EXPECT_TRUE(prefs->prefsError);

	prefs->openInSecs = 12;
	output = captured_output([&] { EXPECT_FALSE(prefs->LoadPrefs()); });
	EXPECT_EQ(output, "WriteAttr on OpenInSecs died\n");
	EXPECT_EQ(prefs->openInSecs, 1);

	// A missing flag takes its default too, although it cannot be written.
	for (bool held : {true, false}) {
		bool flag = held;
		bool flagDefault = !held;
		output = captured_output([&] {
			EXPECT_FALSE(prefs->GetBool("never_stored", &flag, &flagDefault));
		});
		EXPECT_EQ(output, "WriteAttr on never_stored died\n");
		EXPECT_EQ(flag, !held);
	}

	output = captured_output([&] {
		EXPECT_FALSE(prefs->PutStr("rdx_ip", "127.0.0.1"));
	});
	EXPECT_EQ(output, "Unknown error writing rdx_ip '127.0.0.1' \n"
		"Operation not allowed\n");

	// A success afterwards leaves the flag as it was.
	int32 relay = 0;
	int32 relayDefault = 2;
	EXPECT_TRUE(prefs->GetInt("TagsUseDoor", &relay, &relayDefault));
	EXPECT_EQ(relay, 1);
	EXPECT_TRUE(prefs->prefsError);
	EXPECT_FALSE(Raw("OpenInSecs").has_value());
}


TEST_P(SettingsTest, StoredAddressIsReadWithoutMakingOrPrintingAnything)
{
	// Nothing stored yet: no address, and no directory, file or line made.
	std::string address;
	EXPECT_EQ("", captured_output([&] {
		EXPECT_FALSE(Prefs::StoredAddress(&address)); }));
	struct stat info;
	EXPECT_NE(0, stat(SettingsDirectory().c_str(), &info));

	// Stored: read as the record reads it (cut to its field), and the
	// file's data stays as it was.
	std::unique_ptr<Prefs> prefs;
	Construct(&prefs);
	prefs.reset();
	std::string data = read_file(SettingsFile());
	for (const std::string& stored : {std::string("127.0.0.1:8080"),
			std::string(300, 'h')}) {
		SetRaw("rdx_ip", stored_value("CSTR", stored + '\0'));
		EXPECT_EQ("", captured_output([&] {
			EXPECT_TRUE(Prefs::StoredAddress(&address)); }));
		EXPECT_EQ(stored.substr(0, 63), address);
		EXPECT_EQ(data, read_file(SettingsFile()));
	}
}


INSTANTIATE_TEST_SUITE_P(Store, SettingsTest, ::testing::Values(false, true),
	test_param_name);
