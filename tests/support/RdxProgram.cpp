#include "RdxProgram.h"

#include "StoreSeed.h"

#include <RDXDefs.h>

#include <csignal>
#include <cstring>
#include <net/if.h>
#include <sys/stat.h>

namespace {

const char* const kProgram = RDX_BINARY_DIR "/src/app/rdx";
const char* const kSend = RDX_BINARY_DIR "/tools/rdx-send/rdx-send";
const char* const kTitle = "RDX-BeOSApp";

}	// namespace


const WindowPoint kUseCheckBox = {28, 27};
const WindowPoint kAddressField = {150, 72};
const WindowPoint kHoldTimeField = {340, 29};


RdxProgram::RdxProgram(const std::string& display, const char* prefix,
	Storage storage)
	:
	fDisplay(display),
	fStorage(storage),
	fHome(std::make_unique<TempDir>(prefix)),
	fTools(display)
{
	for (const char* directory : {"home", "config", "run", "data",
			"data-dirs", "state"}) {
		mkdir(fHome->Sub(directory).c_str(), 0700);
	}
}


RdxProgram::~RdxProgram()
{
	Stop();
	fRdx.reset();
}


void
RdxProgram::Stop()
{
	if (fRdx == nullptr || !fRdx->Running())
		return;
	fRdx->Signal(SIGTERM);
	int status;
	if (!fRdx->Wait(20, &status))
		fRdx->Kill();
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
RdxProgram::Start(const std::map<std::string, std::string>& environment)
{
	// Never a run that would reach for the default board.
	std::optional<std::string> address = Stored("rdx_ip");
	if (!address)
		return testing::AssertionFailure() << "no board address was seeded";
	if (address->find(RDX_DEFAULT_IP) != std::string::npos)
		return testing::AssertionFailure() << "the default board was seeded";
	return _Start(environment);
}


bool
RdxProgram::OnlyLoopback()
{
	// Asked of the kernel for this process's own network namespace (sysfs
	// may show another one).
	struct if_nameindex* interfaces = if_nameindex();
	if (interfaces == nullptr)
		return false;
	bool onlyLoopback = true;
	for (struct if_nameindex* i = interfaces; i->if_index != 0; i++) {
		if (strcmp(i->if_name, "lo") != 0)
			onlyLoopback = false;
	}
	if_freenameindex(interfaces);
	return onlyLoopback;
}


testing::AssertionResult
RdxProgram::StartWithoutSettings()
{
	if (!OnlyLoopback()) {
		return testing::AssertionFailure() << "refused: a start without "
			"settings reaches for the default board, and this network has "
			"more than loopback";
	}
	if (Stored("rdx_ip"))
		return testing::AssertionFailure() << "settings were seeded";
	return _Start({});
}


ChildProcess::Options
RdxProgram::_Options(const std::map<std::string, std::string>& environment)
	const
{
	ChildProcess::Options options;
	options.environment = {
		{"HOME", fHome->Sub("home")},
		{"XDG_CONFIG_HOME", ConfigHome()},
		{"XDG_RUNTIME_DIR", fHome->Sub("run")},
		{"XDG_DATA_HOME", fHome->Sub("data")},
		{"XDG_DATA_DIRS", fHome->Sub("data-dirs")},
		{"XDG_STATE_HOME", StateHome()},
		{"DISPLAY", fDisplay},
	};
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES",
		"XDG_CONFIG_DIRS"};
	return options;
}


int
RdxProgram::RunSecond(double seconds, std::string* output,
	std::string* errors) const
{
	ChildProcess second(std::vector<std::string>{kProgram}, _Options({}));
	int status = -1;
	if (!second.Wait(seconds, &status))
		status = -1;
	*output = second.Output();
	*errors = second.Errors();
	return status;
}


testing::AssertionResult
RdxProgram::_Start(const std::map<std::string, std::string>& environment)
{
	if (fDisplay.empty())
		return testing::AssertionFailure() << "no X server";

	fRdx = std::make_unique<ChildProcess>(std::vector<std::string>{kProgram},
		_Options(environment));
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
	// xdotool's synchronous move waits for the pointer to move, forever
	// when it is already there: a second click on the same point moves it
	// away first.
	if (fLastClick.x == point.x && fLastClick.y == point.y) {
		fTools.Run({"xdotool", "mousemove", "--window",
			std::to_string(fWindow), "2", "2"});
	}
	fLastClick = point;
	return fTools.Click(fWindow, point.x, point.y);
}


bool
RdxProgram::Enter(WindowPoint field, const std::string& text, int typingDelay)
{
	if (!Click(field) || !fTools.Key(fWindow, "ctrl+a"))
		return false;
	if (text.empty()) {
		if (!fTools.Key(fWindow, "BackSpace"))
			return false;
	} else {
		// After "--", so that a text beginning with '-' is typed, not taken
		// for an option.
		if (!fTools.Run({"xdotool", "type", "--delay",
				std::to_string(typingDelay), "--", text})) {
			return false;
		}
	}
	return fTools.Key(fWindow, "Return");
}


int
RdxProgram::CloseAndWait()
{
	if (fRdx == nullptr || !fTools.Close(fWindow))
		return -1;
	return WaitForExit();
}


int
RdxProgram::WaitForExit()
{
	int status = -1;
	if (fRdx == nullptr || !fRdx->Wait(30, &status))
		return -1;
	return status;
}


std::string
RdxProgram::Transcript() const
{
	return "---- output of rdx ----\n" + Output() + "---- errors ----\n"
		+ Errors() + "---- end ----\n";
}
