// Feeds arbitrary text to the reader of rdx-door's settings (door.conf).
//
// A refused file names only lines that say something (not blanks, not a
// comment), each by a number the file has. An accepted one gives settings
// that are what the file said: written out again they read back the
// same; times stay within their limits; a door has at most one contact and
// no input twice; names hold nothing a person cannot see. An MQTT
// contact's report reads one way only: its open text is open, its closed
// text closed, and nothing else is taken for either.

#include "FuzzCheck.h"

#include <DoorConfig.h>

#include <cstdint>
#include <linux/input.h>
#include <cstdlib>
#include <string>

namespace {

const char* kName = "door.conf";


bool
plain(const std::string& text)
{
	for (unsigned char c : text) {
		if (c < 0x20 || c == 0x7f)
			return false;
	}
	return true;
}


std::string
written(const DoorConfig& config)
{
	std::string text = "door = " + config.door + "\n"
		+ "held_open = " + DoorConfig::FormatDuration(config.heldOpen) + "\n"
		+ "forced_grace = " + DoorConfig::FormatDuration(config.forcedGrace)
		+ "\n" + "relock = " + (config.relock ? "on" : "off") + "\n";
	for (const DoorInput& input : config.inputs) {
		text += input.role == DoorInput::kExit ? "exit = " : "contact = ";
		if (input.kind == DoorInput::kMqtt) {
			text += "mqtt " + input.topic + " "
				+ (input.field.empty() ? "-" : input.field) + " interval="
				+ DoorConfig::FormatDuration(input.interval) + " open="
				+ input.openText + " closed=" + input.closedText
				+ (input.availability.empty() ? ""
					: " availability=" + input.availability) + "\n";
			continue;
		}
		if (input.kind == DoorInput::kGpio) {
			text += "gpio " + input.chip + " " + std::to_string(input.line)
				+ (input.activeLow ? " active-low" : "") + " bias="
				+ (input.bias == DoorInput::kPullUp ? "pull-up"
					: input.bias == DoorInput::kPullDown ? "pull-down"
					: input.bias == DoorInput::kBiasDisabled ? "disabled"
					: "as-is");
		} else {
			text += "evdev " + input.path + " "
				+ (input.type == EV_SW ? "sw:" : "key:")
				+ std::to_string(input.code);
		}
		text += " debounce=" + DoorConfig::FormatDuration(input.debounce);
		if (input.role == DoorInput::kContact)
			text += input.activeMeansOpen ? " active=open" : " active=closed";
		text += "\n";
	}
	return text;
}


bool
same(const DoorConfig& a, const DoorConfig& b)
{
	if (a.door != b.door || a.heldOpen != b.heldOpen
		|| a.forcedGrace != b.forcedGrace || a.relock != b.relock
		|| a.inputs.size() != b.inputs.size())
		return false;
	for (size_t i = 0; i < a.inputs.size(); i++) {
		const DoorInput& x = a.inputs[i];
		const DoorInput& y = b.inputs[i];
		if (x.Name() != y.Name() || x.role != y.role || x.kind != y.kind
			|| x.chipPath != y.chipPath || x.activeLow != y.activeLow
			|| x.bias != y.bias || x.debounce != y.debounce
			|| x.activeMeansOpen != y.activeMeansOpen || x.type != y.type
			|| x.code != y.code || x.field != y.field
			|| x.openText != y.openText || x.closedText != y.closedText
			|| x.interval != y.interval || x.availability != y.availability)
			return false;
	}
	return true;
}

}	// namespace


extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text(reinterpret_cast<const char*>(data), size);
	DoorConfig config;
	if (config.Parse(text, kName) != B_OK) {
		FUZZ_CHECK(!config.Errors().empty());
		for (const std::string& error : config.Errors()) {
			std::string prefix = std::string(kName) + ":";
			FUZZ_CHECK(error.compare(0, prefix.size(), prefix) == 0);
			if (error[prefix.size()] == ' ') {
				// The file as a whole: it names no input.
				FUZZ_CHECK(config.inputs.empty());
				continue;
			}
			long number = strtol(error.c_str() + prefix.size(), nullptr, 10);
			FUZZ_CHECK(number >= 1);
			size_t start = 0;
			for (long n = 1; n < number; n++) {
				start = text.find('\n', start);
				FUZZ_CHECK(start != std::string::npos);
				start++;
			}
			std::string line = text.substr(start,
				text.find('\n', start) - start);
			line = line.substr(0, line.find('#'));
			FUZZ_CHECK(line.find_first_not_of(" \t\r") != std::string::npos);
		}
		return 0;
	}

	FUZZ_CHECK(!config.inputs.empty());
	FUZZ_CHECK(config.heldOpen >= 1000000LL
		&& config.heldOpen <= 24 * 3600 * 1000000LL);
	FUZZ_CHECK(config.forcedGrace >= 0
		&& config.forcedGrace <= 60 * 1000000LL);
	FUZZ_CHECK(plain(config.door) && !config.door.empty());
	int contacts = 0;
	for (size_t i = 0; i < config.inputs.size(); i++) {
		const DoorInput& input = config.inputs[i];
		contacts += input.role == DoorInput::kContact ? 1 : 0;
		FUZZ_CHECK(plain(input.Name()));
		FUZZ_CHECK(input.debounce >= 0 && input.debounce <= 1000000LL);
		// Nothing that anyone may publish opens the door.
		FUZZ_CHECK(input.role == DoorInput::kContact
			|| input.kind != DoorInput::kMqtt);
		for (size_t j = 0; j < i; j++)
			FUZZ_CHECK(!config.inputs[j].SameSource(input));
		if (input.kind != DoorInput::kMqtt)
			continue;
		FUZZ_CHECK(input.interval >= 1000000LL);
		FUZZ_CHECK(input.openText != input.closedText);
		// The sensor's availability is read as its availability, never as
		// a report, and it takes no wildcard.
		FUZZ_CHECK(input.availability != input.topic);
		FUZZ_CHECK(input.availability.find_first_of("+#")
			== std::string::npos);
		std::string reason;
		auto report = [&](const std::string& value) {
			return input.field.empty() ? value
				: "{\"" + input.field + "\":\"" + value + "\"}";
		};
		if (input.openText.find_first_of("\"\\") == std::string::npos
			&& input.closedText.find_first_of("\"\\") == std::string::npos) {
			FUZZ_CHECK(input.StateOfPayload(report(input.openText), &reason)
				== DoorState::kOpen);
			FUZZ_CHECK(input.StateOfPayload(report(input.closedText),
				&reason) == DoorState::kClosed);
			// A text longer than both is neither.
			FUZZ_CHECK(input.StateOfPayload(report(input.openText
				+ input.closedText + "x"), &reason) == DoorState::kUnknown);
		}
	}
	FUZZ_CHECK(contacts <= 1);

	DoorConfig again;
	FUZZ_CHECK(again.Parse(written(config), kName) == B_OK);
	FUZZ_CHECK(same(config, again));
	return 0;
}
