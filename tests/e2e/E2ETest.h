#ifndef TEST_E2E_TEST_H
#define TEST_E2E_TEST_H

// The whole program, started as the operator starts it: build/src/app/rdx
// as a child process on the test's own X server, with a settings directory
// of the test's own that points at a board simulator on loopback, driven by
// real clicks and keys (xdotool), rdx-send over the real socket, and read
// back through the settings file's real attributes and the screen's pixels.

#include "BoardSim.h"
#include "RdxProgram.h"
#include "UnusedPort.h"
#include "XTools.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// More points of the window's content where the controls are.
extern const WindowPoint kOpenAllButton;
extern const WindowPoint kBrowserButton;
extern const WindowPoint kOwnerButton;
// The round part of radio button k (0 to 3).
WindowPoint RadioPoint(int k);

extern const XTools::Color kGreen;
extern const XTools::Color kRed;
extern const XTools::Color kBackground;

class E2ETest : public ::testing::Test {
protected:
							E2ETest();

			void			SetUp() override;
			void			TearDown() override;

			std::string		ConfigHome() const
								{ return fProgram->ConfigHome(); }
	// A path below the test's own directory, where rdx's home is too.
			std::string		TestPath(const std::string& name) const
								{ return fProgram->Directory().Sub(name); }

	// The board simulator with extra options; its address is what Settings
	// seeds.
			void			StartBoard(
								const std::vector<std::string>& options = {});
	// The usual settings: this test's board, board use, hold time, tag
	// relay; more values may follow.
			seed::Values	Settings(bool use, int32_t hold = 1,
								int32_t tagRelay = 1) const;
	// Seeds the settings and starts rdx; waits for its window and its
	// start-up line.
			void			Start(const seed::Values& values);
			void			Start(const seed::Values& values,
								const std::map<std::string, std::string>&
									environment);

			std::string		Output() const { return fProgram->Output(); }
			int				Count(const std::string& text) const
								{ return fProgram->Count(text); }
			bool			WaitForCount(const std::string& text, int count,
								double seconds = 15) const
								{ return fProgram->WaitForCount(text, count,
									seconds); }

	// rdx-send with the arguments; its exit status.
			int				Send(const std::vector<std::string>& arguments)
								{ return fProgram->Send(arguments); }

			void			Click(WindowPoint point);
	// Clicks into a text field, replaces its text by typing and presses
	// Return.
			void			Enter(WindowPoint field, const std::string& text);

	// A picture of the screen, kept in the build tree under the name.
			std::unique_ptr<Screenshot> Shoot(const std::string& name);
	// Pixels of radio button k that have the colour.
			int				RadioPixels(const Screenshot& shot, int k,
								XTools::Color color);
	// The colour of radio button k near its top right corner, away from
	// its round mark and its label.
			XTools::Color	RadioCorner(const Screenshot& shot, int k);
	// Waits until radio button k is mostly of the colour (and then true).
			bool			WaitForRadioColor(int k, XTools::Color color,
								double seconds = 15);

	// Closes the window as a window manager does and waits for the end;
	// the exit status, or -1.
			int				CloseAndWait()
								{ return fProgram->CloseAndWait(); }
			int				WaitForExit()
								{ return fProgram->WaitForExit(); }

	// The setting as stored, read with getxattr.
			std::optional<std::string> Stored(const std::string& name) const
								{ return fProgram->Stored(name); }
			bool			WaitForStored(const std::string& name,
								const std::string& value,
								double seconds = 15) const
								{ return fProgram->WaitForStored(name, value,
									seconds); }

	// rdx, with its home and settings below a directory of this test's own.
			std::unique_ptr<RdxProgram> fProgram;
			XTools			fTools;
			std::unique_ptr<BoardSim> fBoard;
	// The window of the last start.
			unsigned long	fWindow = 0;
			XTools::Geometry fGeometry;
};

#endif
