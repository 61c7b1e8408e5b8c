#ifndef TEST_X_TOOLS_H
#define TEST_X_TOOLS_H

#include <cstdint>
#include <string>
#include <vector>

// Drives an X server the way an operator would, through xdotool, xwininfo
// and ImageMagick's import, for tests that check real windows.
class XTools {
public:
	struct Geometry {
		int		x = 0;
		int		y = 0;
		int		width = 0;
		int		height = 0;
	};

	struct Color {
		int		red = -1;
		int		green = -1;
		int		blue = -1;

		bool	operator==(const Color& other) const
					{ return red == other.red && green == other.green
						&& blue == other.blue; }
	};

							XTools(const std::string& display);

	// Runs a program with DISPLAY set; its standard output, and whether it
	// ended with status 0.
			bool			Run(const std::vector<std::string>& argv,
								std::string* output = nullptr) const;

	// The first window with exactly this name, polling until the time-out;
	// 0 when none appeared.
			unsigned long	FindWindow(const std::string& name,
								double seconds) const;
			bool			WindowExists(unsigned long window) const;
	// Waits until the window is mapped and shown (a dialog that was just
	// made takes keys only then); false on time-out.
			bool			WaitUntilViewable(unsigned long window,
								double seconds) const;
	// Position of the window's content on the screen, and its size.
			bool			GetGeometry(unsigned long window,
								Geometry* geometry) const;

	// A left click at a point of the window's content.
			bool			Click(unsigned long window, int x, int y) const;
	// Keys by X key names ("Return", "super", "Tab").
			bool			Key(unsigned long window,
								const std::string& keys) const;
			bool			Type(unsigned long window,
								const std::string& text) const;
			bool			Move(unsigned long window, int x, int y) const;
	// Asks the window to close as a window manager's close button does
	// (WM_DELETE_WINDOW).
			bool			Close(unsigned long window) const;

private:
			std::string		fDisplay;
};

// A picture of the whole screen, saved as a PNG (kept for a person to look
// at) and read back for its pixels.
class Screenshot {
public:
	// Takes the picture into the PNG file.
							Screenshot(const std::string& display,
								const std::string& pngPath);

			bool			IsValid() const { return fWidth > 0; }
			int				Width() const { return fWidth; }
			int				Height() const { return fHeight; }
			XTools::Color	At(int x, int y) const;
	// How many pixels of the rectangle have exactly the colour.
			int				CountColor(int x, int y, int width, int height,
								XTools::Color color) const;

private:
			int				fWidth = 0;
			int				fHeight = 0;
			std::vector<uint8_t> fPixels;
};

#endif
