#ifndef BENCH_WINDOW_WATCHER_H
#define BENCH_WINDOW_WATCHER_H

#include <cstdint>
#include <set>
#include <string>

typedef struct _XDisplay Display;

// The benchmark's own connection to the X server, watching the root window
// for top-level windows being created and mapped, and reading pixels of a
// window to see when the program has painted it.
class WindowWatcher {
public:
	struct Mapped {
		unsigned long	window = 0;
		int				x = 0;
		int				y = 0;
		int				width = 0;
		int				height = 0;
		int64_t			mappedNs = 0;
	};

							WindowWatcher(const char* display);
							~WindowWatcher();

							WindowWatcher(const WindowWatcher&) = delete;
			WindowWatcher&	operator=(const WindowWatcher&) = delete;

			bool			IsValid() const { return fDisplay != nullptr; }

			// Forgets every window seen so far: only windows created after
			// this count for the next WaitForMap().
			void			Reset();
			// Waits for a top-level window created since Reset() to be
			// mapped.
			bool			WaitForMap(double seconds, Mapped* mapped);
			// Reads the pixel at (x, y) of the window every half millisecond
			// until it has the colour; the time it was first seen.
			bool			WaitForColor(unsigned long window, int x, int y,
								uint8_t red, uint8_t green, uint8_t blue,
								double seconds, int64_t* seenNs);

private:
			bool			_ReadPixel(unsigned long window, int x, int y,
								uint32_t* rgb);

			Display*		fDisplay = nullptr;
			std::set<unsigned long> fCreated;
};

#endif
