// Writes the seed corpora in fuzz/corpus/ with the real encoders, so that
// the seeds stay valid inputs when a format changes:
//
//   build-fuzz/fuzz/fuzz_make_seeds fuzz/corpus
//
// Each seed is a small, ordinary input; the fuzzer mutates from there.

#include <AttributeStore.h>
#include <Message.h>
#include <PortFrame.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/input.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using BPrivate::AttributeStore;
using BPrivate::PortFrame;

namespace {

std::string sRoot;


void
write_seed(const char* target, const char* name, const std::string& data)
{
	std::string directory = sRoot + "/" + target;
	mkdir(directory.c_str(), 0755);
	std::string path = directory + "/" + name;
	FILE* file = fopen(path.c_str(), "wb");
	if (file == nullptr || fwrite(data.data(), 1, data.size(), file)
			!= data.size() || fclose(file) != 0) {
		perror(path.c_str());
		exit(1);
	}
}


std::vector<std::pair<const char*, BMessage>>
messages()
{
	std::vector<std::pair<const char*, BMessage>> list;

	BMessage tag('RFID');
	tag.AddString("_tagstr", "04A1B2C3");
	list.emplace_back("tag-read", tag);

	list.emplace_back("quit-requested", BMessage(B_QUIT_REQUESTED));

	BMessage status('rx_s');
	status.AddString("st", "ok");
	status.AddInt32("rel", 3);
	status.AddBool("r_open", true);
	list.emplace_back("relay-status", status);

	BMessage many('mnyv');
	many.AddString("text", "first");
	many.AddString("text", "");
	many.AddString("text", "dritter Wert \xc3\xa4\xc3\xb6\xc3\xbc");
	many.AddInt32("number", -2147483647 - 1);
	many.AddInt32("number", 2147483647);
	many.AddBool("flag", false);
	many.AddBool("flag", true);
	list.emplace_back("several-values", many);

	BMessage hold('rxca');
	hold.AddInt32("delay", 5);
	list.emplace_back("hold-time", hold);

	BMessage large('RFID');
	large.AddString(std::string(255, 'n').c_str(), std::string(600, 'v').c_str());
	list.emplace_back("long-name-and-value", large);

	return list;
}


std::string
frame(const BMessage& message)
{
	std::string data;
	if (PortFrame::Encode(message, &data) != B_OK)
		exit(1);
	return data;
}


std::string
prefixed(uint8 first, const std::string& data)
{
	return std::string(1, (char)first) + data;
}


std::string
without_checksum(const std::string& store)
{
	return store.substr(0, store.size() - 4);
}


std::string
typed(const char* type, const std::string& bytes)
{
	return std::string(type, 4) + bytes;
}


// Arguments as the kernel hands them over, separated by NUL bytes.
std::string
command_line(std::initializer_list<std::string> arguments)
{
	std::string data;
	for (const std::string& argument : arguments) {
		if (!data.empty())
			data.push_back('\0');
		data += argument;
	}
	return data;
}


// An RDM6300 frame around ten hex characters, with their checksum.
std::string
rdm6300_frame(const std::string& data)
{
	int sum = 0;
	for (size_t i = 0; i + 1 < data.size(); i += 2)
		sum ^= (int)strtol(data.substr(i, 2).c_str(), nullptr, 16);
	char checksum[3];
	snprintf(checksum, sizeof(checksum), "%02X", sum);
	return "\x02" + data + checksum + "\x03";
}


// Key presses and releases as an input device reports them.
class Keys {
public:
	Keys& Key(int code, int afterMs = 10, int value = 1)
	{
		fNowUs += afterMs * 1000LL;
		_Add(code, value);
		if (value == 1)
			_Add(code, 0);
		return *this;
	}

	// Digits, A-F with Shift around them, '\n' for Enter.
	Keys& Type(const std::string& text, int gapMs = 10)
	{
		static const char* kDigits = "1234567890";
		static const int kDigitKeys[] = {KEY_1, KEY_2, KEY_3, KEY_4, KEY_5,
			KEY_6, KEY_7, KEY_8, KEY_9, KEY_0};
		static const int kLetterKeys[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E,
			KEY_F};
		for (char c : text) {
			if (c == '\n')
				Key(KEY_ENTER, gapMs);
			else if (c >= 'A' && c <= 'F') {
				Key(KEY_LEFTSHIFT, gapMs, 1);
				Key(kLetterKeys[c - 'A'], 1);
				Key(KEY_LEFTSHIFT, 1, 0);
			} else
				Key(kDigitKeys[strchr(kDigits, c) - kDigits], gapMs);
		}
		return *this;
	}

	const std::string& Bytes() const { return fBytes; }

private:
	void _Add(int code, int value)
	{
		struct input_event event = {};
		event.input_event_sec = fNowUs / 1000000;
		event.input_event_usec = fNowUs % 1000000;
		event.type = EV_KEY;
		event.code = code;
		event.value = value;
		fBytes.append((const char*)&event, sizeof(event));
		struct input_event sync = event;
		sync.type = EV_SYN;
		sync.code = SYN_REPORT;
		sync.value = 0;
		fBytes.append((const char*)&sync, sizeof(sync));
	}

	int64_t			fNowUs = 1765155723LL * 1000000;
	std::string		fBytes;
};


// A record of the access log as its writers lay it out.
std::string
record(const char* time, const char* event, const std::string& fields = "")
{
	return std::string("{\"time\":\"") + time + "\",\"program\":\"rdx\","
		"\"pid\":42,\"event\":\"" + event + "\"" + fields + "}\n";
}

}	// namespace


int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: fuzz_make_seeds CORPUS-DIRECTORY\n");
		return 2;
	}
	sRoot = argv[1];

	std::vector<std::pair<const char*, BMessage>> list = messages();
	for (const auto& [name, message] : list)
		write_seed("fuzz_message_unflatten", name, message.Flatten());

	// Port streams: the first byte chooses how the stream is cut.
	const BMessage& tag = list[0].second;
	write_seed("fuzz_port_connection", "one-frame", prefixed(0, frame(tag)));
	write_seed("fuzz_port_connection", "two-frames-cut-small",
		prefixed(1, frame(tag) + frame(list[2].second)));
	write_seed("fuzz_port_connection", "three-frames",
		prefixed(4, frame(list[1].second) + frame(list[3].second)
			+ frame(list[4].second)));
	write_seed("fuzz_port_connection", "large-frame",
		prefixed(6, frame(list[5].second)));
	write_seed("fuzz_port_connection", "frame-then-cut-off",
		prefixed(2, frame(tag) + frame(tag).substr(0, 11)));
	std::string wrongVersion = frame(tag);
	wrongVersion[3] = 2;
	write_seed("fuzz_port_connection", "wrong-version",
		prefixed(3, frame(tag) + wrongVersion));
	std::string tooLong = frame(tag);
	tooLong[6] = 2;
	write_seed("fuzz_port_connection", "length-over-limit", prefixed(5, tooLong));
	write_seed("fuzz_port_connection", "nothing", std::string(1, '\x07'));

	// Attribute stores. Seeds with an odd first byte leave the checksum to
	// the fuzzer.
	AttributeStore::ValueMap settings;
	settings["ip"] = typed("CSTR", std::string("127.0.0.1:8080", 15));
	settings["relais"] = typed("LONG", std::string("\x03\x00\x00\x00", 4));
	settings["use"] = typed("BOOL", std::string("\x01", 1));
	settings["frame"] = typed("RECT", std::string(16, '\x10'));
	std::string store = AttributeStore::Encode(settings);
	write_seed("fuzz_attribute_store", "settings", prefixed(0, store));
	write_seed("fuzz_attribute_store", "settings-open",
		prefixed(1, without_checksum(store)));
	AttributeStore::ValueMap one;
	one["delay"] = typed("LONG", std::string("\x05\x00\x00\x00", 4));
	write_seed("fuzz_attribute_store", "one-entry-open",
		prefixed(3, without_checksum(AttributeStore::Encode(one))));
	// Flag bytes other than 0 and 1, as a hand edit or a damaged file
	// leaves them.
	AttributeStore::ValueMap flags;
	flags["rdx_use"] = typed("BOOL", std::string("\x02", 1));
	flags["window_by_begin"] = typed("BOOL", std::string("\xff", 1));
	flags["empty_flag"] = typed("BOOL", "");
	write_seed("fuzz_attribute_store", "flag-bytes",
		prefixed(0, AttributeStore::Encode(flags)));
	AttributeStore::ValueMap empty;
	write_seed("fuzz_attribute_store", "empty",
		prefixed(2, AttributeStore::Encode(empty)));
	AttributeStore::ValueMap odd;
	odd["n"] = "";
	odd[std::string(255, 'a')] = std::string(300, '\xff');
	write_seed("fuzz_attribute_store", "edge-sizes-open",
		prefixed(5, without_checksum(AttributeStore::Encode(odd))));

	// Command lines, arguments separated by NUL bytes.
	const char* kSendArgs = "fuzz_send_arguments";
	auto line = [](std::initializer_list<const char*> arguments) {
		std::string data;
		for (const char* argument : arguments) {
			if (!data.empty())
				data.push_back('\0');
			data += argument;
		}
		return data;
	};
	write_seed(kSendArgs, "tag-read", line({"RFID", "_tagstr=04A1B2C3"}));
	write_seed(kSendArgs, "to-signature", line({"--to",
		"application/x-vnd-RDX-BeOS", "RFID", "_tagstr=1"}));
	write_seed(kSendArgs, "to-equals", line({"--to=application/x-other",
		"--", "_QRQ"}));
	write_seed(kSendArgs, "typed-fields", line({"rx_s", "st=ok",
		"rel:int32=3", "r_open:bool=true", "a:b:string=c=d"}));
	write_seed(kSendArgs, "numbers", line({"RFID", "n:int32=-2147483648",
		"n:int32=+7", "n:int32=2147483647"}));
	write_seed(kSendArgs, "bools", line({"RFID", "x:bool=false",
		"x:bool=true"}));
	write_seed(kSendArgs, "help", line({"--help"}));
	write_seed(kSendArgs, "version", line({"--version"}));
	write_seed(kSendArgs, "watch", line({"--watch"}));
	write_seed(kSendArgs, "watch-codes", line({"--to", "application/x-other",
		"--watch", "RFID", "rx_s"}));
	write_seed(kSendArgs, "dash-code", line({"-abc", "v:int32=99999999999"}));
	write_seed(kSendArgs, "bad-field", line({"RFID", "nothing", "=x"}));
	// Serial readers: the first byte picks the decoder (bit 0 hex tags,
	// bit 1 lines) and the reads' sizes.
	const char* kSerial = "fuzz_serial_decoders";
	std::string good = rdm6300_frame("2900DEB30A");
	write_seed(kSerial, "fob", prefixed(0, good));
	write_seed(kSerial, "fob-hex-bytewise", prefixed(1, good));
	write_seed(kSerial, "lower-case-hex", prefixed(0x1c,
		rdm6300_frame("2900deb30a")));
	write_seed(kSerial, "back-to-back", prefixed(0x14,
		good + rdm6300_frame("01000000FF")));
	write_seed(kSerial, "bad-checksum", prefixed(0, "\x02" "2900DEB30A4F\x03"));
	write_seed(kSerial, "too-short", prefixed(0, "\x02" "2900DEB34E\x03"));
	write_seed(kSerial, "too-long", prefixed(0, "\x02" "2900DEB30A4E00\x03"));
	write_seed(kSerial, "not-hex", prefixed(0, "\x02" "2900DEB30X4E\x03"));
	write_seed(kSerial, "noise-then-fob", prefixed(0x08, "\r\nxyz" + good));
	write_seed(kSerial, "cut-short", prefixed(0, "\x02" "2900" + good));
	write_seed(kSerial, "lines", prefixed(2, "abc123\n0014594826\n"));
	write_seed(kSerial, "crlf-trimmed", prefixed(0x06, "  04a1b2c3 \r\n"));
	write_seed(kSerial, "cr-lines", prefixed(2, "12\r34\r"));
	write_seed(kSerial, "foreign-character", prefixed(2, "12-34\n"));
	write_seed(kSerial, "32-and-33", prefixed(0x16, std::string(32, 'A')
		+ "\n" + std::string(33, 'A') + "\n"));
	write_seed(kSerial, "flood", prefixed(0x1e, std::string(1000, '9') + "\n"));

	// Keyboard-type readers.
	const char* kKeys = "fuzz_key_decoder";
	write_seed(kKeys, "digits", Keys().Type("0014594826\n").Bytes());
	write_seed(kKeys, "two-tags", Keys().Type("123\n456\n").Bytes());
	write_seed(kKeys, "hex-with-shift", Keys().Type("04A1B2C3\n").Bytes());
	write_seed(kKeys, "keypad", Keys().Key(KEY_KP1).Key(KEY_KP0).Key(KEY_KP9)
		.Key(KEY_KPENTER).Bytes());
	write_seed(kKeys, "auto-repeat", Keys().Type("12").Key(KEY_3).Key(KEY_3,
		30, 2).Key(KEY_3, 30, 2).Type("\n").Bytes());
	write_seed(kKeys, "slow-typist", Keys().Type("12").Type("34\n", 300)
		.Bytes());
	write_seed(kKeys, "gap-of-the-key-gap", Keys().Type("12").Type("34\n",
		100).Bytes());
	write_seed(kKeys, "foreign-key", Keys().Type("12").Key(KEY_Q)
		.Type("34\n").Bytes());
	write_seed(kKeys, "32-and-33", Keys().Type(std::string(32, '7') + "\n"
		+ std::string(33, '7') + "\n").Bytes());

	// rdx-mqtt's settings.
	const char* kConfig = "fuzz_mqtt_config";
	write_seed(kConfig, "full",
		"# the front door\n"
		"host = broker.example\n"
		"  port=8884   # a comment after a value\n"
		"tls_ca = /etc/ca.crt\n"
		"tls_cert = /etc/me.crt\n"
		"tls_key = /etc/me.key\n"
		"username = door\n"
		"password_file = /home/door/secret\n"
		"client_id = front-door.1\n"
		"door = front\n"
		"prefix = site/doors/front\n"
		"keepalive = 30\r\n"
		"\n");
	write_seed(kConfig, "door-only", "door = back\n");
	write_seed(kConfig, "unknown-key", "colour = blue\n");
	write_seed(kConfig, "port-zero", "\n\nport = 0\n");
	write_seed(kConfig, "no-equals", "port\n");
	write_seed(kConfig, "bad-prefix", "prefix = rdx/+/x\nprefix = /rdx\n");
	write_seed(kConfig, "cert-without-key", "tls_ca = /ca\ntls_cert = /c\n");

	// rdx-door's settings.
	const char* kDoor = "fuzz_door_config";
	write_seed(kDoor, "full",
		"# the front door\n"
		"door = front   # a comment after a value\n"
		"held_open = 2min\n"
		"forced_grace = 1500ms\n"
		"relock = on\r\n"
		"contact = gpio gpiochip0 17 active-low bias=pull-up debounce=20ms\n"
		"exit = evdev /dev/input/by-id/usb-IO-event-kbd KEY_F1\n"
		"exit = gpio /dev/gpiochip1 4 bias=disabled\n");
	write_seed(kDoor, "switch-contact",
		"contact = evdev /dev/input/by-path/platform-gpio-keys-event SW_DOCK"
		" active=open debounce=5ms\nexit=evdev /dev/input/event3 key:28\n");
	write_seed(kDoor, "zigbee",
		"door = back\ncontact = mqtt zigbee2mqtt/back_door contact"
		" interval=2h\n");
	write_seed(kDoor, "raw-payload",
		"contact = mqtt site/door/state - interval=90s open=OPEN"
		" closed=CLOSED\n");
	write_seed(kDoor, "refused-lines",
		"held_open = 30\nexit = mqtt a/b x interval=1s\n"
		"contact = evdev /dev/x 28\ndoor = a\ndoor = b\n");
	write_seed(kDoor, "two-contacts",
		"contact = gpio gpiochip0 1\ncontact = gpio gpiochip0 2\n");
	write_seed(kDoor, "nothing", "# only a comment\n\n");

	// rdx-mqtt's commands: the first byte picks the topic (0 open, 1 board
	// use switch, 2 Home Assistant's status, 3 another) and bit 2 retained.
	const char* kCommand = "fuzz_remote_command";
	write_seed(kCommand, "press", prefixed(0, " PRESS\n"));
	write_seed(kCommand, "press-retained", prefixed(4, "PRESS"));
	write_seed(kCommand, "press-with-time", prefixed(0,
		"{\"command\":\"PRESS\",\"time\":1765155721}"));
	write_seed(kCommand, "press-with-utc-time", prefixed(0,
		"{\"command\":\"PRESS\",\"time\":\"2025-12-08T01:02:01.5Z\"}"));
	write_seed(kCommand, "press-too-old", prefixed(0,
		"{\"command\":\"PRESS\",\"time\":1765155700}"));
	write_seed(kCommand, "time-not-understood", prefixed(0,
		"{\"command\":\"PRESS\",\"time\":[1]}"));
	write_seed(kCommand, "board-use-on", prefixed(1, "on"));
	write_seed(kCommand, "board-use-off-json", prefixed(1,
		"{\"command\":\"OFF\",\"time\":\"2025-12-08T01:02:03+00:00\"}"));
	write_seed(kCommand, "home-assistant-online", prefixed(6, "online"));
	write_seed(kCommand, "other-topic", prefixed(3, "PRESS"));

	// The access log: up to the first NUL the rotated file, then the log.
	const char* kLog = "fuzz_access_log";
	write_seed(kLog, "a-day", record("2026-12-07T23:59:59.900Z", "start")
		+ record("2026-12-08T08:00:00.000Z", "tag", ",\"tag\":\"04A1B2C3\","
			"\"board_use\":true")
		+ std::string(1, '\0')
		+ record("2026-12-08T08:00:00.020Z", "relay", ",\"relay\":1,"
			"\"action\":\"open\",\"cause\":\"tag\",\"tag\":\"04A1B2C3\","
			"\"result\":\"ok\",\"status\":0,\"ms\":11.5")
		+ record("2026-12-08T09:30:00.000Z", "read", ",\"source\":"
			"\"serial:/dev/ttyUSB0\",\"tag\":\"0badc0de\","
			"\"outcome\":\"unknown\"")
		+ record("2026-12-08T09:29:59.990Z", "setting", ",\"setting\":"
			"\"hold time\",\"old\":2,\"new\":5")
		+ record("2026-12-08T12:00:00.000Z", "relay", ",\"relay\":3,"
			"\"action\":\"open\",\"cause\":\"panel\",\"result\":"
			"\"no-answer\",\"status\":4,\"ms\":2003.2")
		+ record("2026-12-08T12:00:00.010Z", "board-use", ",\"use\":\"off\","
			"\"why\":\"remote\"")
		+ record("2026-12-09T00:00:00.000Z", "stop"));
	write_seed(kLog, "damaged", record("2026-12-08T08:00:00.000Z", "start")
		+ "garbage\n[1, 2]\n{\"event\": \"tag\"}\n"
		"{\"time\": \"yesterday\", \"event\": \"tag\"}\n"
		+ record("2026-12-08T08:00:01.000Z", "tag").substr(0, 30)
		+ std::string("\0\x01\xff\n", 4)
		+ record("2026-12-08T08:00:02.000Z", "stop"));
	write_seed(kLog, "quotes-and-commas", record("2026-03-29T01:30:00.000Z",
		"tag", ",\"tag\":\"a,\\\"b\\r\\nc\",\"reader\":\"x\\u0007\"")
		+ record("2026-03-29T01:30:00.000Z", "relay", ",\"relay\":2,"
			"\"tag\":[1,{\"a\":null}]"));

	// A tag nested a thousand deep: what a reader's stack must bear.
	write_seed(kLog, "nested-tag", record("2026-12-08T08:00:00.000Z", "tag",
		",\"tag\":" + std::string(1000, '[') + std::string(1000, ']')));

	// Command lines of rdx-reader (first byte even) and rdx-log (odd).
	const char* kOptions = "fuzz_options";
	write_seed(kOptions, "reader-readers", prefixed(0, command_line({
		"--keyboard", "/dev/input/by-id/usb-reader-event-kbd", "--serial",
		"/dev/ttyUSB0,9600,lines", "--serial=/dev/ttyS0,rdm6300", "--pcsc",
		"ACS"})));
	write_seed(kOptions, "reader-settings", prefixed(0, command_line({
		"--any-tag", "--keyboard=k", "--repeat-ms", "0", "--key-gap-ms=250",
		"--em-format", "hex", "--to", "application/x-other", "--tags",
		"/etc/tags"})));
	write_seed(kOptions, "reader-learn", prefixed(0, command_line({"--learn",
		"--pcsc", "--keyboard", "k"})));
	write_seed(kOptions, "reader-list", prefixed(0, command_line({"--list"})));
	write_seed(kOptions, "reader-help", prefixed(0, command_line({"-h"})));
	write_seed(kOptions, "reader-bad-speed", prefixed(0, command_line({
		"--serial", "/dev/ttyUSB0,9601"})));
	write_seed(kOptions, "reader-no-path", prefixed(0, command_line({
		"--serial", ",lines"})));
	write_seed(kOptions, "reader-two-speeds", prefixed(0, command_line({
		"--serial", "/dev/ttyUSB0,4800,9600"})));
	write_seed(kOptions, "reader-check", prefixed(0, command_line({"--check",
		"04a1b2c3", "--at", "2026-03-29 02:30", "--tags", "tags"})));
	write_seed(kOptions, "reader-check-offset", prefixed(0, command_line({
		"--check", "7100", "--at", "2026-10-25 02:10 +01:00"})));
	write_seed(kOptions, "reader-check-offset-wrong", prefixed(0,
		command_line({"--check", "7100", "--at=2026-12-08\t09:14 +13:45"})));
	write_seed(kOptions, "reader-set-pin", prefixed(0, command_line({
		"--set-pin", "04a1b2c3", "--tags", "tags"})));
	write_seed(kOptions, "reader-pin-settings", prefixed(0, command_line({
		"--keyboard", "k", "--pin-wait-s", "30", "--pin-tries=5",
		"--pin-lock-s", "0"})));
	write_seed(kOptions, "log-outcome-pin", prefixed(1, command_line({
		"--outcome", "wrong-pin", "--csv"})));
	write_seed(kOptions, "log-outcome", prefixed(1, command_line({
		"--outcome", "outside-hours", "--json"})));
	write_seed(kOptions, "log-filters", prefixed(1, command_line({"--tag",
		"04a1b2c3", "--relay", "3", "--event", "relay", "--since",
		"2026-12-08T12:00:00", "--until", "2026-12-08 12:00:01"})));
	write_seed(kOptions, "log-files", prefixed(1, command_line({"--csv",
		"--follow", "--log=/var/log/access.log", "--tags", "tags",
		"--until", "2026-12-08"})));
	write_seed(kOptions, "log-json", prefixed(1, command_line({"--json",
		"--tag=0BADC0DE", "--since", "2026-03-29 02:30"})));
	write_seed(kOptions, "log-bad", prefixed(1, command_line({"--since",
		"2026-12-09", "--until", "2026-12-08", "--csv", "--json"})));
	write_seed(kOptions, "log-help", prefixed(1, command_line({"--help",
		"--version"})));

	// Tag lists as people write them: each line here is one that must
	// refuse its tag (or one beside it that must not).
	const char* kTags = "fuzz_tag_list";
	write_seed(kTags, "comment-before-rules",
		"04A1B2C3 # learned 2026-12-01 from serial:/dev/ttyUSB0 | off\n"
		"0055 Flat #4 | Mo-Fr 08:00-17:00\n"
		"0056 Flat | Mo-Fr 08:00-17:00 # 4th floor\n"
		"0111#comment, no rules\n");
	write_seed(kTags, "set-defined-twice",
		"@crew = Mo-Fr 07:00-\n@crew = Mo-Su 00:00-24:00\n0101 | @crew\n"
		"@team Mo-Fr 07:00-19:00\n@team = Mo-Su 00:00-24:00\n0102 | @team\n"
		"@night = Sa 22:00-04:00 # one | too many\n0103 | @night\n");
	write_seed(kTags, "two-bars-and-empty-rules",
		"0105 Anna | off | Mo-Su 00:00-24:00\n0106 Anna | # gone\n"
		"0107 Anna |\n0108 | Su-Su 00:00-24:00 ; ;\n");
	write_seed(kTags, "control-characters",
		std::string("0108 Anna\fBerg\n0109 Carl\ry | Mo 08:00-09:00\n"
			"0110 Dora\r\n0111\tEva\t|\tsU 0:00-24:00 ;\tfrom 2027-06-06"
			"\t\t03:00\n0112 nul\0 | off\n# a comment\x7f\r\r\n", 136));
	write_seed(kTags, "clock-changes",
		"0103 | until 2026-10-25 02:30\n0104 | from 2026-10-25 02:30\n"
		"0105 | from 2027-03-28 02:30 ; until 2027-03-28 03:10\n"
		"0106 | from 2026-10-25 02:30 ; until 2026-10-25 02:30\n"
		"0107 | Su 02:00-03:00\n");
	std::string many = "0200 first | off\n";
	for (int i = 0; i < 40; i++)
		many += (i % 2 == 0 ? "0200 later " : "02") + std::to_string(i) + "\n";
	write_seed(kTags, "tag-on-many-lines", many);
	// A PIN after the tag: asked always, in hours, outside a set; set and
	// not set; hashes that are not quite one.
	const std::string kHash = "$argon2id$v=19$m=16384,t=2,p=1$c2FsdHNhbHRzYWx0c2FsdA$Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmE";
	write_seed(kTags, "pin-items",
		"@staff = Mo-Fr 07:00-19:00\n"
		"0300 always | pin ; pinhash " + kHash + "\n"
		"0301 night | PIN Mo-Su 22:00-06:00 ; pinhash " + kHash + "\n"
		"0302 outside | @staff ; pin outside @staff ; pinhash " + kHash + "\n"
		"0303 two | pin Sa-Su 00:00-24:00 ; pin outside @staff ; Pinhash\t"
			+ kHash + " # comment\n"
		"0304 not set | pin\n"
		"0305 set only | Mo-Fr 08:00-17:00 ; pinhash " + kHash + "\n"
		"0306 off | off ; pin ; pinhash " + kHash + "\n"
		"0307 dates | from 2026-12-14 ; until 2026-12-18 ; pin outside Mo-Fr"
			" 08:00-17:00 ; pinhash " + kHash + "\n");
	write_seed(kTags, "pin-items-unreadable",
		"0310 | pin outside\n0311 | pin @nobody ; pinhash " + kHash + "\n"
		"0312 | pin ; pinhash " + kHash + " ; pinhash " + kHash + "\n"
		"0313 | pin ; pinhash $argon2id$v=19$m=65537,t=2,p=1$c2FsdHNhbHRzYWx0"
			"c2FsdA$Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmE\n"
		"0314 | pin ; pinhash $argon2id$v=19$m=016384,t=2,p=1$c2FsdHNhbHRzYWx0"
			"c2FsdA$Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmE\n"
		"0315 | pin ; pinhash $argon2i$v=19$m=16384,t=2,p=1$c2FsdHNhbHRzYWx0"
			"c2FsdA$Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmE\n"
		"0316 | pin ; pinhash " + kHash + " extra\n"
		"0317 | pin pin ; pinhash " + kHash + "\n"
		"0318 | pinhash\n");
	return 0;
}
