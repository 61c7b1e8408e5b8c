#include "StorageTestSupport.h"

#include "ChildProcess.h"

#include <Entry.h>
#include <Mime.h>
#include <Path.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The desktop's type database keeps what it read from the environment for
// the life of the process, so every lookup runs in a child of its own with
// the test's XDG directories. The child reports through a pipe.
class MimeTypeTest : public StorageTest {
protected:
	void SetUp() override
	{
		StorageTest::SetUp();
		for (const char* directory : {"config", "config-dirs", "data",
				"data/applications", "data-dirs", "bin", "tools"}) {
			mkdir(fTemp->Sub(directory).c_str(), 0755);
		}
	}

	void WriteFile(const std::string& name, const std::string& text,
		mode_t mode = 0644)
	{
		MakeFile(name, text);
		chmod(fTemp->Sub(name).c_str(), mode);
	}

	void AddBrowser(const std::string& id, const std::string& exec)
	{
		WriteFile("data/applications/" + id,
			"[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" + exec
			+ " %u\nMimeType=text/html;\n");
	}

	void SetDefault(const std::string& id)
	{
		WriteFile("config/mimeapps.list",
			"[Default Applications]\ntext/html=" + id + "\n");
	}

	// The child runs in the temporary directory, with the test's bin
	// directory first in PATH unless another PATH is given.
	std::string InChild(const std::function<std::string()>& lookup,
		const std::string& searchPath = "")
	{
		int pipeFds[2];
		if (pipe(pipeFds) != 0)
			return "pipe failed";
		pid_t child = fork();
		if (child == 0) {
			close(pipeFds[0]);
			setenv("XDG_CONFIG_HOME", fTemp->Sub("config").c_str(), 1);
			setenv("XDG_CONFIG_DIRS", fTemp->Sub("config-dirs").c_str(), 1);
			setenv("XDG_DATA_HOME", fTemp->Sub("data").c_str(), 1);
			setenv("XDG_DATA_DIRS", fTemp->Sub("data-dirs").c_str(), 1);
			setenv("PATH", searchPath.empty()
				? (fTemp->Sub("bin") + ":/usr/bin:/bin").c_str()
				: searchPath.c_str(), 1);
			if (chdir(fTemp->Path().c_str()) != 0)
				_exit(1);
			unsetenv("XDG_CURRENT_DESKTOP");
			std::string answer = lookup();
			ssize_t ignored = write(pipeFds[1], answer.data(), answer.size());
			(void)ignored;
			_exit(0);
		}
		close(pipeFds[1]);
		std::string answer;
		char buffer[1024];
		struct pollfd poller = {pipeFds[0], POLLIN, 0};
		while (poll(&poller, 1, 30000) > 0) {
			ssize_t count = read(pipeFds[0], buffer, sizeof(buffer));
			if (count <= 0)
				break;
			answer.append(buffer, (size_t)count);
		}
		close(pipeFds[0]);
		kill(child, SIGKILL);
		int status;
		waitpid(child, &status, 0);
		return answer;
	}
};


// The browser's signature and program path as the page launcher finds them,
// or where the lookup stopped.
std::string
lookup_browser()
{
	BMimeType htmlType("text/html");
	char signature[B_MIME_TYPE_LENGTH];
	strcpy(signature, "untouched");
	status_t status = htmlType.GetPreferredApp(signature, B_OPEN);
	if (status != B_OK)
		return std::string("no preferred app: ") + strerror((ssize_t)status)
			+ " [" + signature + "]";
	BMimeType appType(signature);
	entry_ref ref;
	status = appType.GetAppHint(&ref);
	if (status != B_OK)
		return std::string(signature) + " not found: " + strerror((ssize_t)status);
	BPath path;
	status = path.SetTo(&ref);
	if (status != B_OK)
		return "no path";
	return std::string(signature) + " " + path.Path();
}

}	// namespace


TEST_F(MimeTypeTest, PreferredBrowserIsTheDesktopDefault)
{
	WriteFile("bin/rdx-test-browser", "#!/bin/sh\nexit 0\n", 0755);
	WriteFile("bin/rdx-other-browser", "#!/bin/sh\nexit 0\n", 0755);
	AddBrowser("a-other-browser.desktop", "rdx-other-browser");
	AddBrowser("rdx-test-browser.desktop", "rdx-test-browser");
	SetDefault("rdx-test-browser.desktop");

	EXPECT_EQ(InChild(lookup_browser),
		"rdx-test-browser.desktop " + fTemp->Sub("bin/rdx-test-browser"));

	SetDefault("a-other-browser.desktop");
	EXPECT_EQ(InChild(lookup_browser),
		"a-other-browser.desktop " + fTemp->Sub("bin/rdx-other-browser"));
}


TEST_F(MimeTypeTest, ProgramGivenWithItsPathIsKept)
{
	WriteFile("tools/browser", "#!/bin/sh\nexit 0\n", 0755);
	AddBrowser("rdx-test-browser.desktop", fTemp->Sub("tools/browser"));
	SetDefault("rdx-test-browser.desktop");
	EXPECT_EQ(InChild(lookup_browser),
		"rdx-test-browser.desktop " + fTemp->Sub("tools/browser"));
}


TEST_F(MimeTypeTest, NoDefaultApplication)
{
	std::string answer = InChild(lookup_browser);
	EXPECT_EQ(answer, "no preferred app: No such file or directory [untouched]");
}


TEST_F(MimeTypeTest, BrowserWhoseProgramIsMissingGivesNoPath)
{
	AddBrowser("rdx-gone.desktop", "rdx-no-such-browser-program");
	SetDefault("rdx-gone.desktop");
	EXPECT_EQ(InChild(lookup_browser),
		"no preferred app: No such file or directory [untouched]");
}


TEST_F(MimeTypeTest, ProgramFoundOnlyThroughARelativeSearchPathIsRefused)
{
	// The desktop itself accepts such a program; a path that depends on the
	// working directory is not one to start a browser from.
	ASSERT_EQ(mkdir(fTemp->Sub("relative-bin").c_str(), 0755), 0);
	WriteFile("relative-bin/rdx-relative-browser", "#!/bin/sh\nexit 0\n", 0755);
	AddBrowser("rdx-relative.desktop", "rdx-relative-browser");
	SetDefault("rdx-relative.desktop");
	EXPECT_EQ(InChild(lookup_browser, "relative-bin:/usr/bin:/bin"),
		"rdx-relative.desktop not found: No such file or directory");

	// The same program through an absolute entry is found.
	EXPECT_EQ(InChild(lookup_browser,
			fTemp->Sub("relative-bin") + ":/usr/bin:/bin"),
		"rdx-relative.desktop " + fTemp->Sub("relative-bin/rdx-relative-browser"));
}


TEST_F(MimeTypeTest, TypesAndSignaturesAreChecked)
{
	EXPECT_EQ(BMimeType("text/html").InitCheck(), B_OK);
	EXPECT_EQ(BMimeType("org.example.Browser.desktop").InitCheck(), B_OK);
	EXPECT_EQ(BMimeType("application/x-vnd-RDX-BeOS").InitCheck(), B_OK);
	for (const char* bad : {"", "text html", "text/html/x", "/html", "text/",
			"a'b", "a;b"}) {
		BMimeType type(bad);
		EXPECT_EQ(type.InitCheck(), B_BAD_VALUE) << bad;
		char signature[B_MIME_TYPE_LENGTH];
		EXPECT_EQ(type.GetPreferredApp(signature), B_BAD_VALUE) << bad;
		entry_ref ref;
		EXPECT_EQ(type.GetAppHint(&ref), B_BAD_VALUE) << bad;
	}
	std::string tooLong(B_MIME_TYPE_LENGTH, 'a');
	EXPECT_EQ(BMimeType(tooLong.c_str()).InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BMimeType(nullptr).InitCheck(), B_BAD_VALUE);
}


TEST_F(MimeTypeTest, AppHintOfAPlainTypeFails)
{
	std::string answer = InChild([] {
		entry_ref ref;
		return std::string(strerror((ssize_t)BMimeType("text/html").GetAppHint(&ref)));
	});
	EXPECT_EQ(answer, "No such file or directory");
}
