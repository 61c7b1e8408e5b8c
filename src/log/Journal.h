#ifndef JOURNAL_H
#define JOURNAL_H

#include <nlohmann/json_fwd.hpp>

#include <string>

// Where systemd's journal takes records from programs.
#define RDX_JOURNAL_SOCKET "/run/systemd/journal/socket"

// Access records in systemd's journal, with fields of their own so that
// `journalctl RDX_EVENT=relay` finds them. Made only where the journal's
// socket exists: elsewhere nothing is tried, and libsystemd (with the six
// libraries it brings) is never loaded.
class Journal {
public:
	explicit				Journal(const std::string& program);

	static	bool			IsPresent();

	// One record; what the journal does with it is not checked, since a
	// journal that refuses must not stop the door either.
			void			Send(const nlohmann::ordered_json& record);

private:
	typedef int (*SendFunction)(const struct iovec* vector, int count);

			std::string		fIdentifier;
	// sd_journal_sendv, or null when libsystemd could not be loaded.
			SendFunction	fSend = nullptr;
};

// The one line that stands for a record where a person reads it (the
// journal's MESSAGE): "relay 1 open (tag 04A1B2C3): ok, 12 ms".
std::string summarize_record(const nlohmann::ordered_json& record);

#endif
