#include "XTools.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// No tool here takes long; one that hangs must not hang the test.
const int kToolSeconds = 20;


void
sleep_ms(int milliseconds)
{
	struct timespec delay = {milliseconds / 1000,
		(long)(milliseconds % 1000) * 1000000L};
	nanosleep(&delay, nullptr);
}


double
now()
{
	struct timespec time;
	clock_gettime(CLOCK_MONOTONIC, &time);
	return time.tv_sec + time.tv_nsec / 1e9;
}


int
field_value(const std::string& text, const std::string& label)
{
	size_t at = text.find(label);
	if (at == std::string::npos)
		return -1;
	return atoi(text.c_str() + at + label.size());
}

}	// namespace


XTools::XTools(const std::string& display)
	:
	fDisplay(display)
{
}


bool
XTools::Run(const std::vector<std::string>& argv, std::string* output) const
{
	int fds[2];
	if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
		return false;
	std::string displayEntry = "DISPLAY=" + fDisplay;
	std::vector<char*> args;
	for (const std::string& arg : argv)
		args.push_back(const_cast<char*>(arg.c_str()));
	args.push_back(nullptr);

	pid_t pid = fork();
	if (pid < 0) {
		close(fds[0]);
		close(fds[1]);
		return false;
	}
	if (pid == 0) {
		dup2(fds[1], 1);
		int devNull = open("/dev/null", O_RDWR);
		if (devNull >= 0) {
			dup2(devNull, 0);
			dup2(devNull, 2);
		}
		putenv(displayEntry.data());
		execvp(args[0], args.data());
		_exit(127);
	}
	close(fds[1]);

	std::string collected;
	double end = now() + kToolSeconds;
	bool open = true;
	while (open && now() < end) {
		struct pollfd poller = {fds[0], POLLIN, 0};
		if (poll(&poller, 1, 100) <= 0)
			continue;
		char buffer[65536];
		ssize_t got = read(fds[0], buffer, sizeof(buffer));
		if (got > 0)
			collected.append(buffer, got);
		else if (got == 0 || errno != EINTR)
			open = false;
	}
	close(fds[0]);
	int status = 0;
	while (waitpid(pid, &status, WNOHANG) == 0) {
		if (now() > end) {
			kill(pid, SIGKILL);
			waitpid(pid, &status, 0);
			return false;
		}
		sleep_ms(5);
	}
	if (output != nullptr)
		*output = collected;
	return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}


unsigned long
XTools::FindWindow(const std::string& name, double seconds) const
{
	double end = now() + seconds;
	do {
		std::string output;
		if (Run({"xdotool", "search", "--name", "^" + name + "$"}, &output)) {
			unsigned long window = strtoul(output.c_str(), nullptr, 10);
			if (window != 0)
				return window;
		}
		sleep_ms(50);
	} while (now() < end);
	return 0;
}


bool
XTools::WindowExists(unsigned long window) const
{
	return Run({"xwininfo", "-id", std::to_string(window)});
}


bool
XTools::WaitUntilViewable(unsigned long window, double seconds) const
{
	double end = now() + seconds;
	do {
		std::string output;
		if (Run({"xwininfo", "-id", std::to_string(window)}, &output)
			&& output.find("IsViewable") != std::string::npos)
			return true;
		sleep_ms(20);
	} while (now() < end);
	return false;
}


bool
XTools::GetGeometry(unsigned long window, Geometry* geometry) const
{
	std::string output;
	if (!Run({"xwininfo", "-id", std::to_string(window)}, &output))
		return false;
	geometry->x = field_value(output, "Absolute upper-left X:");
	geometry->y = field_value(output, "Absolute upper-left Y:");
	geometry->width = field_value(output, "Width:");
	geometry->height = field_value(output, "Height:");
	return geometry->width > 0 && geometry->height > 0;
}


bool
XTools::Click(unsigned long window, int x, int y) const
{
	// "mousemove --sync" waits for the pointer to move, forever when it is
	// already there: step off the target first.
	Run({"xdotool", "mousemove", "--window", std::to_string(window),
		std::to_string(x + 7), std::to_string(y + 7)});
	return Run({"xdotool", "mousemove", "--sync", "--window",
		std::to_string(window), std::to_string(x), std::to_string(y),
		"click", "1"});
}


bool
XTools::Key(unsigned long window, const std::string& keys) const
{
	// Without a window manager the keyboard follows the pointer, so the
	// pointer must be over the window.
	std::string output;
	Run({"xdotool", "getmouselocation"}, &output);
	if (output.find("window:" + std::to_string(window)) == std::string::npos)
		Run({"xdotool", "mousemove", "--sync", "--window",
			std::to_string(window), "1", "1"});
	return Run({"xdotool", "key", "--delay", "30", keys});
}


bool
XTools::Type(unsigned long window, const std::string& text) const
{
	// "--": a text that begins with '-' is not an option.
	return Run({"xdotool", "type", "--delay", "30", "--", text});
}


bool
XTools::Move(unsigned long window, int x, int y) const
{
	return Run({"xdotool", "windowmove", std::to_string(window),
		std::to_string(x), std::to_string(y)});
}


bool
XTools::Close(unsigned long window) const
{
	Display* display = XOpenDisplay(fDisplay.c_str());
	if (display == nullptr)
		return false;
	XEvent event;
	memset(&event, 0, sizeof(event));
	event.xclient.type = ClientMessage;
	event.xclient.window = window;
	event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
	event.xclient.format = 32;
	event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
	event.xclient.data.l[1] = CurrentTime;
	Status sent = XSendEvent(display, window, False, NoEventMask, &event);
	XSync(display, False);
	XCloseDisplay(display);
	return sent != 0;
}


Screenshot::Screenshot(const std::string& display, const std::string& pngPath)
{
	XTools tools(display);
	if (!tools.Run({"import", "-window", "root", pngPath}))
		return;
	std::string data;
	if (!tools.Run({"convert", pngPath, "-depth", "8", "ppm:-"}, &data))
		return;
	// P6, width, height, maximum, one blank, then the RGB bytes.
	std::istringstream header(data);
	std::string magic;
	int width = 0;
	int height = 0;
	int maximum = 0;
	header >> magic >> width >> height >> maximum;
	if (magic != "P6" || width <= 0 || height <= 0 || maximum != 255)
		return;
	size_t start = (size_t)header.tellg() + 1;
	size_t size = (size_t)width * height * 3;
	if (data.size() < start + size)
		return;
	fPixels.assign(data.begin() + start, data.begin() + start + size);
	fWidth = width;
	fHeight = height;
}


XTools::Color
Screenshot::At(int x, int y) const
{
	XTools::Color color;
	if (x < 0 || y < 0 || x >= fWidth || y >= fHeight)
		return color;
	size_t at = ((size_t)y * fWidth + x) * 3;
	color.red = fPixels[at];
	color.green = fPixels[at + 1];
	color.blue = fPixels[at + 2];
	return color;
}


int
Screenshot::CountColor(int x, int y, int width, int height,
	XTools::Color color) const
{
	int count = 0;
	for (int row = y; row < y + height; row++) {
		for (int column = x; column < x + width; column++) {
			if (At(column, row) == color)
				count++;
		}
	}
	return count;
}
