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
	return 0;
}
