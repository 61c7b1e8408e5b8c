#include "LogOptions.h"

#include <AccessLog.h>
#include <Locale.h>

#include <cerrno>
#include <cstdlib>
#include <set>

namespace {

const std::set<std::string> kEvents = {"start", "stop", "tag", "relay",
	"board-use", "setting", "read", "door", "lockdown", "keep-open"};
const std::set<std::string> kDoorEvents = {"opened", "closed", "held-open",
	"forced", "sensor-lost", "exit", "relock"};


// Every outcome a read record may carry, in the enum's order.
std::set<std::string>
outcomes()
{
	std::set<std::string> names;
	for (int i = 0; i <= (int)kLastReadOutcome; i++)
		names.insert(read_outcome_name((ReadOutcome)i));
	return names;
}


std::string
outcome_list()
{
	std::string list;
	for (int i = 0; i <= (int)kLastReadOutcome; i++) {
		list += std::string(i > 0 ? ", " : "")
			+ read_outcome_name((ReadOutcome)i);
	}
	return list;
}

}	// namespace


const char*
LogOptions::Usage()
{
	return
		"usage: rdx-log [OPTION...]\n"
		"Shows the access log of rdx, rdx-reader and rdx-door, oldest first,"
		" in local time.\n"
		"\n"
		"  --since TIME   records from TIME on (\"2026-12-08\" or"
		" \"2026-12-08 09:14[:03]\")\n"
		"  --until TIME   records before TIME; a date alone takes in that"
		" whole day\n"
		"  --tag TAG      records of this tag (upper or lower case)\n"
		"  --relay N      records of relay N (1 to 4)\n"
		"  --event E      records of one event: start, stop, tag, relay,"
		" board-use,\n"
		"                 setting, read, door, lockdown, keep-open\n"
		"  --outcome O    reads with this outcome: passed-on, unknown, repeat,\n"
		"                 off, not-yet-valid, expired, outside-hours, bad-rule,\n"
		"                 learned, no-rdx, listed-learning, not-delivered,\n"
		"                 not-learned, pin-wanted, wrong-pin, no-pin,"
		" pin-locked,\n"
		"                 lockdown (also the reads and exit presses rdx"
		" refused\n"
		"                 during lockdown)\n"
		"  --door-event D the door's records of one kind: opened, closed,"
		" held-open,\n"
		"                 forced, sensor-lost, exit, relock\n"
		"  --csv          comma-separated values for a spreadsheet\n"
		"  --json         the records' own lines (JSON Lines)\n"
		"  --follow       go on printing new records as they are written\n"
		"  --log FILE     read FILE and its rotated files instead of\n"
		"                 $XDG_STATE_HOME/RDX/access.log\n"
		"  --tags FILE    take tag names from FILE instead of"
		" $XDG_CONFIG_HOME/RDX/tags\n"
		"  --help         show this and exit\n"
		"  --version      show the version and exit\n"
		"\n"
		"Exit status: 0 on success, 1 when the log cannot be read, 2 for bad"
		" arguments.\n";
}


status_t
LogOptions::Parse(const std::vector<std::string>& arguments,
	std::string* error)
{
	for (size_t i = 0; i < arguments.size(); i++) {
		const std::string& option = arguments[i];
		if (option == "--help") {
			help = true;
			continue;
		}
		if (option == "--version") {
			version = true;
			continue;
		}
		if (option == "--csv" || option == "--json") {
			RecordPrinter::Format wanted = option == "--csv"
				? RecordPrinter::kCsv : RecordPrinter::kJson;
			if (format != RecordPrinter::kTable && format != wanted) {
				*error = B_TRANSLATE("--csv and --json exclude each other");
				return B_BAD_VALUE;
			}
			format = wanted;
			continue;
		}
		if (option == "--follow") {
			follow = true;
			continue;
		}

		// The options that take a value, as "--tag T" or "--tag=T".
		std::string name = option;
		std::string value;
		size_t equals = option.find('=');
		if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
			name = option.substr(0, equals);
			value = option.substr(equals + 1);
		} else if (i + 1 < arguments.size()) {
			value = arguments[i + 1];
		}
		static const std::set<std::string> kValued = {"--since", "--until",
			"--tag", "--relay", "--event", "--outcome", "--door-event", "--log",
			"--tags"};
		if (kValued.count(name) == 0) {
			*error = translate_format("unknown option %s", option.c_str());
			return B_BAD_VALUE;
		}
		if (equals == std::string::npos || option.compare(0, 2, "--") != 0) {
			if (i + 1 >= arguments.size()) {
				*error = translate_format("%s needs a value", name.c_str());
				return B_BAD_VALUE;
			}
			i++;
		}

		if (name == "--since" || name == "--until") {
			bool until = name == "--until";
			std::optional<int64> time = parse_local_time(value, until);
			if (!time) {
				*error = translate_format("%s takes a date (2026-12-08) or a"
					" date and time (2026-12-08 09:14), not \"%s\"", name.c_str(),
					value.c_str());
				return B_BAD_VALUE;
			}
			(until ? filter.until : filter.since) = time;
		} else if (name == "--tag") {
			if (value.empty()) {
				*error = B_TRANSLATE("--tag needs a tag");
				return B_BAD_VALUE;
			}
			filter.tag = value;
		} else if (name == "--relay") {
			char* end = nullptr;
			errno = 0;
			long relay = strtol(value.c_str(), &end, 10);
			if (value.empty() || *end != '\0' || errno != 0 || relay < 1
				|| relay > 4) {
				*error = translate_format("--relay takes a relay from 1 to 4,"
					" not \"%s\"", value.c_str());
				return B_BAD_VALUE;
			}
			filter.relay = (int32)relay;
		} else if (name == "--event") {
			if (kEvents.count(value) == 0) {
				*error = translate_format("--event takes start, stop, tag,"
					" relay, board-use, setting, read, door, lockdown or"
					" keep-open, not \"%s\"",
					value.c_str());
				return B_BAD_VALUE;
			}
			filter.event = value;
		} else if (name == "--outcome") {
			if (outcomes().count(value) == 0) {
				*error = translate_format("--outcome takes one of %s, not"
					" \"%s\"", outcome_list().c_str(), value.c_str());
				return B_BAD_VALUE;
			}
			filter.outcome = value;
		} else if (name == "--door-event") {
			if (kDoorEvents.count(value) == 0) {
				*error = translate_format("--door-event takes opened, closed,"
					" held-open, forced, sensor-lost, exit or relock, not \"%s\"",
					value.c_str());
				return B_BAD_VALUE;
			}
			filter.doorEvent = value;
		} else if (name == "--log")
			logPath = value;
		else
			tagsPath = value;
	}
	if (filter.since && filter.until && *filter.until <= *filter.since) {
		*error = B_TRANSLATE("--until is not after --since: no record could"
			" match");
		return B_BAD_VALUE;
	}
	return B_OK;
}
