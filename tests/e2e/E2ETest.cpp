#include "E2ETest.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

std::string
Display()
{
	const char* display = getenv("DISPLAY");
	return display != nullptr ? display : "";
}

}	// namespace


const WindowPoint kOpenAllButton = {313, 71};
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


E2ETest::E2ETest()
	:
	fTools(Display())
{
}


void
E2ETest::SetUp()
{
	fProgram = std::make_unique<RdxProgram>(Display(), "rdx-e2e");
}


void
E2ETest::TearDown()
{
	if (fProgram == nullptr)
		return;
	// Left running by a failed test: ask it to end, then make sure.
	fProgram->Stop();
	if (HasFailure() && fProgram->Started())
		printf("%s", fProgram->Transcript().c_str());
	if (HasFailure() && fBoard != nullptr) {
		printf("---- board log ----\n%s---- end ----\n",
			read_file(fBoard->LogFile()).c_str());
	}
	fProgram.reset();
	fBoard.reset();
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
	ASSERT_TRUE(fProgram->Seed(values)) << strerror(errno);
	ASSERT_TRUE(fProgram->Start(environment));
	fWindow = fProgram->Window();
	ASSERT_TRUE(fTools.GetGeometry(fWindow, &fGeometry));
}


void
E2ETest::Click(WindowPoint point)
{
	ASSERT_TRUE(fProgram->Click(point));
}


void
E2ETest::Enter(WindowPoint field, const std::string& text)
{
	ASSERT_TRUE(fProgram->Enter(field, text, 30));
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
