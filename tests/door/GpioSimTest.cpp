// GPIO lines through the kernel's gpio-sim: a simulated chip made with
// configfs, whose lines the test pulls up and down as a button or a reed
// switch would. Where the kernel has no configfs or no gpio-sim (as the
// machine these tests were written on), each test says so and skips.

#include "DoorTestSupport.h"

#include <GpioSource.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kConfig = "/sys/kernel/config/gpio-sim";


bool
write_text(const std::string& path, const std::string& text)
{
	std::ofstream file(path);
	file << text;
	file.flush();
	return file.good();
}


std::string
read_line(const std::string& path)
{
	std::ifstream file(path);
	std::string line;
	std::getline(file, line);
	return line;
}


// One simulated chip of eight lines, all pulled down.
class GpioSim {
public:
	GpioSim()
		:
		fDirectory(kConfig + "/rdx-door-" + std::to_string(getpid()))
	{
		struct stat status;
		if (stat(kConfig.c_str(), &status) != 0) {
			fWhy = "this kernel has no configfs with gpio-sim (" + kConfig
				+ "): GPIO lines are not tried here";
			return;
		}
		if (mkdir(fDirectory.c_str(), 0755) != 0
			|| mkdir((fDirectory + "/bank0").c_str(), 0755) != 0
			|| !write_text(fDirectory + "/bank0/num_lines", "8")
			|| !write_text(fDirectory + "/live", "1")) {
			fWhy = "cannot make a simulated GPIO chip (root is needed)";
			return;
		}
		fChip = read_line(fDirectory + "/bank0/chip_name");
		fDevice = read_line(fDirectory + "/dev_name");
	}

	~GpioSim()
	{
		write_text(fDirectory + "/live", "0");
		rmdir((fDirectory + "/bank0").c_str());
		rmdir(fDirectory.c_str());
	}

	const std::string& Why() const { return fWhy; }
	// "gpiochipN".
	const std::string& Chip() const { return fChip; }

	bool Pull(int line, bool up)
	{
		return write_text("/sys/devices/platform/" + fDevice + "/" + fChip
			+ "/sim_gpio" + std::to_string(line) + "/pull",
			up ? "pull-up" : "pull-down");
	}

	bool Remove() { return write_text(fDirectory + "/live", "0"); }

private:
	std::string		fDirectory;
	std::string		fWhy;
	std::string		fChip;
	std::string		fDevice;
};


// The levels the source reports within a second.
std::vector<int>
levels(GpioSource& source)
{
	std::vector<int> seen;
	wait_for([&] {
		std::vector<InputChange> changes;
		source.Read(&changes, system_time());
		for (const InputChange& change : changes)
			seen.push_back(change.level);
		return false;
	}, 1);
	return seen;
}


TEST(GpioSimTest, LevelsAndAChipThatGoes)
{
	GpioSim sim;
	if (!sim.Why().empty())
		GTEST_SKIP() << sim.Why();
	DoorInput line;
	line.kind = DoorInput::kGpio;
	line.chip = sim.Chip();
	line.chipPath = "/dev/" + sim.Chip();
	line.line = 3;
	line.activeLow = true;
	GpioSource source(0, line);
	std::vector<InputChange> changes;
	std::string problem;
	ASSERT_EQ(B_OK, source.Open(&changes, &problem)) << problem;
	// Pulled down, active low: active, and known at once, not as a change.
	ASSERT_EQ(1u, changes.size());
	EXPECT_EQ(1, changes[0].level);
	EXPECT_TRUE(changes[0].initial);

	ASSERT_TRUE(sim.Pull(3, true));
	EXPECT_EQ((std::vector<int>{0}), levels(source));
	ASSERT_TRUE(sim.Pull(3, false));
	EXPECT_EQ((std::vector<int>{1}), levels(source));
	// The chip goes (a module unloaded, a board unplugged): the line cannot
	// be read any more. A kernel that keeps a chip whose lines are in use
	// refuses this, and then there is nothing more to try.
	if (sim.Remove()) {
		EXPECT_EQ((std::vector<int>{-1}), levels(source));
	}
}


TEST(GpioSimTest, ExitButtonOnALine)
{
	GpioSim sim;
	if (!sim.Why().empty())
		GTEST_SKIP() << sim.Why();
	TempDir home("rdx-door-gpio");
	// Stuck down at the start: how it stands, not a press.
	ASSERT_TRUE(sim.Pull(5, true));
	DoorProcess door(home, "door = back\nexit = gpio " + sim.Chip()
		+ " 5 debounce=10ms\n");
	ASSERT_TRUE(door.WaitFor("/dev/" + sim.Chip() + ": reading"));
	usleep(300 * 1000);
	EXPECT_EQ(0, count_of(door.Output(), "back: exit (")) << door.Output();
	ASSERT_TRUE(sim.Pull(5, false));
	usleep(100 * 1000);
	for (int press = 0; press < 2; press++) {
		ASSERT_TRUE(sim.Pull(5, true));
		usleep(100 * 1000);
		ASSERT_TRUE(sim.Pull(5, false));
		usleep(100 * 1000);
	}
	EXPECT_TRUE(door.WaitFor("back: exit (exit:" + sim.Chip() + "/5): no-rdx",
		2)) << door.Output();
	usleep(200 * 1000);
	EXPECT_EQ(2, count_of(door.Output(), "back: exit (")) << door.Output();
	EXPECT_EQ(0, door.Terminate());
}

}	// namespace
