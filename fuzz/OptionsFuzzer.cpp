// Feeds arbitrary command lines to the option parsers of rdx-reader (first
// input byte even) and rdx-log (odd). The rest of the input is the argument
// vector as the kernel hands it over: arguments separated by NUL bytes.
//
// A refused command line must come with a reason. An accepted one must give
// a struct whose fields hold what the arguments said: the check walks the
// arguments by the options' own grammar (which take a value, which do not)
// and compares every value with its field, the last one given where an
// option may come once.

#include "FuzzCheck.h"

#include <AccessLog.h>
#include <LocalTime.h>
#include <LogOptions.h>
#include <ReaderOptions.h>
#include <SerialSource.h>

#include <RDXDefs.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The option and its value, "--name=value" or "--name value".
struct Given {
	std::string		name;
	std::string		value;
	bool			hasValue = false;
};


// Splits the arguments by the grammar: flags take no value, valued options
// take the next argument unless they hold '='. Options named in optional
// take the next argument when it does not start with '-'.
std::vector<Given>
walk(const std::vector<std::string>& arguments,
	const std::vector<std::string>& valued,
	const std::vector<std::string>& optional = {})
{
	std::vector<Given> given;
	for (size_t i = 0; i < arguments.size(); i++) {
		Given option;
		option.name = arguments[i];
		size_t equals = option.name.find('=');
		if (option.name.compare(0, 2, "--") == 0
			&& equals != std::string::npos) {
			option.value = option.name.substr(equals + 1);
			option.name.erase(equals);
			option.hasValue = true;
		}
		auto among = [&](const std::vector<std::string>& names) {
			for (const std::string& name : names) {
				if (name == option.name)
					return true;
			}
			return false;
		};
		if (!option.hasValue && among(valued)) {
			FUZZ_CHECK(i + 1 < arguments.size());
			option.value = arguments[++i];
			option.hasValue = true;
		} else if (!option.hasValue && among(optional)
			&& i + 1 < arguments.size() && arguments[i + 1].rfind("-", 0) != 0) {
			option.value = arguments[++i];
			option.hasValue = true;
		}
		given.push_back(option);
	}
	return given;
}


int
number(const std::string& digits)
{
	return (int)strtol(digits.c_str(), nullptr, 10);
}


// An accepted --at is a date and a time, blanks between, maybe followed by
// blanks and an offset "+HH:MM"; the moment it names shows that date and
// time on the wall clock (unless the clocks skip it) and has that offset,
// and without an offset it is the first of a time that happens twice.
void
check_at(const std::string& at)
{
	LocalTime moment;
	bool moved = false;
	FUZZ_CHECK(LocalTime::ParseMoment(at, &moment, &moved));
	std::string written = at;
	std::string offset;
	size_t last = at.find_last_of(" \t");
	if (last != std::string::npos && (at[last + 1] == '+'
			|| at[last + 1] == '-')) {
		offset = at.substr(last + 1);
		written = at.substr(0, at.find_last_not_of(" \t", last) + 1);
	}
	FUZZ_CHECK(offset.empty() || offset.size() == 6);
	size_t blank = written.find_first_of(" \t");
	FUZZ_CHECK(blank == 10);
	size_t time = written.find_first_not_of(" \t", blank);
	FUZZ_CHECK(time != std::string::npos && written.size() - time == 5);
	std::string shown = written.substr(0, 10) + " " + written.substr(time);
	if (!offset.empty()) {
		FUZZ_CHECK(!moved && moment.ToString() == shown);
		FUZZ_CHECK(moment.OffsetString() == offset);
		return;
	}
	FUZZ_CHECK(moved != (moment.ToString() == shown));
	if (!moved) {
		FUZZ_CHECK(moment.Moment() == LocalTime::MomentOf(moment.Key(),
			LocalTime::kFirst));
	}
}


void
check_reader(const std::vector<std::string>& arguments)
{
	ReaderOptions options;
	std::string error;
	if (options.Parse(arguments, &error) != B_OK) {
		FUZZ_CHECK(!error.empty());
		return;
	}
	if (options.help || options.version)
		return;

	std::vector<Given> given = walk(arguments, {"--keyboard", "--serial",
		"--tags", "--repeat-ms", "--key-gap-ms", "--em-format", "--to",
		"--check", "--at", "--set-pin", "--pin-wait-s", "--pin-tries",
		"--pin-lock-s"}, {"--pcsc"});
	std::vector<std::string> keyboards;
	std::vector<std::string> serials;
	std::string tags;
	std::string signature = RDX_SIGNATURE;
	int repeatMs = 1500;
	int keyGapMs = 100;
	bool pcsc = false, anyTag = false, learn = false, list = false;
	bool emHex = false;
	std::string pcscName;
	bool check = false;
	std::string checkTag, at;
	bool setPin = false;
	std::string setPinTag;
	int pinWait = 10, pinTries = 3, pinLock = 300;
	bool notify = true;
	for (const Given& option : given) {
		const std::string& name = option.name;
		if (name == "--keyboard")
			keyboards.push_back(option.value);
		else if (name == "--serial")
			serials.push_back(option.value);
		else if (name == "--tags")
			tags = option.value;
		else if (name == "--repeat-ms")
			repeatMs = number(option.value);
		else if (name == "--key-gap-ms")
			keyGapMs = number(option.value);
		else if (name == "--em-format")
			emHex = option.value == "hex";
		else if (name == "--to")
			signature = option.value;
		else if (name == "--check") {
			check = true;
			checkTag = option.value;
		} else if (name == "--at")
			at = option.value;
		else if (name == "--set-pin") {
			setPin = true;
			setPinTag = option.value;
		} else if (name == "--pin-wait-s")
			pinWait = number(option.value);
		else if (name == "--pin-tries")
			pinTries = number(option.value);
		else if (name == "--pin-lock-s")
			pinLock = number(option.value);
		else if (name == "--pcsc") {
			FUZZ_CHECK(!pcsc);
			pcsc = true;
			pcscName = option.value;
		} else if (name == "--any-tag" && !option.hasValue)
			anyTag = true;
		else if (name == "--learn" && !option.hasValue)
			learn = true;
		else if (name == "--list" && !option.hasValue)
			list = true;
		else if (name == "--no-notify" && !option.hasValue)
			notify = false;
		else
			FUZZ_CHECK(false);
	}
	FUZZ_CHECK(options.keyboards == keyboards);
	for (const std::string& keyboard : keyboards)
		FUZZ_CHECK(!keyboard.empty());
	FUZZ_CHECK(options.tags == tags);
	FUZZ_CHECK(options.repeatMs == repeatMs && options.keyGapMs == keyGapMs);
	FUZZ_CHECK(options.keyGapMs > 0);
	FUZZ_CHECK(options.emHex == emHex);
	FUZZ_CHECK(options.pcsc == pcsc && options.pcscName == pcscName);
	FUZZ_CHECK(options.anyTag == anyTag && options.learn == learn
		&& options.list == list);
	FUZZ_CHECK(!(anyTag && learn));
	// A check reads no reader and says when, if at all, only with --at.
	FUZZ_CHECK(options.check == check && options.checkTag == checkTag
		&& options.at == at);
	FUZZ_CHECK(at.empty() || check);
	if (check) {
		FUZZ_CHECK(!checkTag.empty());
		FUZZ_CHECK(keyboards.empty() && serials.empty() && !pcsc && !list
			&& !learn && !anyTag);
		if (!at.empty())
			check_at(at);
	}
	// No setting switches the PIN off: a wait, a try and a lock of at
	// least a second and one.
	FUZZ_CHECK(options.pinWaitSeconds == pinWait && options.pinTries
		== pinTries && options.pinLockSeconds == pinLock);
	FUZZ_CHECK(pinWait >= 1 && pinWait <= 600 && pinTries >= 1
		&& pinTries <= 100 && pinLock >= 1 && pinLock <= 86400);
	// Setting a PIN reads no reader, and checks nothing.
	FUZZ_CHECK(options.setPin == setPin && options.setPinTag == setPinTag);
	if (setPin) {
		FUZZ_CHECK(!setPinTag.empty() && !check && at.empty());
		FUZZ_CHECK(keyboards.empty() && serials.empty() && !pcsc && !list
			&& !learn && !anyTag);
	}
	FUZZ_CHECK(setPin || check || list || !keyboards.empty()
		|| !serials.empty() || pcsc);
	FUZZ_CHECK(options.signature == signature && !signature.empty());
	// The desk hears of unknown cards unless told not to.
	FUZZ_CHECK(options.notify == notify);

	// PATH[,BAUD][,PROTOCOL]: whatever follows the path names the speed and
	// the protocol, each as given, and nothing else.
	FUZZ_CHECK(options.serials.size() == serials.size());
	for (size_t i = 0; i < serials.size(); i++) {
		const ReaderOptions::Serial& serial = options.serials[i];
		FUZZ_CHECK(!serial.path.empty());
		FUZZ_CHECK(serials[i].compare(0, serial.path.size(), serial.path)
			== 0);
		FUZZ_CHECK(SerialSource::IsKnownBaud(serial.baud));
		std::string rest = serials[i].substr(serial.path.size());
		bool baudGiven = false, protocolGiven = false;
		while (!rest.empty()) {
			FUZZ_CHECK(rest[0] == ',');
			size_t comma = rest.find(',', 1);
			std::string word = rest.substr(1, comma == std::string::npos
				? std::string::npos : comma - 1);
			rest.erase(0, comma == std::string::npos ? rest.size() : comma);
			if (word == "lines" || word == "rdm6300") {
				FUZZ_CHECK(serial.protocol == (word == "lines"
					? ReaderOptions::kLines : ReaderOptions::kRdm6300));
				protocolGiven = true;
			} else {
				FUZZ_CHECK(number(word) == serial.baud);
				baudGiven = true;
			}
		}
		if (!baudGiven)
			FUZZ_CHECK(serial.baud == 9600);
		if (!protocolGiven)
			FUZZ_CHECK(serial.protocol == ReaderOptions::kRdm6300);
	}
}


void
check_log(const std::vector<std::string>& arguments)
{
	LogOptions options;
	std::string error;
	if (options.Parse(arguments, &error) != B_OK) {
		FUZZ_CHECK(!error.empty());
		return;
	}

	std::vector<Given> given = walk(arguments, {"--since", "--until", "--tag",
		"--relay", "--event", "--outcome", "--log", "--tags"});
	LogOptions expected;
	for (const Given& option : given) {
		const std::string& name = option.name;
		if (name == "--help" || name == "--version" || name == "--follow"
			|| name == "--csv" || name == "--json") {
			// A flag with '=' would be an unknown option.
			FUZZ_CHECK(!option.hasValue);
			if (name == "--help")
				expected.help = true;
			else if (name == "--version")
				expected.version = true;
			else if (name == "--follow")
				expected.follow = true;
			else
				expected.format = name == "--csv" ? RecordPrinter::kCsv
					: RecordPrinter::kJson;
		} else if (name == "--since")
			expected.filter.since = parse_local_time(option.value);
		else if (name == "--until")
			expected.filter.until = parse_local_time(option.value, true);
		else if (name == "--tag")
			expected.filter.tag = option.value;
		else if (name == "--relay")
			expected.filter.relay = number(option.value);
		else if (name == "--event")
			expected.filter.event = option.value;
		else if (name == "--outcome")
			expected.filter.outcome = option.value;
		else if (name == "--log")
			expected.logPath = option.value;
		else if (name == "--tags")
			expected.tagsPath = option.value;
		else
			FUZZ_CHECK(false);
	}
	const LogFilter& filter = options.filter;
	FUZZ_CHECK(options.help == expected.help
		&& options.version == expected.version
		&& options.follow == expected.follow
		&& options.format == expected.format);
	FUZZ_CHECK(filter.since == expected.filter.since
		&& filter.until == expected.filter.until);
	FUZZ_CHECK(filter.tag == expected.filter.tag && (!filter.tag
		|| !filter.tag->empty()));
	FUZZ_CHECK(filter.relay == expected.filter.relay && (!filter.relay
		|| (*filter.relay >= 1 && *filter.relay <= 4)));
	FUZZ_CHECK(filter.event == expected.filter.event);
	// Only an outcome a read record can carry.
	FUZZ_CHECK(filter.outcome == expected.filter.outcome);
	bool known = !filter.outcome;
	for (int i = 0; filter.outcome && i <= (int)kLastReadOutcome; i++)
		known = known || *filter.outcome == read_outcome_name((ReadOutcome)i);
	FUZZ_CHECK(known);
	FUZZ_CHECK(options.logPath == expected.logPath
		&& options.tagsPath == expected.tagsPath);
	FUZZ_CHECK(!filter.since || !filter.until || *filter.since
		< *filter.until);
}

}	// namespace


extern "C" int
LLVMFuzzerInitialize(int* argc, char*** argv)
{
	setenv("TZ", "Europe/Berlin", 1);
	return 0;
}


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	std::vector<std::string> arguments;
	std::string current;
	for (size_t i = 1; i < size; i++) {
		if (data[i] == '\0') {
			arguments.push_back(current);
			current.clear();
		} else
			current.push_back((char)data[i]);
	}
	if (size > 1)
		arguments.push_back(current);

	if ((data[0] & 1) == 0)
		check_reader(arguments);
	else
		check_log(arguments);
	return 0;
}
