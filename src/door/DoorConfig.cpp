#include "DoorConfig.h"

#include <ConfigText.h>

#include <FindDirectory.h>
#include <Locale.h>
#include <Path.h>

#include <libevdev/libevdev.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const size_t kMaxFileSize = 64 * 1024;
const bigtime_t kSecond = 1000000LL;


std::vector<std::string>
words(const std::string& text)
{
	std::vector<std::string> result;
	size_t start = 0;
	for (;;) {
		start = text.find_first_not_of(" \t", start);
		if (start == std::string::npos)
			return result;
		size_t end = text.find_first_of(" \t", start);
		result.push_back(text.substr(start, end - start));
		if (end == std::string::npos)
			return result;
		start = end;
	}
}


// A decimal number without sign, blanks or leading '+'; false for
// anything else or one above the limit.
bool
parse_number(const std::string& text, long limit, long* number)
{
	if (text.empty() || text.size() > 9
		|| text.find_first_not_of("0123456789") != std::string::npos)
		return false;
	*number = strtol(text.c_str(), nullptr, 10);
	return *number <= limit;
}


// The broker's topics and a report's texts are UTF-8; bytes that are not
// could never match a report, and would only pretend to.
bool
valid_utf8(const std::string& text)
{
	for (size_t i = 0; i < text.size();) {
		unsigned char c = (unsigned char)text[i];
		size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3
			: (c >> 3) == 30 ? 4 : 0;
		if (length == 0 || i + length > text.size())
			return false;
		uint32_t code = length == 1 ? c : c & (0xff >> (length + 1));
		for (size_t k = 1; k < length; k++) {
			unsigned char next = (unsigned char)text[i + k];
			if ((next >> 6) != 2)
				return false;
			code = (code << 6) | (next & 0x3f);
		}
		// Overlong forms, surrogates and beyond the last code point.
		static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
		if (code < kLeast[length] || (code >= 0xd800 && code <= 0xdfff)
			|| code > 0x10ffff)
			return false;
		i += length;
	}
	return true;
}


// A topic to subscribe to as it stands: no wildcards, which would read
// the reports of other sensors as this one's.
bool
readable_topic(const std::string& topic)
{
	return !topic.empty() && topic.size() <= 200 && valid_utf8(topic)
		&& topic.find_first_of("+#") == std::string::npos;
}


std::string
octal(mode_t mode)
{
	char text[8];
	snprintf(text, sizeof(text), "%04o", (unsigned)(mode & 07777));
	return text;
}


bool
trusted_owner(uid_t owner)
{
	return owner == geteuid() || owner == 0;
}


std::string
directory_of(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}


// Where a chain of links ends; the path itself when it is none.
std::string
real_path(const std::string& path)
{
	std::string end = path;
	for (int hop = 0; hop < 40; hop++) {
		char target[PATH_MAX];
		ssize_t length = readlink(end.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			break;
		target[length] = '\0';
		end = target[0] == '/' ? std::string(target)
			: directory_of(end) + "/" + target;
	}
	return end;
}


// Why someone else could replace what the directory holds; empty when
// nobody can.
std::string
directory_doubt(const std::string& directory)
{
	struct stat status;
	if (stat(directory.c_str(), &status) != 0)
		return std::string();
	if (!trusted_owner(status.st_uid)) {
		return translate_format("the directory %s belongs to another user"
			" (uid %u): door.conf is refused until it is in a directory of"
			" your own", directory.c_str(), (unsigned)status.st_uid);
	}
	// In a sticky directory only a file's owner may replace it.
	if ((status.st_mode & 022) != 0 && (status.st_mode & S_ISVTX) == 0) {
		return translate_format("the directory %s may be written by others"
			" (mode %s): door.conf is refused until that is mended: chmod"
			" go-w %s", directory.c_str(), octal(status.st_mode).c_str(),
			directory.c_str());
	}
	return std::string();
}


// Why someone else could change what the path leads to: a directory on
// the way that others may write or that belongs to another user, or a link
// of another user; empty when nobody can. Not the file's own directory
// alone: whoever may replace a directory above it may replace all below.
// The way as written is looked at, and the way its links lead.
std::string
way_doubt(const std::string& path)
{
	std::vector<std::string> ways;
	if (path[0] == '/')
		ways.push_back(directory_of(path));
	// Every link of the chain to the file, and where each leads.
	std::string end = path;
	for (int hop = 0; hop < 40; hop++) {
		struct stat status;
		if (lstat(end.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
			break;
		if (!trusted_owner(status.st_uid)) {
			return translate_format("the link %s belongs to another user"
				" (uid %u): door.conf is refused until it is reached through"
				" links of your own", end.c_str(), (unsigned)status.st_uid);
		}
		char target[PATH_MAX];
		ssize_t length = readlink(end.c_str(), target, sizeof(target) - 1);
		if (length <= 0)
			break;
		target[length] = '\0';
		end = target[0] == '/' ? std::string(target)
			: directory_of(end) + "/" + target;
		if (end[0] == '/')
			ways.push_back(directory_of(end));
	}
	char resolved[PATH_MAX];
	if (realpath(directory_of(end).c_str(), resolved) != nullptr)
		ways.push_back(resolved);

	for (const std::string& way : ways) {
		for (std::string directory = way;;) {
			struct stat status;
			if (lstat(directory.c_str(), &status) == 0
				&& S_ISLNK(status.st_mode) && !trusted_owner(status.st_uid)) {
				return translate_format("the link %s belongs to another user"
					" (uid %u): door.conf is refused until it is reached"
					" through links of your own", directory.c_str(),
					(unsigned)status.st_uid);
			}
			std::string doubt = directory_doubt(directory);
			if (!doubt.empty())
				return doubt;
			if (directory == "/" || directory.empty())
				break;
			directory = directory_of(directory);
		}
	}
	return std::string();
}


// The event code of a key or switch as door.conf names it: KEY_ENTER,
// BTN_0, SW_LID, or key:28 and sw:0 by number.
bool
parse_code(const std::string& text, int* type, int* code)
{
	long number;
	if (text.compare(0, 4, "key:") == 0
		&& parse_number(text.substr(4), KEY_MAX, &number)) {
		*type = EV_KEY;
		*code = (int)number;
		return true;
	}
	if (text.compare(0, 3, "sw:") == 0
		&& parse_number(text.substr(3), SW_MAX, &number)) {
		*type = EV_SW;
		*code = (int)number;
		return true;
	}
	int found = -1;
	if (text.compare(0, 4, "KEY_") == 0 || text.compare(0, 4, "BTN_") == 0) {
		*type = EV_KEY;
		found = libevdev_event_code_from_name(EV_KEY, text.c_str());
	} else if (text.compare(0, 3, "SW_") == 0) {
		*type = EV_SW;
		found = libevdev_event_code_from_name(EV_SW, text.c_str());
	}
	if (found < 0)
		return false;
	*code = found;
	return true;
}

}	// namespace


std::string
DoorConfig::DefaultPath()
{
	BPath path;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path) != B_OK)
		return "door.conf";
	return std::string(path.Path()) + "/RDX/door.conf";
}


bool
DoorConfig::ParseDuration(const std::string& text, bigtime_t* duration)
{
	size_t digits = text.find_first_not_of("0123456789");
	if (digits == 0 || digits == std::string::npos || digits > 9)
		return false;
	long long number = strtoll(text.substr(0, digits).c_str(), nullptr, 10);
	std::string unit = text.substr(digits);
	if (unit == "ms")
		*duration = number * 1000LL;
	else if (unit == "s")
		*duration = number * kSecond;
	else if (unit == "min")
		*duration = number * 60 * kSecond;
	else if (unit == "h")
		*duration = number * 3600 * kSecond;
	else
		return false;
	return true;
}


std::string
DoorConfig::FormatDuration(bigtime_t duration)
{
	if (duration % kSecond != 0)
		return std::to_string(duration / 1000) + "ms";
	if (duration != 0 && duration % (3600 * kSecond) == 0)
		return std::to_string(duration / (3600 * kSecond)) + "h";
	if (duration != 0 && duration % (60 * kSecond) == 0)
		return std::to_string(duration / (60 * kSecond)) + "min";
	return std::to_string(duration / kSecond) + "s";
}


const DoorInput*
DoorConfig::Contact() const
{
	for (const DoorInput& input : inputs) {
		if (input.role == DoorInput::kContact)
			return &input;
	}
	return nullptr;
}


status_t
DoorConfig::Load(const std::string& path)
{
	fErrors.clear();
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY
		| O_NONBLOCK);
	if (fd < 0) {
		int error = errno;
		_Fail(translate_format("%s: cannot read it: %s", path.c_str(),
			strerror(error)));
		return error == ENOENT ? B_ENTRY_NOT_FOUND : B_IO_ERROR;
	}
	// What was opened is what is judged, not what the name leads to now.
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
		close(fd);
		_Fail(translate_format("%s: not a regular file", path.c_str()));
		return B_BAD_VALUE;
	}
	std::string real = real_path(path);
	std::string doubt;
	if (!trusted_owner(status.st_uid)) {
		doubt = translate_format("%s belongs to another user (uid %u): it is"
			" refused until it is a file of your own", real.c_str(),
			(unsigned)status.st_uid);
	} else if ((status.st_mode & 022) != 0) {
		doubt = translate_format("%s may be written by others (mode %s): it"
			" is refused until that is mended: chmod go-w %s", real.c_str(),
			octal(status.st_mode).c_str(), real.c_str());
	} else
		doubt = way_doubt(path);
	if (!doubt.empty()) {
		close(fd);
		_Fail(doubt);
		return B_NOT_ALLOWED;
	}

	std::string data;
	char buffer[4096];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0) {
			_Fail(translate_format("%s: cannot read it: %s", path.c_str(),
				strerror(errno)));
			close(fd);
			return B_IO_ERROR;
		}
		if (count == 0)
			break;
		data.append(buffer, (size_t)count);
		if (data.size() > kMaxFileSize) {
			close(fd);
			_Fail(translate_format("%s: larger than 64 KiB", path.c_str()));
			return B_BAD_VALUE;
		}
	}
	close(fd);
	status_t parsed = Parse(data, path);
	if (parsed != B_OK)
		return parsed;
	// The same key of one device under two of its names (its by-id and its
	// by-path link, or its node) would be read as two inputs: a button
	// pressed twice, or an exit button that is the contact too. So would
	// one line of a GPIO chip named by two paths.
	for (size_t i = 0; i < inputs.size(); i++) {
		const DoorInput& input = inputs[i];
		for (size_t k = 0; k < i; k++) {
			const DoorInput& other = inputs[k];
			bool key = input.kind == DoorInput::kEvdev
				&& other.kind == DoorInput::kEvdev && input.type == other.type
				&& input.code == other.code;
			bool line = input.kind == DoorInput::kGpio
				&& other.kind == DoorInput::kGpio && input.line == other.line;
			if (!key && !line)
				continue;
			std::string device = DoorInput::DeviceOf(key ? input.path
				: input.chipPath);
			if (device != DoorInput::DeviceOf(key ? other.path
					: other.chipPath))
				continue;
			_Fail(translate_format("%s: %s is named already (%s): both lead"
				" to %s", input.where.c_str(), other.Name().c_str(),
				other.where.c_str(), device.c_str()));
		}
	}
	if (!fErrors.empty()) {
		inputs.clear();
		return B_BAD_VALUE;
	}
	return B_OK;
}


status_t
DoorConfig::Parse(const std::string& text, const std::string& name)
{
	fErrors.clear();
	fKeysSeen.clear();
	inputs.clear();
	size_t start = 0;
	int lineNumber = 0;
	while (start < text.size()) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		start = end + 1;
		lineNumber++;

		size_t hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		line = ConfigText::Trim(line);
		if (line.empty())
			continue;
		std::string where = name + ":" + std::to_string(lineNumber);
		// What a person cannot see in the file must not decide anything.
		bool control = false;
		for (unsigned char c : line)
			control |= (c < 0x20 && c != '\t') || c == 0x7f;
		if (control) {
			_Fail(translate_format("%s: a control character in the line",
				where.c_str()));
			continue;
		}
		size_t equals = line.find('=');
		if (equals == std::string::npos) {
			_Fail(translate_format("%s: \"%s\" is not \"key = value\"",
				where.c_str(), line.c_str()));
			continue;
		}
		_Line(ConfigText::Trim(line.substr(0, equals)),
			ConfigText::Trim(line.substr(equals + 1)), where);
	}
	if (fErrors.empty() && inputs.empty()) {
		_Fail(translate_format("%s: names no contact and no exit button:"
			" nothing to watch", name.c_str()));
	}
	return fErrors.empty() ? B_OK : B_BAD_VALUE;
}


void
DoorConfig::_Line(const std::string& key, const std::string& value,
	const std::string& where)
{
	if (key == "contact" || key == "exit") {
		_Input(key == "exit" ? DoorInput::kExit : DoorInput::kContact, value,
			where);
		return;
	}
	static const char* const kKeys[] = {"door", "held_open", "forced_grace",
		"relock"};
	bool known = false;
	for (const char* known_key : kKeys)
		known |= key == known_key;
	if (!known) {
		_Fail(translate_format("%s: unknown key \"%s\" (door, held_open,"
			" forced_grace, relock, contact, exit)", where.c_str(),
			key.c_str()));
		return;
	}
	// Said twice, a setting could be read as either: neither counts.
	for (const std::string& seen : fKeysSeen) {
		if (seen == key) {
			_Fail(translate_format("%s: %s is given twice", where.c_str(),
				key.c_str()));
			return;
		}
	}
	fKeysSeen.push_back(key);

	if (key == "door") {
		if (!ConfigText::IsPlainName(value)) {
			_Fail(translate_format("%s: door \"%s\" must be 1 to 64 letters,"
				" digits, '-', '_' or '.'", where.c_str(), value.c_str()));
			return;
		}
		door = value;
		return;
	}
	if (key == "relock") {
		if (value != "on" && value != "off") {
			_Fail(translate_format("%s: relock is on or off, not \"%s\"",
				where.c_str(), value.c_str()));
			return;
		}
		relock = value == "on";
		return;
	}
	bigtime_t duration;
	bool held = key == "held_open";
	bigtime_t low = held ? kSecond : 0;
	bigtime_t high = held ? 24 * 3600 * kSecond : 60 * kSecond;
	if (!ParseDuration(value, &duration) || duration < low
		|| duration > high) {
		_Fail(translate_format("%s: %s takes a time from %s to %s with its"
			" unit (ms, s, min, h), not \"%s\"", where.c_str(), key.c_str(),
			FormatDuration(low).c_str(), FormatDuration(high).c_str(),
			value.c_str()));
		return;
	}
	(held ? heldOpen : forcedGrace) = duration;
}


void
DoorConfig::_Input(DoorInput::Role role, const std::string& value,
	const std::string& where)
{
	std::vector<std::string> parts = words(value);
	const char* roleName = role == DoorInput::kExit ? "exit" : "contact";
	if (parts.size() < 3) {
		_Fail(translate_format("%s: %s takes \"gpio CHIP LINE\", \"evdev PATH"
			" CODE\" or \"mqtt TOPIC FIELD interval=TIME\", then options",
			where.c_str(), roleName));
		return;
	}
	DoorInput input;
	input.role = role;
	const std::string& kind = parts[0];
	if (kind == "gpio") {
		input.kind = DoorInput::kGpio;
		input.chip = parts[1];
		long offset;
		if (parts[1].compare(0, 8, "gpiochip") == 0
			&& parse_number(parts[1].substr(8), 9999, &offset))
			input.chipPath = "/dev/" + parts[1];
		else if (parts[1][0] == '/')
			input.chipPath = parts[1];
		else {
			_Fail(translate_format("%s: \"%s\" is no GPIO chip (gpiochip0, or"
				" a path such as /dev/gpiochip0)", where.c_str(),
				parts[1].c_str()));
			return;
		}
		if (!parse_number(parts[2], 1023, &offset)) {
			_Fail(translate_format("%s: \"%s\" is no line of a GPIO chip (0 to"
				" 1023)", where.c_str(), parts[2].c_str()));
			return;
		}
		input.line = (int)offset;
		// Mechanical contacts bounce for a few milliseconds.
		input.debounce = 20 * 1000;
	} else if (kind == "evdev") {
		input.kind = DoorInput::kEvdev;
		input.path = parts[1];
		if (input.path[0] != '/') {
			_Fail(translate_format("%s: \"%s\" is no device path (such as"
				" /dev/input/by-id/…)", where.c_str(), parts[1].c_str()));
			return;
		}
		if (!parse_code(parts[2], &input.type, &input.code)) {
			_Fail(translate_format("%s: \"%s\" is no key or switch (KEY_…,"
				" BTN_…, SW_…, or key:N, sw:N by number)", where.c_str(),
				parts[2].c_str()));
			return;
		}
	} else if (kind == "mqtt") {
		if (role == DoorInput::kExit) {
			// A button that opens the door must be wired: a message on a
			// broker can be sent by anyone who may publish there, and
			// again later.
			_Fail(translate_format("%s: an exit button is a gpio or evdev"
				" input, never an MQTT topic", where.c_str()));
			return;
		}
		input.kind = DoorInput::kMqtt;
		input.topic = parts[1];
		if (!readable_topic(input.topic)) {
			_Fail(translate_format("%s: \"%s\" is no topic to read (no '+' or"
				" '#', at most 200 characters)", where.c_str(),
				parts[1].c_str()));
			return;
		}
		if (parts[2] != "-" && !ConfigText::IsPlainName(parts[2])) {
			_Fail(translate_format("%s: \"%s\" is no field of the report"
				" (letters, digits, '-', '_', '.'; '-' for the whole report)",
				where.c_str(), parts[2].c_str()));
			return;
		}
		input.field = parts[2] == "-" ? "" : parts[2];
	} else {
		_Fail(translate_format("%s: \"%s\" is no kind of input (gpio, evdev,"
			" mqtt)", where.c_str(), kind.c_str()));
		return;
	}

	std::map<std::string, bool> given;
	bool failed = false;
	for (size_t i = 3; i < parts.size(); i++) {
		const std::string& option = parts[i];
		size_t equals = option.find('=');
		std::string name = option.substr(0, equals);
		std::string setting = equals == std::string::npos ? std::string()
			: option.substr(equals + 1);
		auto refuse = [&](const std::string& why) {
			_Fail(translate_format("%s: %s: %s", where.c_str(),
				option.c_str(), why.c_str()));
			failed = true;
		};
		if (given[name]) {
			refuse(B_TRANSLATE("given twice"));
			continue;
		}
		given[name] = true;
		bool wired = input.kind != DoorInput::kMqtt;
		if (name == "active-low" && equals == std::string::npos
			&& input.kind == DoorInput::kGpio) {
			input.activeLow = true;
		} else if (name == "bias" && input.kind == DoorInput::kGpio) {
			if (setting == "pull-up")
				input.bias = DoorInput::kPullUp;
			else if (setting == "pull-down")
				input.bias = DoorInput::kPullDown;
			else if (setting == "disabled")
				input.bias = DoorInput::kBiasDisabled;
			else if (setting == "as-is")
				input.bias = DoorInput::kBiasAsIs;
			else
				refuse(B_TRANSLATE("bias is pull-up, pull-down, disabled or"
					" as-is"));
		} else if (name == "debounce" && wired) {
			if (!ParseDuration(setting, &input.debounce)
				|| input.debounce > kSecond)
				refuse(B_TRANSLATE("debounce takes a time up to 1s with its"
					" unit (ms, s)"));
		} else if (name == "active" && wired
			&& role == DoorInput::kContact) {
			if (setting != "open" && setting != "closed")
				refuse(B_TRANSLATE("active is open or closed: what the"
					" contact's active level means"));
			input.activeMeansOpen = setting == "open";
		} else if (name == "interval" && !wired) {
			if (!ParseDuration(setting, &input.interval)
				|| input.interval < kSecond
				|| input.interval > 48 * 3600 * kSecond)
				refuse(B_TRANSLATE("interval takes a time from 1s to 48h with"
					" its unit (s, min, h)"));
		} else if (name == "availability" && !wired) {
			// Bare, it is where zigbee2mqtt says it.
			std::string topic = equals == std::string::npos
				? input.topic + "/availability" : setting;
			if (!readable_topic(topic) || topic == input.topic)
				refuse(B_TRANSLATE("availability is a topic of its own (no"
					" '+' or '#', at most 200 characters), or given bare for"
					" TOPIC/availability"));
			input.availability = topic;
		} else if ((name == "open" || name == "closed") && !wired
			&& equals != std::string::npos) {
			if (setting.empty() || !valid_utf8(setting))
				refuse(B_TRANSLATE("needs a text (UTF-8)"));
			(name == "open" ? input.openText : input.closedText) = setting;
		} else
			refuse(B_TRANSLATE("not an option of this kind of input"));
	}
	if (failed)
		return;
	if (input.kind == DoorInput::kMqtt) {
		if (input.interval == 0) {
			// A sensor whose silence nobody times could be gone for good
			// while the door is taken as shut.
			_Fail(translate_format("%s: an MQTT contact needs the sensor's"
				" report interval (interval=…), so that a silent sensor is"
				" noticed", where.c_str()));
			return;
		}
		if (input.openText == input.closedText) {
			_Fail(translate_format("%s: open and closed are both \"%s\"",
				where.c_str(), input.openText.c_str()));
			return;
		}
	}
	for (const DoorInput& other : inputs) {
		if (role == DoorInput::kContact && other.role == DoorInput::kContact) {
			_Fail(translate_format("%s: a door has one contact, and %s is"
				" named already", where.c_str(), other.Name().c_str()));
			return;
		}
		if (other.SameSource(input)) {
			_Fail(translate_format("%s: %s is named already", where.c_str(),
				other.Name().c_str()));
			return;
		}
	}
	input.where = where;
	inputs.push_back(input);
}


void
DoorConfig::_Fail(const std::string& error)
{
	fErrors.push_back(error);
}
