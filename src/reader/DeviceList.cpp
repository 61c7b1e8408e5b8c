#include "DeviceList.h"

#include "PcscSource.h"

#include <Locale.h>

#include <libevdev/libevdev.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string>
entries_of(const std::string& directory, const std::string& prefix)
{
	std::vector<std::string> names;
	DIR* dir = opendir(directory.c_str());
	if (dir == nullptr)
		return names;
	while (struct dirent* entry = readdir(dir)) {
		std::string name = entry->d_name;
		if (name != "." && name != ".." && name.rfind(prefix, 0) == 0)
			names.push_back(name);
	}
	closedir(dir);
	// event2 before event10.
	std::sort(names.begin(), names.end(), [](const std::string& a,
			const std::string& b) {
		return a.size() != b.size() ? a.size() < b.size() : a < b;
	});
	return names;
}


std::string
first_line(const std::string& path)
{
	std::ifstream in(path);
	std::string line;
	std::getline(in, line);
	return line;
}

}	// namespace


DeviceList::DeviceList(const std::string& dev, const std::string& sys)
	:
	fDev(dev),
	fSys(sys)
{
}


void
DeviceList::Print(FILE* output) const
{
	_PrintInput(output);
	fprintf(output, "\n");
	_PrintSerial(output);
	fprintf(output, "\n");
	_PrintPcsc(output);
}


void
DeviceList::_PrintPcsc(FILE* output) const
{
	fputs(B_TRANSLATE("PC/SC readers (for --pcsc):\n"), output);
	std::vector<std::string> names;
	std::string problem;
	if (!PcscSource::ListReaders(&names, &problem)) {
		fprintf(output, B_TRANSLATE("  none: pcscd cannot be reached (%s)\n"),
			problem.c_str());
		return;
	}
	if (names.empty())
		fputs(B_TRANSLATE("  none\n"), output);
	for (const std::string& name : names)
		fprintf(output, "  %s\n", name.c_str());
}


std::string
DeviceList::_LinksTo(const std::string& directory,
	const std::string& node) const
{
	std::string links;
	char target[PATH_MAX];
	char wanted[PATH_MAX];
	if (realpath(node.c_str(), wanted) == nullptr)
		return links;
	for (const std::string& name : entries_of(directory, "")) {
		std::string link = directory + "/" + name;
		if (realpath(link.c_str(), target) != nullptr
			&& strcmp(target, wanted) == 0)
			links += (links.empty() ? "" : " ") + link;
	}
	return links;
}


void
DeviceList::_PrintInput(FILE* output) const
{
	fputs(B_TRANSLATE("Input devices (for --keyboard):\n"), output);
	std::string input = fDev + "/input";
	std::vector<std::string> names = entries_of(input, "event");
	if (names.empty())
		fputs(B_TRANSLATE("  none\n"), output);
	for (const std::string& name : names) {
		std::string node = input + "/" + name;
		std::string description;
		int fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
		struct libevdev* device = nullptr;
		if (fd < 0) {
			description = std::string("(") + strerror(errno) + ")";
		} else if (libevdev_new_from_fd(fd, &device) == 0) {
			char ids[16];
			snprintf(ids, sizeof(ids), "%04x:%04x",
				libevdev_get_id_vendor(device),
				libevdev_get_id_product(device));
			const char* deviceName = libevdev_get_name(device);
			description = std::string("\"") + (deviceName != nullptr
				? deviceName : "") + "\" " + ids;
			if (!libevdev_has_event_code(device, EV_KEY, KEY_ENTER))
				description += B_TRANSLATE(" (no Enter key: not a reader)");
			libevdev_free(device);
		} else
			description = B_TRANSLATE("(not an input device)");
		if (fd >= 0)
			close(fd);
		// Without read access the name still shows in sysfs.
		if (fd < 0) {
			std::string sysName = first_line(fSys + "/class/input/" + name
				+ "/device/name");
			if (!sysName.empty())
				description = "\"" + sysName + "\" " + description;
		}
		fprintf(output, "  %s  %s\n", node.c_str(), description.c_str());
		std::string links = _LinksTo(input + "/by-id", node);
		if (!links.empty())
			fprintf(output, "      %s\n", links.c_str());
	}
}


void
DeviceList::_PrintSerial(FILE* output) const
{
	fputs(B_TRANSLATE("Serial ports (for --serial):\n"), output);
	int count = 0;
	for (const std::string& name : entries_of(fSys + "/class/tty", "")) {
		// Only ports with hardware behind them; the 32 legacy ttyS
		// entries count only when a UART answered at probe time.
		std::string device = fSys + "/class/tty/" + name + "/device";
		struct stat status;
		if (stat(device.c_str(), &status) != 0)
			continue;
		if (name.rfind("ttyS", 0) == 0) {
			std::string type = first_line(fSys + "/class/tty/" + name
				+ "/type");
			if (type.empty() || type == "0")
				continue;
		}
		std::string node = fDev + "/" + name;
		std::string ids;
		// USB adapters: the interface's parent holds the ids.
		for (const char* up : {"/device/../", "/device/../../"}) {
			std::string vendor = first_line(fSys + "/class/tty/" + name + up
				+ "idVendor");
			std::string product = first_line(fSys + "/class/tty/" + name
				+ up + "idProduct");
			if (!vendor.empty() && !product.empty()) {
				ids = vendor + ":" + product;
				break;
			}
		}
		fprintf(output, "  %s%s%s\n", node.c_str(), ids.empty() ? "" : "  ",
			ids.c_str());
		std::string links = _LinksTo(fDev + "/serial/by-id", node);
		if (!links.empty())
			fprintf(output, "      %s\n", links.c_str());
		count++;
	}
	if (count == 0)
		fputs(B_TRANSLATE("  none\n"), output);
}
