#include "WindowWatcher.h"

#include "BenchClock.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <poll.h>

namespace {

// A window may go away between the event and the pixel read; that is an
// answer ("not painted"), not a reason to end the benchmark.
int
ignore_errors(Display*, XErrorEvent*)
{
	return 0;
}


int
mask_shift(unsigned long mask)
{
	int shift = 0;
	while (mask != 0 && (mask & 1) == 0) {
		mask >>= 1;
		shift++;
	}
	return shift;
}

}	// namespace


WindowWatcher::WindowWatcher(const char* display)
{
	fDisplay = XOpenDisplay(display);
	if (fDisplay == nullptr) {
		fprintf(stderr, "rdx-bench: cannot open the X display %s\n",
			display != nullptr ? display : "(DISPLAY)");
		return;
	}
	XSetErrorHandler(ignore_errors);
	XSelectInput(fDisplay, DefaultRootWindow(fDisplay),
		SubstructureNotifyMask);
	XSync(fDisplay, False);
}


WindowWatcher::~WindowWatcher()
{
	if (fDisplay != nullptr)
		XCloseDisplay(fDisplay);
}


void
WindowWatcher::Reset()
{
	XSync(fDisplay, False);
	while (XPending(fDisplay) > 0) {
		XEvent event;
		XNextEvent(fDisplay, &event);
	}
	fCreated.clear();
}


bool
WindowWatcher::WaitForMap(double seconds, Mapped* mapped)
{
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		while (XPending(fDisplay) > 0) {
			XEvent event;
			XNextEvent(fDisplay, &event);
			if (event.type == CreateNotify) {
				fCreated.insert(event.xcreatewindow.window);
				continue;
			}
			if (event.type != MapNotify
				|| fCreated.count(event.xmap.window) == 0)
				continue;
			mapped->mappedNs = bench_now_ns();
			mapped->window = event.xmap.window;
			XWindowAttributes attributes;
			if (!XGetWindowAttributes(fDisplay, mapped->window, &attributes))
				continue;
			mapped->x = attributes.x;
			mapped->y = attributes.y;
			mapped->width = attributes.width;
			mapped->height = attributes.height;
			return true;
		}
		int64_t left = end - bench_now_ns();
		if (left <= 0)
			return false;
		pollfd entry = {ConnectionNumber(fDisplay), POLLIN, 0};
		poll(&entry, 1, (int)(left / 1000000) + 1);
	}
}


bool
WindowWatcher::WaitForColor(unsigned long window, int x, int y, uint8_t red,
	uint8_t green, uint8_t blue, double seconds, int64_t* seenNs)
{
	uint32_t wanted = ((uint32_t)red << 16) | ((uint32_t)green << 8) | blue;
	int64_t end = bench_now_ns() + (int64_t)(seconds * 1e9);
	for (;;) {
		uint32_t rgb;
		if (_ReadPixel(window, x, y, &rgb) && rgb == wanted) {
			*seenNs = bench_now_ns();
			return true;
		}
		if (bench_now_ns() > end)
			return false;
		bench_sleep_ms(0.5);
	}
}


bool
WindowWatcher::_ReadPixel(unsigned long window, int x, int y, uint32_t* rgb)
{
	XImage* image = XGetImage(fDisplay, window, x, y, 1, 1, AllPlanes,
		ZPixmap);
	if (image == nullptr)
		return false;
	unsigned long pixel = XGetPixel(image, 0, 0);
	Visual* visual = DefaultVisual(fDisplay, DefaultScreen(fDisplay));
	auto channel = [&](unsigned long mask) {
		unsigned long value = (pixel & mask) >> mask_shift(mask);
		unsigned long top = mask >> mask_shift(mask);
		return (uint32_t)(top == 0 ? 0 : value * 255 / top);
	};
	*rgb = (channel(visual->red_mask) << 16) | (channel(visual->green_mask) << 8)
		| channel(visual->blue_mask);
	XDestroyImage(image);
	return true;
}
