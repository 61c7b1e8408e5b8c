#include "ReaderOptions.h"

#include "SerialSource.h"

#include <LocalTime.h>
#include <Locale.h>
#include <RDXDefs.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

bool
parse_number(const std::string& text, int low, int high, int* number)
{
	if (text.empty() || text.size() > 9)
		return false;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
	}
	long value = strtol(text.c_str(), nullptr, 10);
	if (value < low || value > high)
		return false;
	*number = (int)value;
	return true;
}


// PATH[,BAUD][,rdm6300|lines]; a path may hold commas, so the parts are
// taken from the end.
bool
parse_serial(const std::string& text, ReaderOptions::Serial* serial,
	std::string* error)
{
	std::string rest = text;
	// Of two speeds (or protocols) neither is sure: each part comes once.
	bool given[2] = {false, false};
	for (int part = 0; part < 2; part++) {
		size_t comma = rest.rfind(',');
		if (comma == std::string::npos)
			break;
		std::string word = rest.substr(comma + 1);
		bool protocol = word == "rdm6300" || word == "lines";
		if ((protocol || (!word.empty() && word[0] >= '0' && word[0] <= '9'))
			&& given[protocol]) {
			*error = "--serial: \"" + text + "\" gives the "
				+ (protocol ? "protocol" : "speed") + " twice";
			return false;
		}
		given[protocol] = true;
		if (protocol) {
			serial->protocol = word == "lines"
				? ReaderOptions::kLines : ReaderOptions::kRdm6300;
		} else if (!word.empty() && word[0] >= '0' && word[0] <= '9') {
			int baud;
			if (!parse_number(word, 1, INT_MAX / 2, &baud)
				|| !SerialSource::IsKnownBaud(baud)) {
				*error = translate_format("--serial: unknown speed \"%s\""
					" (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or"
					" 230400)", word.c_str());
				return false;
			}
			serial->baud = baud;
		} else {
			*error = translate_format("--serial: \"%s\" is neither a speed"
				" nor a protocol (rdm6300 or lines)", word.c_str());
			return false;
		}
		rest.erase(comma);
	}
	if (rest.empty()) {
		*error = B_TRANSLATE("--serial needs a path");
		return false;
	}
	serial->path = rest;
	return true;
}

// Why --at cannot be read: an offset that the wall clock does not have
// then is said as such.
std::string
at_problem(const std::string& value)
{
	size_t last = value.find_last_of(" \t");
	std::string offset = last == std::string::npos ? std::string()
		: value.substr(last + 1);
	LocalTime time;
	if (offset.size() == 6 && (offset[0] == '+' || offset[0] == '-')
		&& isdigit((unsigned char)offset[1]) && isdigit((unsigned char)offset[2])
		&& offset[3] == ':' && isdigit((unsigned char)offset[4])
		&& isdigit((unsigned char)offset[5])
		&& LocalTime::ParseMoment(value.substr(0, last), &time)) {
		return translate_format("--at: the clocks here are not at %s at %s"
			" (an offset picks one of an hour that happens twice)",
			value.substr(last + 1).c_str(), value.substr(0, last).c_str());
	}
	return translate_format("--at takes a local date and time (2026-12-08"
		" 09:14, or 2026-10-25 02:10 +01:00), not \"%s\"", value.c_str());
}

}	// namespace


const char*
ReaderOptions::Usage()
{
	return
		"usage: rdx-reader [--keyboard PATH]... "
			"[--serial PATH[,BAUD][,rdm6300|lines]]... [--pcsc [NAME]]\n"
		"                  [--tags FILE] [--any-tag] [--learn] "
			"[--repeat-ms N] [--key-gap-ms N]\n"
		"                  [--em-format dec|hex] [--to SIGNATURE] "
			"[--no-notify]\n"
		"                  [--pin-wait-s N] [--pin-tries N] [--pin-lock-s N]\n"
		"       rdx-reader --check TAG [--tags FILE]\n"
		"                  [--at 'YYYY-MM-DD HH:MM [+HH:MM]']\n"
		"       rdx-reader --set-pin TAG [--tags FILE]\n"
		"       rdx-reader --list\n"
		"Reads tags from readers and passes the listed ones on to rdx.\n"
		"  --keyboard PATH      a keyboard-type reader (an input device,\n"
		"                       best its /dev/input/by-id/ path), taken for\n"
		"                       this program alone\n"
		"  --serial PATH[,BAUD][,PROTOCOL]\n"
		"                       a serial reader; BAUD default 9600, 8N1;\n"
		"                       PROTOCOL rdm6300 (default) or lines\n"
		"  --pcsc [NAME]        contactless readers through PC/SC (pcscd):\n"
		"                       all, or those whose name holds NAME\n"
		"  --tags FILE          the tag list (default\n"
		"                       $XDG_CONFIG_HOME/RDX/tags)\n"
		"  --any-tag            pass on every tag, listed or not\n"
		"  --learn              add unknown tags to the list; pass nothing on\n"
		"  --repeat-ms N        the same tag from the same reader within N ms\n"
		"                       is a repeat (default 1500)\n"
		"  --key-gap-ms N       longest pause between a reader's keys\n"
		"                       (default 100)\n"
		"  --em-format dec|hex  RDM6300 tags as ten decimal digits (default)\n"
		"                       or ten hex characters\n"
		"  --pin-wait-s N       how long a reader waits for the PIN after a\n"
		"                       tag that wants one (default 10)\n"
		"  --pin-tries N        wrong PINs in a row that refuse the tag\n"
		"                       (default 3)\n"
		"  --pin-lock-s N       for how long (default 300)\n"
		"  --set-pin TAG        asks for the tag's PIN (twice, on the\n"
		"                       terminal; else one line from standard input)\n"
		"                       and writes its hash into the tag's line\n"
		"  --to SIGNATURE       the application (default "
			"application/x-vnd-RDX-BeOS)\n"
		"  --no-notify          no desktop notification for a card the list\n"
		"                       does not know, or keeps out as off, expired\n"
		"                       or unreadable\n"
		"  --list               list the input devices, serial ports and\n"
		"                       PC/SC readers\n"
		"  --check TAG          whether the tag would pass now, and the line\n"
		"                       of the list that decides\n"
		"  --at 'YYYY-MM-DD HH:MM [+HH:MM]'\n"
		"                       with --check: at that local time instead;\n"
		"                       the offset from UTC picks one of an hour\n"
		"                       that happens twice (else the first)\n"
		"  --help, --version\n"
		"Exit status: 0 after SIGTERM or SIGINT, 1 when none of the named\n"
		"readers can ever be one, 2 for bad arguments; with --check 0 when\n"
		"the tag would pass, 1 when not.\n"
		"With --check 0 also when it would pass with its PIN (pin-wanted);\n"
		"with --set-pin 0 once the PIN is written, 1 when not.\n";
}


status_t
ReaderOptions::Parse(const std::vector<std::string>& arguments,
	std::string* error)
{
	signature = RDX_SIGNATURE;
	for (size_t i = 0; i < arguments.size(); i++) {
		std::string option = arguments[i];
		std::string value;
		bool hasValue = false;
		size_t equals = option.find('=');
		if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
			value = option.substr(equals + 1);
			option.erase(equals);
			hasValue = true;
		}
		auto takeValue = [&]() {
			if (hasValue)
				return true;
			if (i + 1 >= arguments.size()) {
				*error = translate_format("%s needs a value", option.c_str());
				return false;
			}
			value = arguments[++i];
			return true;
		};
		auto noValue = [&]() {
			if (hasValue)
				*error = translate_format("%s takes no value", option.c_str());
			return !hasValue;
		};

		if (option == "--help" || option == "-h") {
			help = true;
			return B_OK;
		}
		if (option == "--version") {
			version = true;
			return B_OK;
		}
		if (option == "--list") {
			if (!noValue())
				return B_BAD_VALUE;
			list = true;
		} else if (option == "--keyboard") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value.empty()) {
				*error = B_TRANSLATE("--keyboard needs a path");
				return B_BAD_VALUE;
			}
			keyboards.push_back(value);
		} else if (option == "--serial") {
			if (!takeValue())
				return B_BAD_VALUE;
			Serial serial;
			if (!parse_serial(value, &serial, error))
				return B_BAD_VALUE;
			serials.push_back(serial);
		} else if (option == "--pcsc") {
			if (pcsc) {
				*error = B_TRANSLATE("--pcsc is given twice");
				return B_BAD_VALUE;
			}
			pcsc = true;
			// The name is optional: the next word, unless it is an option.
			if (hasValue)
				pcscName = value;
			else if (i + 1 < arguments.size()
				&& arguments[i + 1].rfind("-", 0) != 0)
				pcscName = arguments[++i];
		} else if (option == "--tags") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value.empty()) {
				*error = B_TRANSLATE("--tags needs a file");
				return B_BAD_VALUE;
			}
			tags = value;
		} else if (option == "--check") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value.empty()) {
				*error = B_TRANSLATE("--check needs a tag");
				return B_BAD_VALUE;
			}
			check = true;
			checkTag = value;
		} else if (option == "--set-pin") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value.empty()) {
				*error = B_TRANSLATE("--set-pin needs a tag");
				return B_BAD_VALUE;
			}
			setPin = true;
			setPinTag = value;
		} else if (option == "--pin-wait-s" || option == "--pin-tries"
			|| option == "--pin-lock-s") {
			if (!takeValue())
				return B_BAD_VALUE;
			// None of them can switch the PIN off: at least one second's
			// wait, one try, one second's lock.
			int high = option == "--pin-wait-s" ? 600
				: option == "--pin-tries" ? 100 : 86400;
			int number;
			if (!parse_number(value, 1, high, &number)) {
				*error = translate_format("%s: \"%s\" is not a number from 1"
					" to %d", option.c_str(), value.c_str(), high);
				return B_BAD_VALUE;
			}
			(option == "--pin-wait-s" ? pinWaitSeconds
				: option == "--pin-tries" ? pinTries : pinLockSeconds)
				= number;
		} else if (option == "--at") {
			if (!takeValue())
				return B_BAD_VALUE;
			LocalTime time;
			if (!LocalTime::ParseMoment(value, &time)) {
				*error = at_problem(value);
				return B_BAD_VALUE;
			}
			at = value;
		} else if (option == "--any-tag") {
			if (!noValue())
				return B_BAD_VALUE;
			anyTag = true;
		} else if (option == "--no-notify") {
			if (!noValue())
				return B_BAD_VALUE;
			notify = false;
		} else if (option == "--learn") {
			if (!noValue())
				return B_BAD_VALUE;
			learn = true;
		} else if (option == "--repeat-ms" || option == "--key-gap-ms") {
			if (!takeValue())
				return B_BAD_VALUE;
			int number;
			if (!parse_number(value, 0, 3600 * 1000, &number)) {
				*error = translate_format("%s: \"%s\" is not a number of"
					" milliseconds (0 to 3600000)", option.c_str(),
					value.c_str());
				return B_BAD_VALUE;
			}
			if (option == "--key-gap-ms" && number == 0) {
				*error = B_TRANSLATE("--key-gap-ms: 0 would refuse every tag");
				return B_BAD_VALUE;
			}
			(option == "--repeat-ms" ? repeatMs : keyGapMs) = number;
		} else if (option == "--em-format") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value != "dec" && value != "hex") {
				*error = translate_format("--em-format: \"%s\" is neither dec"
					" nor hex", value.c_str());
				return B_BAD_VALUE;
			}
			emHex = value == "hex";
		} else if (option == "--to") {
			if (!takeValue())
				return B_BAD_VALUE;
			if (value.empty()) {
				*error = B_TRANSLATE("the signature is empty");
				return B_BAD_VALUE;
			}
			signature = value;
		} else {
			*error = translate_format("unknown argument \"%s\"",
				arguments[i].c_str());
			return B_BAD_VALUE;
		}
	}

	if (!at.empty() && !check) {
		*error = B_TRANSLATE("--at goes with --check");
		return B_BAD_VALUE;
	}
	if (setPin) {
		if (check || !keyboards.empty() || !serials.empty() || pcsc || learn
			|| anyTag || list) {
			*error = B_TRANSLATE("--set-pin reads no reader: it goes with"
				" --tags only");
			return B_BAD_VALUE;
		}
		return B_OK;
	}
	if (check) {
		if (!keyboards.empty() || !serials.empty() || pcsc || learn
			|| anyTag || list) {
			*error = B_TRANSLATE("--check reads no reader: it goes with --tags"
				" and --at only");
			return B_BAD_VALUE;
		}
		return B_OK;
	}
	// Refused with --list too: a contradiction is a mistake whatever runs.
	if (anyTag && learn) {
		*error = B_TRANSLATE("--any-tag and --learn do not go together");
		return B_BAD_VALUE;
	}
	if (list)
		return B_OK;
	if (keyboards.empty() && serials.empty() && !pcsc) {
		*error = B_TRANSLATE("name at least one reader with --keyboard,"
			" --serial or --pcsc (rdx-reader --list shows them)");
		return B_BAD_VALUE;
	}
	return B_OK;
}
