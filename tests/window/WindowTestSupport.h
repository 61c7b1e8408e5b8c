#ifndef TEST_WINDOW_TEST_SUPPORT_H
#define TEST_WINDOW_TEST_SUPPORT_H

#include "SettingsSeed.h"
#include "TempDir.h"

#include <Application.h>
#include <Messenger.h>
#include <Rect.h>
#include <View.h>
#include <Window.h>

#include <RDXWindow.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The standard output (file descriptor 1) goes to a file while the object
// lives, so that a test reads the lines printed from any thread.
class OutputCapture {
public:
							OutputCapture();
							~OutputCapture();

							OutputCapture(const OutputCapture&) = delete;
			OutputCapture&	operator=(const OutputCapture&) = delete;

			std::string		Text() const;
			bool			WaitFor(const std::string& text,
								double seconds) const;
			int				Count(const std::string& text) const;

private:
			std::string		fPath;
			int				fSaved = -1;
};

// The test process's application. Like the program's own, it hands the
// system's message codes to the window's handler on its own thread; its loop
// runs on a thread of its own so that the test thread stays free.
class ForwardingApp : public BApplication {
public:
							ForwardingApp();

			void			MessageReceived(BMessage* message) override;
			void			SetWindow(RDXWindow* window);

			int				ReloadCount();
	// Posts a marker behind everything queued so far and waits for it;
	// the reloads counted when it arrived, or -1.
			int				ReloadsWhenSynced(double seconds = 10);

private:
			std::mutex		fLock;
			RDXWindow*		fWindow = nullptr;
			BMessenger		fWindowMessenger;
			int				fReloads = 0;
			int				fSyncs = 0;
			int				fReloadsAtSync = 0;
};

extern ForwardingApp* gApp;

// Each test has its own settings directory, seeded before the window is
// built, and its own output capture.
class WindowTest : public ::testing::Test {
protected:
			void			SetUp() override;
			void			TearDown() override;

			std::string		ConfigHome() const { return fHome->Sub("config"); }

	// Seeds the settings and builds the window on the application's
	// behalf (its loop waits meanwhile, as it does while the program's
	// application object builds the window).
			RDXWindow*		Build(const seed::Values& values,
								BRect frame = BRect(30, 50, 430, 175));
	// Starts the window's own loop.
			void			Show();
	// Ends the window (and its relays) and waits until it is gone.
			void			EndWindow();

	// A view of the window by its name; fails the test when missing.
			template<typename ViewType>
			ViewType*		Find(const char* name);

	// Posts a message to the application, as a worker or another program
	// does.
			void			PostToApp(BMessage* message);
	// Posts a message to the window's own queue, as a control does.
			void			PostToWindow(BMessage* message);

			std::unique_ptr<TempDir> fHome;
			std::unique_ptr<OutputCapture> fOutput;
			RDXWindow*		fWindow = nullptr;
			bool			fShown = false;
};

template<typename ViewType>
ViewType*
WindowTest::Find(const char* name)
{
	BView* view = fWindow->FindView(name);
	EXPECT_NE(nullptr, view) << "no view named " << name;
	ViewType* typed = dynamic_cast<ViewType*>(view);
	EXPECT_NE(nullptr, typed) << name << " is of another class";
	return typed;
}

// For cases that must run in a fresh process (the language is chosen once
// per process): true inside the child that ChildRun starts.
bool IsChildRun();
// Runs the named test in a child process of this test program with the
// extra environment (an empty value removes a variable); the child's output
// when it failed.
::testing::AssertionResult ChildRun(const std::string& testName,
	const std::vector<std::pair<std::string, std::string>>& environment);

#endif
