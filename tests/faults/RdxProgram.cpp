#include "RdxProgram.h"

#include "StoreSeed.h"
#include "Xvfb.h"

#include <RDXDefs.h>

#include <csignal>
#include <sys/stat.h>

namespace {

const char* const kProgram = RDX_BINARY_DIR "/src/app/rdx";
const char* const kSend = RDX_BINARY_DIR "/tools/rdx-send/rdx-send";
const char* const kTitle = "RDX-BeOSApp";

}	// namespace


const WindowPoint kUseCheckBox = {28, 27};
const WindowPoint kAddressField = {150, 72};
const WindowPoint kHoldTimeField = {340, 29};


const std::string&
TestDisplay()
{
	static std::unique_ptr<Xvfb> server;
	static std::string display;
	if (server == nullptr) {
		server = std::make_unique<Xvfb>();
		display = server->Display();
		if (display.empty())
			fprintf(stderr, "no X server: %s\n", server->Error().c_str());
	}
	return display;
}


RdxProgram::RdxProgram(Storage storage)
	:
	fStorage(storage),
	fHome(std::make_unique<TempDir>("rdx-faults")),
	fTools(TestDisplay())
{
	for (const char* directory : {"home", "config", "run", "data",
			"data-dirs"}) {
		mkdir(fHome->Sub(directory).c_str(), 0700);
	}
}


RdxProgram::~RdxProgram()
{
	if (fRdx != nullptr && fRdx->Running()) {
		fRdx->Signal(SIGTERM);
		int status;
		if (!fRdx->Wait(20, &status))
			fRdx->Kill();
	}
	fRdx.reset();
}


std::string
RdxProgram::SocketPath() const
{
	return fHome->Sub("run") + "/rdx-kit/application_x-vnd-RDX-BeOS";
}


bool
RdxProgram::Seed(const seed::Values& values)
{
	if (fStorage == kStore)
		return store::Write(ConfigHome(), values);
	return seed::Write(ConfigHome(), values);
}


std::optional<std::string>
RdxProgram::Stored(const std::string& name) const
{
	if (fStorage == kStore)
		return store::Read(ConfigHome(), name);
	return seed::Read(ConfigHome(), name);
}


bool
RdxProgram::WaitForStored(const std::string& name, const std::string& value,
	double seconds) const
{
	return wait_for([&] { return Stored(name) == value; }, seconds);
}


testing::AssertionResult
RdxProgram::Start()
{
	// Never a run that would reach for the default board.
	std::optional<std::string> address = Stored("rdx_ip");
	if (!address)
		return testing::AssertionFailure() << "no board address was seeded";
	if (address->find(RDX_DEFAULT_IP) != std::string::npos)
		return testing::AssertionFailure() << "the default board was seeded";
	if (TestDisplay().empty())
		return testing::AssertionFailure() << "no X server";

	ChildProcess::Options options;
	options.environment = {
		{"HOME", fHome->Sub("home")},
		{"XDG_CONFIG_HOME", ConfigHome()},
		{"XDG_RUNTIME_DIR", fHome->Sub("run")},
		{"XDG_DATA_HOME", fHome->Sub("data")},
		{"XDG_DATA_DIRS", fHome->Sub("data-dirs")},
		{"DISPLAY", TestDisplay()},
	};
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES",
		"XDG_CONFIG_DIRS"};
	fRdx = std::make_unique<ChildProcess>(std::vector<std::string>{kProgram},
		options);
	fWindow = fTools.FindWindow(kTitle, 20);
	if (fWindow == 0)
		return testing::AssertionFailure() << "no window\n" << Transcript();
	fLastClick = {-1, -1};
	fSyncs = 0;
	if (!fRdx->WaitForOutput("-- StartUp --\n", 10))
		return testing::AssertionFailure() << "no start-up\n" << Transcript();
	return testing::AssertionSuccess();
}


std::string
RdxProgram::Output() const
{
	return fRdx != nullptr ? fRdx->Output() : std::string();
}


std::string
RdxProgram::Errors() const
{
	return fRdx != nullptr ? fRdx->Errors() : std::string();
}


bool
RdxProgram::WaitForCount(const std::string& text, int count,
	double seconds) const
{
	return wait_for([&] { return Count(text) >= count; }, seconds);
}


int
RdxProgram::Send(const std::vector<std::string>& arguments)
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


bool
RdxProgram::Sync()
{
	// The application prints a message that it does not know.
	if (Send({"mark"}) != 0)
		return false;
	return WaitForCount("RDXApp BMessage: what = mark", ++fSyncs);
}


bool
RdxProgram::Click(WindowPoint point)
{
	// xdotool's synchronous move waits forever for a pointer that is
	// already there: a second click on one point moves it away first.
	if (fLastClick.x == point.x && fLastClick.y == point.y) {
		fTools.Run({"xdotool", "mousemove", "--window",
			std::to_string(fWindow), "2", "2"});
	}
	fLastClick = point;
	return fTools.Click(fWindow, point.x, point.y);
}


bool
RdxProgram::Enter(WindowPoint field, const std::string& text)
{
	if (!Click(field) || !fTools.Key(fWindow, "ctrl+a"))
		return false;
	if (text.empty()) {
		if (!fTools.Key(fWindow, "BackSpace"))
			return false;
	} else if (!fTools.Run({"xdotool", "type", "--delay", "8", "--", text}))
		return false;
	return fTools.Key(fWindow, "Return");
}


int
RdxProgram::CloseAndWait()
{
	if (fRdx == nullptr || !fTools.Close(fWindow))
		return -1;
	int status = -1;
	if (!fRdx->Wait(30, &status))
		return -1;
	return status;
}


std::string
RdxProgram::Transcript() const
{
	return "---- output of rdx ----\n" + Output() + "---- errors ----\n"
		+ Errors() + "---- end ----\n";
}
