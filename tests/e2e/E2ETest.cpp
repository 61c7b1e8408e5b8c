#include "E2ETest.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kProgram = RDX_BINARY_DIR "/src/app/rdx";
const char* const kSend = RDX_BINARY_DIR "/tools/rdx-send/rdx-send";
const char* const kTitle = "RDX-BeOSApp";


std::string
Display()
{
	const char* display = getenv("DISPLAY");
	return display != nullptr ? display : "";
}

}	// namespace


const WindowPoint kUseCheckBox = {28, 27};
const WindowPoint kOpenAllButton = {313, 71};
const WindowPoint kAddressField = {150, 72};
const WindowPoint kHoldTimeField = {340, 29};
const WindowPoint kBrowserButton = {55, 110};
const WindowPoint kOwnerButton = {150, 110};

const XTools::Color kGreen = {105, 220, 105};
const XTools::Color kRed = {220, 105, 105};
const XTools::Color kBackground = {237, 242, 235};


WindowPoint
RadioPoint(int k)
{
	// Button k is at (234 + 35k, 33) in the box, 31 wide and 20 high.
	return {244 + 35 * k + 8, 48};
}


int
UnusedPort()
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	struct sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	int port = 0;
	if (bind(fd, (struct sockaddr*)&address, sizeof(address)) == 0
		&& getsockname(fd, (struct sockaddr*)&address, &length) == 0) {
		port = ntohs(address.sin_port);
	}
	close(fd);
	return port;
}


E2ETest::E2ETest()
	:
	fTools(Display())
{
}


void
E2ETest::SetUp()
{
	fHome = std::make_unique<TempDir>("rdx-e2e");
	for (const char* directory : {"home", "config", "run", "data",
			"data-dirs"}) {
		mkdir(fHome->Sub(directory).c_str(), 0700);
	}
}


void
E2ETest::TearDown()
{
	if (fRdx != nullptr && fRdx->Running()) {
		// Left running by a failed test: ask it to end, then make sure.
		fRdx->Signal(SIGTERM);
		int status;
		if (!fRdx->Wait(20, &status))
			fRdx->Kill();
	}
	if (HasFailure() && fRdx != nullptr) {
		printf("---- output of rdx ----\n%s---- errors ----\n%s---- end ----\n",
			fRdx->Output().c_str(), fRdx->Errors().c_str());
	}
	if (HasFailure() && fBoard != nullptr) {
		printf("---- board log ----\n%s---- end ----\n",
			read_file(fBoard->LogFile()).c_str());
	}
	fRdx.reset();
	fBoard.reset();
	fHome.reset();
}


void
E2ETest::StartBoard(const std::vector<std::string>& options)
{
	fBoard = std::make_unique<BoardSim>(options);
	ASSERT_TRUE(fBoard->IsListening());
}


seed::Values
E2ETest::Settings(bool use, int32_t hold, int32_t tagRelay) const
{
	return {
		{"rdx_ip", seed::Text(fBoard->Address())},
		{"rdx_use", seed::Bool(use)},
		{"OpenInSecs", seed::Int32(hold)},
		{"TagsUseDoor", seed::Int32(tagRelay)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
	};
}


void
E2ETest::Start(const seed::Values& values)
{
	Start(values, {});
}


void
E2ETest::Start(const seed::Values& values,
	const std::map<std::string, std::string>& environment)
{
	// The address must be seeded before the program first runs: it never
	// starts with the default board.
	bool seedsAddress = false;
	for (const auto& [name, value] : values)
		seedsAddress |= name == "rdx_ip";
	ASSERT_TRUE(seedsAddress) << "every run seeds the board address";
	ASSERT_TRUE(seed::Write(ConfigHome(), values)) << strerror(errno);

	ChildProcess::Options options;
	options.environment = {
		{"HOME", fHome->Sub("home")},
		{"XDG_CONFIG_HOME", ConfigHome()},
		{"XDG_RUNTIME_DIR", fHome->Sub("run")},
		{"XDG_DATA_HOME", fHome->Sub("data")},
		{"XDG_DATA_DIRS", fHome->Sub("data-dirs")},
		{"DISPLAY", Display()},
	};
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES",
		"XDG_CONFIG_DIRS"};
	fRdx = std::make_unique<ChildProcess>(std::vector<std::string>{kProgram},
		options);
	fWindow = fTools.FindWindow(kTitle, 20);
	ASSERT_NE(0UL, fWindow) << "no window; " << fRdx->Output()
		<< fRdx->Errors();
	fLastClick = {-1, -1};
	ASSERT_TRUE(fRdx->WaitForOutput("-- StartUp --\n", 10));
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &fGeometry));
}


bool
E2ETest::WaitForCount(const std::string& text, int count, double seconds) const
{
	return wait_for([&] { return Count(text) >= count; }, seconds);
}


int
E2ETest::Send(const std::vector<std::string>& arguments)
{
	ChildProcess::Options options;
	options.environment = {{"XDG_RUNTIME_DIR", fHome->Sub("run")},
		{"HOME", fHome->Sub("home")}};
	std::vector<std::string> argv = {kSend};
	argv.insert(argv.end(), arguments.begin(), arguments.end());
	ChildProcess send(argv, options);
	int status = -1;
	if (!send.Wait(20, &status))
		return -1;
	return status;
}


void
E2ETest::Click(WindowPoint point)
{
	// xdotool's synchronous move waits for the pointer to move, forever
	// when it is already there: a second click on the same point moves it
	// away first.
	if (fLastClick.x == point.x && fLastClick.y == point.y) {
		fTools.Run({"xdotool", "mousemove", "--window",
			std::to_string(fWindow), "2", "2"});
	}
	fLastClick = point;
	ASSERT_TRUE(fTools.Click(fWindow, point.x, point.y));
}


void
E2ETest::Enter(WindowPoint field, const std::string& text)
{
	Click(field);
	ASSERT_TRUE(fTools.Key(fWindow, "ctrl+a"));
	if (text.empty())
		ASSERT_TRUE(fTools.Key(fWindow, "BackSpace"));
	else {
		// After "--", so that a text beginning with '-' is typed, not taken
		// for an option.
		ASSERT_TRUE(fTools.Run({"xdotool", "type", "--delay", "30", "--",
			text}));
	}
	ASSERT_TRUE(fTools.Key(fWindow, "Return"));
}


std::unique_ptr<Screenshot>
E2ETest::Shoot(const std::string& name)
{
	fTools.GetGeometry(fWindow, &fGeometry);
	std::string directory = RDX_BINARY_DIR "/tests/e2e/screenshots";
	mkdir(directory.c_str(), 0755);
	return std::make_unique<Screenshot>(Display(),
		directory + "/" + name + ".png");
}


int
E2ETest::RadioPixels(const Screenshot& shot, int k, XTools::Color color)
{
	int left = fGeometry.x + 244 + 35 * k;
	int top = fGeometry.y + 38;
	return shot.CountColor(left, top, k == 3 ? 32 : 31, 20, color);
}


XTools::Color
E2ETest::RadioCorner(const Screenshot& shot, int k)
{
	return shot.At(fGeometry.x + 244 + 35 * k + 28, fGeometry.y + 38 + 2);
}


bool
E2ETest::WaitForRadioColor(int k, XTools::Color color, double seconds)
{
	const ::testing::TestInfo* info
		= ::testing::UnitTest::GetInstance()->current_test_info();
	std::string name = std::string(info->test_suite_name()) + "."
		+ info->name();
	for (char& c : name) {
		if (c == '/')
			c = '_';
	}
	// Mostly of the colour: the round mark and the label take the rest.
	return wait_for([&] {
		std::unique_ptr<Screenshot> shot = Shoot(name);
		return shot->IsValid() && RadioPixels(*shot, k, color) > 31 * 20 / 2;
	}, seconds);
}


int
E2ETest::CloseAndWait()
{
	if (!fTools.Close(fWindow))
		return -1;
	return WaitForExit();
}


int
E2ETest::WaitForExit()
{
	int status = -1;
	if (!fRdx->Wait(30, &status))
		return -1;
	return status;
}


bool
E2ETest::WaitForStored(const std::string& name, const std::string& value,
	double seconds) const
{
	return wait_for([&] { return Stored(name) == value; }, seconds);
}
