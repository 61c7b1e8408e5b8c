// Settings on a file system that is read-only, refuses extended
// attributes or is full, and a damaged store: the program says so in clear
// lines, keeps running and answering, and loses nothing that was saved
// before. Each case mounts what it needs in a mount namespace of its own.

#include "BoardSim.h"
#include "FaultSupport.h"
#include "RdxProgram.h"
#include "StoreSeed.h"
#include "Watchdog.h"

#include <Prefs.h>
#include <RDXDefs.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const char* const kTag = "_tagstr=04A1B2C3";


// Every setting, as a run of the program saves them.
seed::Values
AllSettings(const std::string& address, bool use, int32_t hold,
	int32_t tagRelay)
{
	return {
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
		{"window_by_begin", seed::Bool(false)},
		{"logo_vant", seed::Text("/home/rdx/logo")},
		{"rdx_ip", seed::Text(address)},
		{"rdx_use", seed::Bool(use)},
		{"TagsUseDoor", seed::Int32(tagRelay)},
		{"OpenInSecs", seed::Int32(hold)},
	};
}


seed::Values
Without(seed::Values values, const std::string& name)
{
	for (auto entry = values.begin(); entry != values.end(); entry++) {
		if (entry->first == name) {
			values.erase(entry);
			break;
		}
	}
	return values;
}


// Fills the file system of the directory: its data with a file, then the
// room for extended attributes with attributes of that file, down to the
// last byte. False when the file system still takes an attribute.
bool
FillFileSystem(const std::string& directory)
{
	std::string filler = directory + "/filler";
	int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
	if (fd < 0)
		return false;
	std::string block(4096, '\0');
	while (write(fd, block.data(), block.size()) > 0) {
	}
	close(fd);
	int number = 0;
	for (size_t size = 2048; size >= 1; size /= 2) {
		std::string value(size, 'x');
		while (setxattr(filler.c_str(),
				("user.pad" + std::to_string(number)).c_str(), value.data(),
				value.size(), 0) == 0) {
			number++;
		}
	}
	std::string probe(1, 'x');
	return setxattr(filler.c_str(), "user.probe", probe.data(), probe.size(),
		0) != 0 && errno == ENOSPC;
}


// The settings record built in this process from the settings below the
// configuration directory, with what it printed.
std::unique_ptr<Prefs>
LoadRecord(const std::string& configHome, std::string* output,
	std::string* errors = nullptr)
{
	setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
	std::unique_ptr<Prefs> prefs;
	std::string printed;
	std::string errorText = CapturedOutput(2, [&] {
		printed = CapturedOutput(1, [&] { prefs = std::make_unique<Prefs>(); });
	});
	*output = printed;
	if (errors != nullptr)
		*errors = errorText;
	return prefs;
}


void
ExpectStored(const RdxProgram& rdx, const seed::Values& values)
{
	for (const auto& [name, value] : values)
		EXPECT_EQ(rdx.Stored(name), value) << name;
}

}	// namespace


class SettingsFaultTest : public testing::Test {
protected:
	void SetUp() override
	{
		fWatchdog = std::make_unique<Watchdog>(
			testing::UnitTest::GetInstance()->current_test_info()->name(),
			110);
	}

	void TearDown() override
	{
		if (HasFailure() && fRdx != nullptr)
			printf("%s", fRdx->Transcript().c_str());
		fRdx.reset();
		fWatchdog.reset();
	}

	std::unique_ptr<Watchdog>	fWatchdog;
	std::unique_ptr<RdxProgram>	fRdx;
};


TEST_F(SettingsFaultTest, ReadOnlySettingsAreReadAndKept)
{
	if (!InMountNamespace())
		return RunInMountNamespace();

	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-faults");
	seed::Values saved = AllSettings(board.Address(), true, 1, 2);
	ASSERT_TRUE(fRdx->Seed(saved));
	ASSERT_EQ(BindReadOnly(fRdx->SettingsDirectory()), "");
	std::string file = seed::SettingsFile(fRdx->ConfigHome());
	ASSERT_NE(setxattr(file.c_str(), "user.probe", "x", 1, 0), 0);
	ASSERT_EQ(errno, EROFS);

	// The record first, in this process: the program must find its board
	// before it may start at all.
	std::string output;
	std::unique_ptr<Prefs> prefs = LoadRecord(fRdx->ConfigHome(), &output);
	ASSERT_STREQ(prefs->rdxIp, board.Address().c_str()) << output;
	EXPECT_NE(output.find("read only"), std::string::npos) << output;
	EXPECT_TRUE(prefs->rdxUse);
	EXPECT_EQ(prefs->tagsUseDoor, 2);
	EXPECT_EQ(prefs->openInSecs, 1);
	std::string saving = CapturedOutput(1, [&] { EXPECT_FALSE(prefs->Save()); });
	EXPECT_NE(saving.find("Read-only file system"), std::string::npos)
		<< saving;
	prefs.reset();

	// The program: its start-up pulse and a tag reach the stored board; a
	// change that cannot be saved says so; it ends cleanly.
	ASSERT_TRUE(fRdx->Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?3=0", 10));
	ASSERT_EQ(fRdx->Send({"RFID", kTag}), 0);
	EXPECT_TRUE(board.WaitForRequest("GET /?4=0", 10));
	int refused = fRdx->Count("Read-only file system");
	ASSERT_TRUE(fRdx->Click(kUseCheckBox));
	EXPECT_TRUE(fRdx->WaitForCount("Read-only file system", refused + 1));
	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CloseAndWait(), 0);
	ExpectStored(*fRdx, saved);
}


TEST_F(SettingsFaultTest, FileSystemWithoutAttributesKeepsThemInTheStore)
{
	if (!InMountNamespace())
		return RunInMountNamespace();

	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-faults",
		RdxProgram::kStore);
	// ramfs refuses user extended attributes.
	ASSERT_EQ(MountFileSystem("ramfs", fRdx->ConfigHome(), "mode=700"), "");
	std::string probe = fRdx->ConfigHome() + "/probe";
	close(open(probe.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
	ASSERT_NE(setxattr(probe.c_str(), "user.probe", "x", 1, 0), 0);
	ASSERT_EQ(errno, EOPNOTSUPP);
	unlink(probe.c_str());

	seed::Values saved = AllSettings(board.Address(), true, 1, 2);
	ASSERT_TRUE(fRdx->Seed(saved));
	ASSERT_TRUE(fRdx->Start());
	EXPECT_NE(fRdx->Output().find("[File found]\n"), std::string::npos);
	EXPECT_TRUE(board.WaitForRequest("GET /?3=0", 10));
	ASSERT_EQ(fRdx->Send({"RFID", kTag}), 0);
	EXPECT_TRUE(board.WaitForRequest("GET /?4=1", 10));
	// A change is saved into the store.
	ASSERT_TRUE(fRdx->Enter(kHoldTimeField, "4"));
	EXPECT_TRUE(fRdx->WaitForStored("OpenInSecs", seed::Int32(4)));
	EXPECT_EQ(fRdx->CloseAndWait(), 0);

	// After a restart the program holds the relay for the stored 4 seconds.
	ASSERT_TRUE(fRdx->Start());
	ASSERT_TRUE(board.WaitForRequest("GET /?3=1", 10, 2));
	ASSERT_EQ(fRdx->Send({"RFID", kTag}), 0);
	ASSERT_TRUE(board.WaitForRequest("GET /?4=1", 15, 2));
	std::vector<std::string> log = board.LogLines();
	double opened = 0;
	double closed = 0;
	for (const std::string& line : log) {
		if (line.find(" GET /?4=0") != std::string::npos)
			opened = atof(line.c_str());
		if (line.find(" GET /?4=1") != std::string::npos)
			closed = atof(line.c_str());
	}
	EXPECT_GE(closed - opened, 3.9) << "the stored hold time was not used";
	EXPECT_LE(closed - opened, 4.6) << "held too long";
	ReportFigure("held after the restart", Seconds(closed - opened));
	EXPECT_EQ(fRdx->CloseAndWait(), 0);

	ExpectStored(*fRdx, Without(Without(saved, "OpenInSecs"),
		"prefs_window_rect"));
	EXPECT_EQ(fRdx->Stored("OpenInSecs"), seed::Int32(4));
	std::optional<std::string> frame = fRdx->Stored("prefs_window_rect");
	ASSERT_TRUE(frame.has_value());
	EXPECT_EQ(frame->size(), 20u);
	// Nothing went anywhere but into the store.
	std::string file = seed::SettingsFile(fRdx->ConfigHome());
	char names[256];
	EXPECT_LE(listxattr(file.c_str(), names, sizeof(names)), 0);
}


TEST_F(SettingsFaultTest, FullDiskKeepsWhatWasSaved)
{
	if (!InMountNamespace())
		return RunInMountNamespace();

	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-faults");
	// 64 KiB of data; five inodes: the root, the settings directory and
	// file, and the filler leave the room of one for attributes.
	ASSERT_EQ(MountFileSystem("tmpfs", fRdx->ConfigHome(),
		"size=64k,nr_inodes=5,mode=700"), "");
	seed::Values saved = AllSettings(board.Address(), true, 1, 2);
	ASSERT_TRUE(fRdx->Seed(saved));
	if (!FillFileSystem(fRdx->ConfigHome()))
		GTEST_SKIP() << "this kernel's tmpfs does not bound attribute space";
	std::string file = seed::SettingsFile(fRdx->ConfigHome());
	std::string same = seed::Bool(true);
	ASSERT_NE(setxattr(file.c_str(), "user.rdx_use", same.data(), same.size(),
		0), 0);
	ASSERT_EQ(errno, ENOSPC);

	ASSERT_TRUE(fRdx->Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?3=0", 10));
	ASSERT_EQ(fRdx->Send({"RFID", kTag}), 0);
	EXPECT_TRUE(board.WaitForRequest("GET /?4=0", 10));
	// Switching board use off cannot be saved, and says why.
	std::string full
		= "Unknown error writing prefs_window_rect:\nNo space left on device\n";
	int refused = fRdx->Count(full);
	ASSERT_TRUE(fRdx->Click(kUseCheckBox));
	EXPECT_TRUE(fRdx->WaitForCount(full, refused + 1));
	EXPECT_TRUE(fRdx->Sync());
	EXPECT_EQ(fRdx->CloseAndWait(), 0);
	ExpectStored(*fRdx, saved);

	// Once there is room again, the same settings are found and saving
	// works.
	ASSERT_EQ(unlink((fRdx->ConfigHome() + "/filler").c_str()), 0);
	ASSERT_TRUE(fRdx->Start());
	EXPECT_TRUE(board.WaitForRequest("GET /?3=0", 10, 2));
	ASSERT_TRUE(fRdx->Click(kUseCheckBox));
	EXPECT_TRUE(fRdx->WaitForStored("rdx_use", seed::Bool(false)));
	EXPECT_EQ(fRdx->CloseAndWait(), 0);
}


TEST_F(SettingsFaultTest, SettingMissingOnAFullDiskKeepsTheOthers)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	// A default that cannot be written back must not keep the settings
	// after it, the board address among them, from loading.

	TempDir home("rdx-faults-settings");
	std::string configHome = home.Sub("config");
	ASSERT_EQ(mkdir(configHome.c_str(), 0700), 0);
	ASSERT_EQ(MountFileSystem("tmpfs", configHome,
		"size=64k,nr_inodes=5,mode=700"), "");
	// Written by an older run that did not know "logo_vant" yet.
	ASSERT_TRUE(seed::Write(configHome, Without(
		AllSettings("127.0.0.1:9", false, 5, 3), "logo_vant")));
	if (!FillFileSystem(configHome))
		GTEST_SKIP() << "this kernel's tmpfs does not bound attribute space";

	std::string output;
	std::unique_ptr<Prefs> prefs = LoadRecord(configHome, &output);
	EXPECT_NE(output.find("WriteAttr on logo_vant died\n"), std::string::npos)
		<< output;
	EXPECT_STREQ(prefs->rdxIp, "127.0.0.1:9") << output;
	EXPECT_FALSE(prefs->rdxUse);
	EXPECT_EQ(prefs->tagsUseDoor, 3);
	EXPECT_EQ(prefs->openInSecs, 5);
}


TEST_F(SettingsFaultTest, DamagedStoreIsKeptAsideAndTheRecordGoesOn)
{
	if (!InMountNamespace())
		return RunInMountNamespace();

	TempDir home("rdx-faults-settings");
	std::string configHome = home.Sub("config");
	ASSERT_EQ(mkdir(configHome.c_str(), 0700), 0);
	ASSERT_EQ(MountFileSystem("ramfs", configHome, "mode=700"), "");
	ASSERT_TRUE(store::Write(configHome,
		AllSettings("127.0.0.1:9", false, 5, 3)));
	// One byte of the stored address changes.
	std::string path = store::StorePath(configHome);
	std::string damaged = read_file(path);
	size_t at = damaged.find("127.0.0.1:9");
	ASSERT_NE(at, std::string::npos);
	damaged[at + 2] = '8';
	int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, damaged.data(), damaged.size()),
		(ssize_t)damaged.size());
	close(fd);

	std::string output;
	std::string errors;
	std::unique_ptr<Prefs> prefs = LoadRecord(configHome, &output, &errors);
	EXPECT_NE(errors.find("is damaged (checksum mismatch)"), std::string::npos)
		<< errors;
	EXPECT_NE(errors.find("kept as '" + path + ".damaged'"), std::string::npos)
		<< errors;
	// Nothing of a damaged store is believed: the record has the defaults,
	// and the damaged bytes are kept as they were for the operator.
	EXPECT_STREQ(prefs->rdxIp, RDX_DEFAULT_IP);
	EXPECT_EQ(read_file(path + ".damaged"), damaged);
	std::string saving = CapturedOutput(1, [&] { EXPECT_TRUE(prefs->Save()); });
	EXPECT_EQ(saving, "Prefs -Save ok\n");
	prefs.reset();

	// A restart finds a sound store and says nothing about damage.
	prefs = LoadRecord(configHome, &output, &errors);
	EXPECT_EQ(errors, "");
	EXPECT_NE(output.find("[File found]\n"), std::string::npos) << output;
	EXPECT_FALSE(prefs->prefsError);
	EXPECT_TRUE(store::Read(configHome, "rdx_ip").has_value());
	EXPECT_EQ(read_file(path + ".damaged"), damaged);
}
