#ifndef TEST_RDX_PROGRAM_H
#define TEST_RDX_PROGRAM_H

// The rdx program as the operator starts it, on an X server of the test's
// own, with a home and settings directory of its own that are seeded
// (board address on loopback) before it starts; driven with rdx-send over
// its real socket and with real clicks and keys.

#include "ChildProcess.h"
#include "SettingsSeed.h"
#include "TempDir.h"
#include "XTools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Points of the window's content where the controls are (the box sits at
// 10, 5 in the window).
struct WindowPoint {
	int		x;
	int		y;
};

extern const WindowPoint kUseCheckBox;
extern const WindowPoint kAddressField;
extern const WindowPoint kHoldTimeField;

class RdxProgram {
public:
	// Where the settings live: extended attributes of the settings file, or
	// the store beside it (for file systems that refuse the attributes).
	enum Storage { kAttributes, kStore };

	// The program runs on the display; its directories go below a fresh
	// temporary directory whose name begins with the prefix.
							RdxProgram(const std::string& display,
								const char* prefix,
								Storage storage = kAttributes);
							~RdxProgram();

	// The temporary directory that holds home, config, run, data,
	// data-dirs and state.
			const TempDir&	Directory() const { return *fHome; }
			std::string		ConfigHome() const { return fHome->Sub("config"); }
			std::string		SettingsDirectory() const
								{ return ConfigHome() + "/RDX"; }
	// Where the access log goes: StateHome()/RDX/access.log.
			std::string		StateHome() const { return fHome->Sub("state"); }
			std::string		AccessLogFile() const
								{ return StateHome() + "/RDX/access.log"; }
			std::string		SocketPath() const;

	// Stores the settings the program will find.
			bool			Seed(const seed::Values& values);
			std::optional<std::string> Stored(const std::string& name) const;
			bool			WaitForStored(const std::string& name,
								const std::string& value,
								double seconds = 15) const;

	// Starts rdx, with extra environment variables if any; the board
	// address must have been seeded. Waits for the window and the start-up
	// line. A program that ran before is replaced.
			testing::AssertionResult Start(
								const std::map<std::string, std::string>&
									environment = {});
	// Starts rdx with no settings at all, as on a first start: it then
	// reaches for the default board. Refused unless this process is in a
	// network namespace whose only interface is loopback.
			testing::AssertionResult StartWithoutSettings();
	// Whether the only network interface here is loopback.
	static	bool			OnlyLoopback();
			bool			Started() const { return fRdx != nullptr; }
			bool			Running() { return fRdx != nullptr
								&& fRdx->Running(); }
			pid_t			Pid() const { return fRdx->Pid(); }
			unsigned long	Window() const { return fWindow; }
			void			Signal(int signal) { fRdx->Signal(signal); }
	// Runs another rdx with the same directories beside this one and waits
	// for its end: its exit status (-1 when it still ran after the time,
	// and was killed), output and errors.
			int				RunSecond(double seconds, std::string* output,
								std::string* errors) const;
	// Asks a program that still runs to end, then makes sure it did.
			void			Stop();

			std::string		Output() const;
			std::string		Errors() const;
			int				Count(const std::string& text) const
								{ return count_of(Output(), text); }
			int				CountErrors(const std::string& text) const
								{ return count_of(Errors(), text); }
			bool			WaitForCount(const std::string& text, int count,
								double seconds = 15) const;

	// rdx-send with the arguments; its exit status, -1 when it hung.
			int				Send(const std::vector<std::string>& arguments);
	// Posts a message of its own and waits until the application has
	// printed it, so that whatever reached it before has been handled.
			bool			Sync();

			bool			Click(WindowPoint point);
	// Clicks into a text field, replaces its text by typing it (a key every
	// typingDelay milliseconds) and presses Return.
			bool			Enter(WindowPoint field, const std::string& text,
								int typingDelay = 8);

	// Closes the window as a window manager does and waits for the end;
	// the exit status, or -1.
			int				CloseAndWait();
			int				WaitForExit();

	// What it printed, for a failed test.
			std::string		Transcript() const;

private:
			ChildProcess::Options _Options(const std::map<std::string,
								std::string>& environment) const;
			testing::AssertionResult _Start(
								const std::map<std::string, std::string>&
									environment);

			std::string		fDisplay;
			Storage			fStorage;
			std::unique_ptr<TempDir> fHome;
			XTools			fTools;
			std::unique_ptr<ChildProcess> fRdx;
			unsigned long	fWindow = 0;
			WindowPoint		fLastClick = {-1, -1};
			int				fSyncs = 0;
};

#endif
