#ifndef DEVICE_LIST_H
#define DEVICE_LIST_H

#include <cstdio>
#include <string>

// rdx-reader --list: every input device (name, vendor:product, its stable
// /dev/input/by-id/ path), every serial port and every PC/SC reader, to
// help pick a reader.
// Devices are only looked at, never grabbed or read.
class DeviceList {
public:
	// The directories are parameters so that the list can be tried on
	// other trees than /dev and /sys.
							DeviceList(const std::string& dev = "/dev",
								const std::string& sys = "/sys");

			void			Print(FILE* output) const;

private:
			void			_PrintInput(FILE* output) const;
			void			_PrintSerial(FILE* output) const;
			void			_PrintPcsc(FILE* output) const;
	// The links in the directory that lead to the device node.
			std::string		_LinksTo(const std::string& directory,
								const std::string& node) const;

			std::string		fDev;
			std::string		fSys;
};

#endif
