#include "Journal.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <vector>

namespace {

// Every access record carries this, so that `journalctl MESSAGE_ID=...`
// lists them all, whatever program wrote them.
const char* const kMessageId = "MESSAGE_ID=bc8de7b576024635a949a155427c68e5";


// A field's text: strings as they are, numbers and booleans as JSON writes
// them.
std::string
text_of(const nlohmann::ordered_json& value)
{
	if (value.is_string())
		return value.get<std::string>();
	return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}


std::string
field(const nlohmann::ordered_json& record, const char* name)
{
	auto found = record.find(name);
	if (found == record.end() || found->is_null())
		return std::string();
	return text_of(*found);
}

}	// namespace


Journal::Journal(const std::string& program)
	:
	fIdentifier("SYSLOG_IDENTIFIER=" + program)
{
	// Never unloaded: the library keeps the journal's socket open.
	void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
	if (library != nullptr) {
		fSend = reinterpret_cast<SendFunction>(dlsym(library,
			"sd_journal_sendv"));
	}
	if (fSend == nullptr) {
		fprintf(stderr, "%s: access log: systemd's journal runs, but "
			"libsystemd cannot be loaded: %s; records go to the file only\n",
			program.c_str(), library == nullptr ? dlerror()
				: "it has no sd_journal_sendv");
	}
}


bool
Journal::IsPresent()
{
	return access(RDX_JOURNAL_SOCKET, F_OK) == 0;
}


void
Journal::Send(const nlohmann::ordered_json& record)
{
	if (fSend == nullptr)
		return;
	std::string result = field(record, "result");
	std::string what = field(record, "what");
	// A door that did not open is worth a warning, and so is one forced or
	// held open, or whose contact cannot be read.
	bool warning = result == "no-answer" || (field(record, "event") == "door"
		&& (what == "forced" || what == "held-open"
			|| what == "sensor-lost"));
	std::vector<std::string> fields = {
		"MESSAGE=" + summarize_record(record),
		kMessageId,
		warning ? "PRIORITY=4" : "PRIORITY=6",
		fIdentifier,
		"RDX_EVENT=" + field(record, "event"),
	};
	for (const char* name : {"tag", "relay", "result", "door", "what"}) {
		std::string value = field(record, name);
		if (value.empty())
			continue;
		std::string key = name;
		for (char& c : key)
			c = (char)toupper((unsigned char)c);
		fields.push_back("RDX_" + key + "=" + value);
	}
	fields.push_back("RDX_RECORD=" + record.dump(-1, ' ', false,
		nlohmann::json::error_handler_t::replace));

	std::vector<struct iovec> vector;
	for (std::string& text : fields)
		vector.push_back({text.data(), text.size()});
	fSend(vector.data(), (int)vector.size());
}


std::string
summarize_record(const nlohmann::ordered_json& record)
{
	std::string event = field(record, "event");
	std::string text = event;
	if (event == "relay") {
		text += " " + field(record, "relay") + " " + field(record, "action");
		std::string cause = field(record, "cause");
		std::string tag = field(record, "tag");
		text += " (" + cause + (tag.empty() ? "" : " " + tag) + "): "
			+ field(record, "result");
		std::string ms = field(record, "ms");
		if (!ms.empty())
			text += ", " + ms + " ms";
		return text;
	}
	for (auto& [name, value] : record.items()) {
		if (name == "time" || name == "program" || name == "pid"
			|| name == "event") {
			continue;
		}
		text += " " + name + "=" + text_of(value);
	}
	return text;
}
