#include "WindowTestSupport.h"

#include "ChildProcess.h"

#include <Message.h>
#include <RDXDefs.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>


ForwardingApp* gApp = nullptr;


OutputCapture::OutputCapture()
{
	const char* base = getenv("TMPDIR");
	fPath = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/rdx-window-out-XXXXXX";
	int fd = mkstemp(fPath.data());
	if (fd < 0) {
		ADD_FAILURE() << "cannot make the capture file";
		return;
	}
	fflush(stdout);
	fSaved = dup(STDOUT_FILENO);
	dup2(fd, STDOUT_FILENO);
	close(fd);
}


OutputCapture::~OutputCapture()
{
	fflush(stdout);
	if (fSaved >= 0) {
		dup2(fSaved, STDOUT_FILENO);
		close(fSaved);
	}
	// Kept in the test's log for whoever reads a failure.
	std::string text = read_file(fPath);
	if (::testing::Test::HasFailure())
		printf("---- output of the window ----\n%s---- end ----\n", text.c_str());
	unlink(fPath.c_str());
}


std::string
OutputCapture::Text() const
{
	fflush(stdout);
	return read_file(fPath);
}


bool
OutputCapture::WaitFor(const std::string& text, double seconds) const
{
	return wait_for([&] { return Text().find(text) != std::string::npos; },
		seconds);
}


int
OutputCapture::Count(const std::string& text) const
{
	return count_of(Text(), text);
}


ForwardingApp::ForwardingApp()
	:
	BApplication("application/x-vnd-RDX-window-test")
{
}


namespace {

const uint32 kSyncCode = 'sync';

}	// namespace


void
ForwardingApp::MessageReceived(BMessage* message)
{
	if (message->what == kSyncCode) {
		std::lock_guard<std::mutex> guard(fLock);
		fSyncs++;
		fReloadsAtSync = fReloads;
		return;
	}
	if (!IsWindowCode(message->what)) {
		BApplication::MessageReceived(message);
		return;
	}
	if (message->what == RDX_MSG_RELOAD) {
		std::lock_guard<std::mutex> guard(fLock);
		fReloads++;
	}
	RDXWindow* window;
	BMessenger messenger;
	{
		std::lock_guard<std::mutex> guard(fLock);
		window = fWindow;
		messenger = fWindowMessenger;
	}
	if (window != nullptr && messenger.LockTarget()) {
		window->MessageReceived(message);
		window->Unlock();
	}
}


void
ForwardingApp::SetWindow(RDXWindow* window)
{
	std::lock_guard<std::mutex> guard(fLock);
	fWindow = window;
	fWindowMessenger = window != nullptr ? BMessenger(window) : BMessenger();
}


int
ForwardingApp::ReloadCount()
{
	std::lock_guard<std::mutex> guard(fLock);
	return fReloads;
}


int
ForwardingApp::ReloadsWhenSynced(double seconds)
{
	int syncs;
	{
		std::lock_guard<std::mutex> guard(fLock);
		syncs = fSyncs;
	}
	BMessage sync(kSyncCode);
	if (be_app_messenger.SendMessage(&sync) != B_OK)
		return -1;
	bool arrived = wait_for([&] {
		std::lock_guard<std::mutex> guard(fLock);
		return fSyncs > syncs;
	}, seconds);
	std::lock_guard<std::mutex> guard(fLock);
	return arrived ? fReloadsAtSync : -1;
}


void
WindowTest::SetUp()
{
	fHome = std::make_unique<TempDir>("rdx-window");
	mkdir(fHome->Sub("home").c_str(), 0700);
	setenv("HOME", fHome->Sub("home").c_str(), 1);
	setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
	fOutput = std::make_unique<OutputCapture>();
}


void
WindowTest::TearDown()
{
	EndWindow();
	fOutput.reset();
	fHome.reset();
}


RDXWindow*
WindowTest::Build(const seed::Values& values, BRect frame)
{
	EXPECT_TRUE(seed::Write(ConfigHome(), values)) << strerror(errno);
	// The application's loop waits while the window is built, as it does
	// in the program, so that the reports of a start-up request find it.
	gApp->Lock();
	fWindow = new RDXWindow(frame);
	gApp->SetWindow(fWindow);
	gApp->Unlock();
	fShown = false;
	return fWindow;
}


void
WindowTest::Show()
{
	fWindow->Show();
	fShown = true;
}


void
WindowTest::EndWindow()
{
	if (fWindow == nullptr)
		return;
	gApp->Lock();
	gApp->SetWindow(nullptr);
	gApp->Unlock();
	RDXWindow* window = fWindow;
	fWindow = nullptr;
	if (!fShown) {
		// A window that never ran is deleted at once.
		window->Quit();
		return;
	}
	BMessenger messenger(window);
	window->Quit();
	EXPECT_TRUE(wait_for([&] { return !messenger.IsValid(); }, 30))
		<< "the window did not end";
}


void
WindowTest::PostToApp(BMessage* message)
{
	ASSERT_EQ(B_OK, be_app_messenger.SendMessage(message));
}


void
WindowTest::PostToWindow(BMessage* message)
{
	ASSERT_TRUE(fShown) << "a window that does not run takes no messages";
	ASSERT_EQ(B_OK, fWindow->PostMessage(message));
}


bool
IsChildRun()
{
	return getenv("RDX_WINDOW_CHILD_RUN") != nullptr;
}


::testing::AssertionResult
ChildRun(const std::string& testName,
	const std::vector<std::pair<std::string, std::string>>& environment)
{
	ChildProcess::Options options;
	options.environment["RDX_WINDOW_CHILD_RUN"] = "1";
	// An empty value removes the variable.
	for (const auto& [name, value] : environment) {
		if (value.empty())
			options.unset.push_back(name);
		else
			options.environment[name] = value;
	}
	ChildProcess child({"/proc/self/exe", "--gtest_filter=" + testName},
		options);
	int status = -1;
	if (!child.Wait(90, &status))
		return ::testing::AssertionFailure() << "the child did not end";
	std::string output = child.Output();
	if (status != 0 || output.find("[  PASSED  ] 1 test") == std::string::npos)
		return ::testing::AssertionFailure() << "status " << status << "\n"
			<< output << child.Errors();
	return ::testing::AssertionSuccess();
}
