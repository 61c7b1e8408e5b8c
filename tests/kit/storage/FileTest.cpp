#include "StorageTestSupport.h"

#include "ChildProcess.h"

#include <Directory.h>
#include <Entry.h>
#include <File.h>
#include <FindDirectory.h>
#include <Path.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t
mode_of(const std::string& path)
{
	struct stat pathStat = {};
	stat(path.c_str(), &pathStat);
	return pathStat.st_mode;
}

}	// namespace


// #pragma mark - BFile


TEST_F(StorageTest, OpenModesKeepOrEraseTheData)
{
	// The stored and documented values of the modes, which callers combine.
	EXPECT_EQ(B_READ_WRITE | B_CREATE_FILE, 514);

	std::string path = MakeFile("file", "old data");
	{
		BFile file(path.c_str(), B_READ_WRITE | B_CREATE_FILE);
		ASSERT_EQ(file.InitCheck(), B_OK);
		EXPECT_TRUE(file.IsReadable());
		EXPECT_TRUE(file.IsWritable());
		EXPECT_EQ(file.Write("new", 3), 3);
	}
	EXPECT_EQ(read_file(path), "new data");

	{
		BFile file(path.c_str(), B_WRITE_ONLY | B_ERASE_FILE);
		ASSERT_EQ(file.InitCheck(), B_OK);
		EXPECT_FALSE(file.IsReadable());
		char buffer[4];
		EXPECT_EQ(file.Read(buffer, sizeof(buffer)), B_FROM_POSIX_ERROR(EBADF));
	}
	EXPECT_EQ(read_file(path), "");

	BFile exclusive(path.c_str(), B_READ_WRITE | B_CREATE_FILE | B_FAIL_IF_EXISTS);
	EXPECT_EQ(exclusive.InitCheck(), B_FROM_POSIX_ERROR(EEXIST));
	EXPECT_STREQ(strerror((ssize_t)exclusive.InitCheck()), "File exists");

	BFile readOnly(path.c_str(), B_READ_ONLY);
	EXPECT_TRUE(readOnly.IsReadable());
	EXPECT_EQ(readOnly.Write("x", 1), B_FROM_POSIX_ERROR(EBADF));

	BFile missing(fTemp->Sub("missing").c_str(), B_READ_WRITE);
	EXPECT_EQ(missing.InitCheck(), B_FROM_POSIX_ERROR(ENOENT));
	EXPECT_FALSE(missing.IsReadable());
	EXPECT_NE(access(fTemp->Sub("missing").c_str(), F_OK), 0);

	BFile created(fTemp->Sub("created").c_str(), B_READ_WRITE | B_CREATE_FILE);
	EXPECT_EQ(created.InitCheck(), B_OK);
	EXPECT_TRUE(S_ISREG(mode_of(fTemp->Sub("created"))));

	BFile bad(path.c_str(), 3);
	EXPECT_EQ(bad.InitCheck(), B_BAD_VALUE);
}


TEST_F(StorageTest, FileObjectRefusesDirectories)
{
	BFile readOnly(fTemp->Path().c_str(), B_READ_ONLY);
	EXPECT_EQ(readOnly.InitCheck(), B_FROM_POSIX_ERROR(EISDIR));
	BFile readWrite(fTemp->Path().c_str(), B_READ_WRITE | B_CREATE_FILE);
	EXPECT_EQ(readWrite.InitCheck(), B_FROM_POSIX_ERROR(EISDIR));
	EXPECT_EQ(readWrite.Write("x", 1), B_FROM_POSIX_ERROR(EISDIR));
}


TEST_F(StorageTest, ReadAndWriteFollowThePosition)
{
	std::string path = MakeFile("file");
	BFile file(path.c_str(), B_READ_WRITE);
	EXPECT_EQ(file.Write("Hello !\n", 8), 8);
	EXPECT_EQ(file.WriteAt(2, "LL", 2), 2);
	char buffer[16] = {};
	EXPECT_EQ(file.ReadAt(0, buffer, sizeof(buffer)), 8);
	EXPECT_STREQ(buffer, "HeLLo !\n");
	EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0);
	off_t size = 0;
	EXPECT_EQ(file.GetSize(&size), B_OK);
	EXPECT_EQ(size, 8);
	file.Unset();
	EXPECT_EQ(file.InitCheck(), B_NO_INIT);
	EXPECT_EQ(file.Write("x", 1), B_NO_INIT);
}


// #pragma mark - BDirectory and BEntry


TEST_F(StorageTest, DirectoryFindsEntriesWithoutFollowingLinks)
{
	std::string folder = fTemp->Sub("folder");
	ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
	MakeFile("folder/present", "x");
	ASSERT_EQ(symlink("nowhere", (folder + "/dangling").c_str()), 0);

	BDirectory directory(folder.c_str());
	ASSERT_EQ(directory.InitCheck(), B_OK);
	BEntry entry;
	EXPECT_EQ(directory.FindEntry("present", &entry), B_OK);
	EXPECT_TRUE(entry.IsFile());
	BPath path;
	EXPECT_EQ(entry.GetPath(&path), B_OK);
	EXPECT_STREQ(path.Path(), (folder + "/present").c_str());

	EXPECT_EQ(directory.FindEntry("absent", &entry), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(entry.InitCheck(), B_NO_INIT);

	EXPECT_EQ(directory.FindEntry("dangling", &entry, false), B_OK);
	EXPECT_TRUE(entry.IsSymLink());
	EXPECT_EQ(directory.FindEntry("dangling", &entry, true), B_ENTRY_NOT_FOUND);

	BDirectory missing(fTemp->Sub("absent").c_str());
	EXPECT_EQ(missing.InitCheck(), B_FROM_POSIX_ERROR(ENOENT));
	EXPECT_EQ(missing.FindEntry("present", &entry), B_FROM_POSIX_ERROR(ENOENT));
	BDirectory notDirectory((folder + "/present").c_str());
	EXPECT_EQ(notDirectory.InitCheck(), B_FROM_POSIX_ERROR(ENOTDIR));
}


TEST_F(StorageTest, CreateFileWorksInTheDirectoryItself)
{
	std::string folder = fTemp->Sub("folder");
	ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
	std::string elsewhere = fTemp->Sub("elsewhere");
	ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
	char oldDirectory[4096];
	ASSERT_NE(getcwd(oldDirectory, sizeof(oldDirectory)), nullptr);
	ASSERT_EQ(chdir(elsewhere.c_str()), 0);

	BDirectory directory(folder.c_str());
	BFile file;
	EXPECT_EQ(directory.CreateFile("made", &file, true), B_OK);
	EXPECT_EQ(file.InitCheck(), B_OK);
	EXPECT_TRUE(file.IsReadable());
	EXPECT_EQ(file.Write("data", 4), 4);
	EXPECT_EQ(file.WriteAttr("kept", B_INT32_TYPE, 0, "1234", 4), 4);
	EXPECT_EQ(read_file(folder + "/made"), "data");
	EXPECT_NE(access((elsewhere + "/made").c_str(), F_OK), 0);

	EXPECT_EQ(directory.CreateFile("made", &file, true), B_FROM_POSIX_ERROR(EEXIST));
	EXPECT_EQ(file.InitCheck(), B_FROM_POSIX_ERROR(EEXIST));
	// Without failIfExists the data starts over; attributes stay.
	EXPECT_EQ(directory.CreateFile("made", &file, false), B_OK);
	EXPECT_EQ(read_file(folder + "/made"), "");
	char kept[4];
	EXPECT_EQ(file.ReadAttr("kept", B_INT32_TYPE, 0, kept, 4), 4);

	BDirectory unset;
	EXPECT_EQ(unset.CreateFile("made", &file, false), B_NO_INIT);
	EXPECT_EQ(file.InitCheck(), B_NO_INIT);
	ASSERT_EQ(chdir(oldDirectory), 0);
}


TEST_F(StorageTest, EntryRefLeadsBackToThePath)
{
	std::string path = MakeFile("target");
	BEntry entry(path.c_str());
	entry_ref ref;
	ASSERT_EQ(entry.GetRef(&ref), B_OK);
	EXPECT_STREQ(ref.name, "target");
	struct stat directoryStat;
	ASSERT_EQ(stat(fTemp->Path().c_str(), &directoryStat), 0);
	EXPECT_EQ(ref.directory, directoryStat.st_ino);
	EXPECT_EQ(ref.device, directoryStat.st_dev);

	entry_ref copy = ref;
	EXPECT_EQ(copy, ref);
	BPath back;
	EXPECT_EQ(back.SetTo(&copy), B_OK);
	EXPECT_STREQ(back.Path(), path.c_str());

	entry_ref empty;
	EXPECT_EQ(back.SetTo(&empty), B_BAD_VALUE);
	EXPECT_EQ(back.Path(), nullptr);

	// An entry that does not exist yet is fine, one without a directory is not.
	BEntry abstract(fTemp->Sub("later").c_str());
	EXPECT_EQ(abstract.InitCheck(), B_OK);
	EXPECT_FALSE(abstract.Exists());
	BEntry orphan(fTemp->Sub("no/such").c_str());
	EXPECT_EQ(orphan.InitCheck(), B_ENTRY_NOT_FOUND);
}


// #pragma mark - BPath


TEST_F(StorageTest, PathAppendsPlainly)
{
	BPath path("/a/b/");
	EXPECT_STREQ(path.Path(), "/a/b");
	EXPECT_EQ(path.Append("RDX"), B_OK);
	EXPECT_EQ(path.Append("../RDX_settings"), B_OK);
	EXPECT_STREQ(path.Path(), "/a/b/RDX/../RDX_settings");
	EXPECT_STREQ(path.Leaf(), "RDX_settings");
	EXPECT_EQ(path.Append("/absolute"), B_BAD_VALUE);

	BPath normalized("/a/./b//c/..", nullptr, true);
	EXPECT_STREQ(normalized.Path(), "/a/b");

	BPath unset;
	EXPECT_EQ(unset.InitCheck(), B_NO_INIT);
	EXPECT_EQ(unset.Path(), nullptr);
	EXPECT_EQ(unset.Append("RDX"), B_NO_INIT);
	EXPECT_EQ(unset.Path(), nullptr);

	char oldDirectory[4096];
	ASSERT_NE(getcwd(oldDirectory, sizeof(oldDirectory)), nullptr);
	ASSERT_EQ(chdir(fTemp->Path().c_str()), 0);
	BPath relative("x", "y");
	ASSERT_EQ(chdir(oldDirectory), 0);
	char real[4096];
	ASSERT_NE(realpath(fTemp->Path().c_str(), real), nullptr);
	EXPECT_EQ(std::string(relative.Path()), std::string(real) + "/x/y");
}


// #pragma mark - find_directory


TEST_F(StorageTest, SettingsDirectoryFollowsTheXdgRules)
{
	BPath path;
	ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path), B_OK);
	EXPECT_EQ(std::string(path.Path()), fTemp->Sub("config"));
	EXPECT_NE(access(path.Path(), F_OK), 0);

	unsetenv("XDG_CONFIG_HOME");
	ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path), B_OK);
	EXPECT_EQ(std::string(path.Path()), fTemp->Sub("home/.config"));

	// A relative value is not a valid XDG directory.
	setenv("XDG_CONFIG_HOME", "relative/config", 1);
	ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path), B_OK);
	EXPECT_EQ(std::string(path.Path()), fTemp->Sub("home/.config"));

	setenv("XDG_CONFIG_HOME", "", 1);
	ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path), B_OK);
	EXPECT_EQ(std::string(path.Path()), fTemp->Sub("home/.config"));

	EXPECT_EQ(find_directory(B_USER_DIRECTORY, &path), B_OK);
	EXPECT_EQ(std::string(path.Path()), fTemp->Sub("home"));
	EXPECT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, nullptr), B_BAD_VALUE);
}


TEST_F(StorageTest, SettingsDirectoryIsMadePrivateWhenAskedFor)
{
	mode_t oldUmask = umask(0);
	setenv("XDG_CONFIG_HOME", fTemp->Sub("deep/er/config").c_str(), 1);
	BPath path;
	EXPECT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path, true), B_OK);
	umask(oldUmask);
	EXPECT_TRUE(S_ISDIR(mode_of(fTemp->Sub("deep/er/config"))));
	EXPECT_EQ(mode_of(fTemp->Sub("deep/er/config")) & 0777, 0700u);
	EXPECT_EQ(mode_of(fTemp->Sub("deep")) & 0777, 0700u);

	// Asking again for an existing directory changes nothing.
	ASSERT_EQ(chmod(fTemp->Sub("deep/er/config").c_str(), 0750), 0);
	EXPECT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path, true), B_OK);
	EXPECT_EQ(mode_of(fTemp->Sub("deep/er/config")) & 0777, 0750u);

	std::string blocker = MakeFile("blocker");
	setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);
	status_t status = find_directory(B_USER_SETTINGS_DIRECTORY, &path, true);
	EXPECT_EQ(status, B_FROM_POSIX_ERROR(ENOTDIR));
	EXPECT_STREQ(strerror((ssize_t)status), "Not a directory");
	EXPECT_EQ(read_file(blocker), "");
}
