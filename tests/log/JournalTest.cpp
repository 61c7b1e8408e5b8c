// Records in systemd's journal, received where the journal would receive
// them: a datagram socket at the journal's own path, in a mount namespace
// of the test's own with a fresh /run, read in the journal's native
// protocol.

#include "FaultSupport.h"
#include "LogTestSupport.h"
#include "TempDir.h"

#include <AccessLog.h>
#include <Journal.h>

#include <gtest/gtest.h>

#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

typedef std::map<std::string, std::string> Fields;


// One datagram of the native protocol: "NAME=value\n", or for a value that
// holds a line break "NAME\n", its length as 64-bit little-endian, the
// value and "\n".
Fields
ParseDatagram(const std::string& data)
{
	Fields fields;
	size_t at = 0;
	while (at < data.size()) {
		size_t end = data.find('\n', at);
		if (end == std::string::npos)
			break;
		std::string line = data.substr(at, end - at);
		size_t equals = line.find('=');
		if (equals != std::string::npos) {
			fields[line.substr(0, equals)] = line.substr(equals + 1);
			at = end + 1;
			continue;
		}
		uint64_t size = 0;
		for (int i = 7; i >= 0; i--)
			size = (size << 8) | (uint8_t)data[end + 1 + i];
		fields[line] = data.substr(end + 9, size);
		at = end + 9 + size + 1;
	}
	return fields;
}


TEST(JournalTest, RecordsReachTheJournalWithTheirFields)
{
	if (!InMountNamespace())
		return RunInMountNamespace();
	ASSERT_EQ(MountFileSystem("tmpfs", "/run", "mode=755"), "");
	ASSERT_EQ(mkdir("/run/systemd", 0755), 0);
	ASSERT_EQ(mkdir("/run/systemd/journal", 0755), 0);
	int journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	ASSERT_GE(journal, 0);
	struct sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strcpy(address.sun_path, RDX_JOURNAL_SOCKET);
	ASSERT_EQ(bind(journal, (struct sockaddr*)&address, sizeof(address)), 0);
	ASSERT_TRUE(Journal::IsPresent());

	TempDir directory("rdx-log-journal");
	{
		AccessLog log("rdx", directory.Sub("access.log"));
		log.Relay(2, true, RDX_CAUSE_TAG, "04A1B2C3", 0, 12.5);
		log.Relay(1, false, RDX_CAUSE_HOLD_END, nullptr, 4, 2000);
		log.Setting("address", "a\nb", "c");
	}

	std::vector<Fields> received;
	while (received.size() < 3) {
		struct pollfd entry = {journal, POLLIN, 0};
		ASSERT_EQ(poll(&entry, 1, 10000), 1) << "the journal got "
			<< received.size() << " records";
		char buffer[65536];
		ssize_t size = recv(journal, buffer, sizeof(buffer), 0);
		ASSERT_GT(size, 0);
		received.push_back(ParseDatagram(std::string(buffer, size)));
	}
	close(journal);

	for (const Fields& fields : received) {
		EXPECT_EQ(fields.at("MESSAGE_ID"), "bc8de7b576024635a949a155427c68e5");
		EXPECT_EQ(fields.at("SYSLOG_IDENTIFIER"), "rdx");
		// The whole record, as the file has it.
		nlohmann::json record = nlohmann::json::parse(
			fields.at("RDX_RECORD"), nullptr, false);
		EXPECT_EQ(record["event"], fields.at("RDX_EVENT"));
	}
	EXPECT_EQ(received[0].at("RDX_EVENT"), "relay");
	EXPECT_EQ(received[0].at("RDX_RELAY"), "2");
	EXPECT_EQ(received[0].at("RDX_TAG"), "04A1B2C3");
	EXPECT_EQ(received[0].at("RDX_RESULT"), "ok");
	EXPECT_EQ(received[0].at("PRIORITY"), "6");
	EXPECT_EQ(received[0].at("MESSAGE"),
		"relay 2 open (tag 04A1B2C3): ok, 12.5 ms");
	EXPECT_EQ(received[1].at("RDX_RESULT"), "no-answer");
	EXPECT_EQ(received[1].count("RDX_TAG"), 0u);
	// A door that did not answer is a warning.
	EXPECT_EQ(received[1].at("PRIORITY"), "4");
	EXPECT_EQ(received[2].at("RDX_EVENT"), "setting");
	EXPECT_EQ(received[2].at("MESSAGE"),
		"setting setting=address old=a\nb new=c");
	// The file has them too.
	EXPECT_EQ(FileRecords(directory.Sub("access.log")).size(), 3u);
}

}	// namespace
