// rdx-mqtt between a real rdx and a real broker: Debian's mosquitto on
// loopback, mosquitto_sub and mosquitto_pub as the other side, rdx on the
// test's X server with its board simulator.

#include "MqttTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kRdxMqtt = RDX_BINARY_DIR "/tools/rdx-mqtt/rdx-mqtt";
const char* const kRdxSend = RDX_BINARY_DIR "/tools/rdx-send/rdx-send";


std::string
plain_config(const Broker& broker, const std::string& door)
{
	return "# written by the test\n"
		"host = 127.0.0.1\n"
		"port = " + std::to_string(broker.Port()) + "\n"
		"door = " + door + "\n"
		"prefix = site/" + door + "\n";
}

}	// namespace


TEST(MqttBridge, StatesDiscoveryTagsAndTheOpenCommand)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	Door door("front");
	ASSERT_TRUE(door.StartRdx(true, 2));
	TopicLog log(broker);
	door.WriteConfig(plain_config(broker, "front"));
	ASSERT_TRUE(door.StartBridge());

	ASSERT_TRUE(log.WaitFor("site/front/availability", "online", 30))
		<< door.BridgeErrors() << log.Text();
	ASSERT_TRUE(log.WaitFor("site/front/board_use", "on", 30));
	ASSERT_TRUE(log.WaitFor(
		"homeassistant/button/rdx_front/open/config", "", 30));
	EXPECT_TRUE(log.WaitFor(
		"homeassistant/switch/rdx_front/board_use/config", "", 30));
	EXPECT_TRUE(log.WaitFor("homeassistant/tag/rdx_front/reader/config", "",
		30));
	for (int relay = 1; relay <= 4; relay++) {
		EXPECT_TRUE(log.WaitFor("homeassistant/binary_sensor/rdx_front/relay"
			+ std::to_string(relay) + "/config", "", 30));
	}
	// Each once: discovery comes at connect, not with every state.
	EXPECT_EQ(log.Count("homeassistant/tag/rdx_front/reader/config"), 1);

	// A tag read by another program becomes an event; its relay is told
	// open, then closed after the hold time.
	ASSERT_EQ(door.Rdx().Send({"RFID", "_tagstr=04A1B2C3",
		"reader=front-pad"}), 0);
	ASSERT_TRUE(log.WaitFor("site/front/relay/2", "open", 30));
	ASSERT_TRUE(log.WaitFor("site/front/relay/2", "closed", 30));
	ASSERT_TRUE(log.WaitFor("site/front/tag", "", 30));
	nlohmann::json event = nlohmann::json::parse(log.Last("site/front/tag"));
	EXPECT_EQ(event["tag"], "04A1B2C3");
	EXPECT_EQ(event["reader"], "front-pad");
	EXPECT_TRUE(event["time"].is_string());

	// A fresh subscriber finds the states stored, the event not.
	TopicLog later(broker);
	ASSERT_TRUE(later.WaitFor("site/front/relay/2", "closed", 30));
	ASSERT_TRUE(later.WaitFor("site/front/availability", "online", 30));
	for (const TopicLog::Entry& entry : later.Entries()) {
		// Only relays may have changed since it subscribed.
		if (entry.topic.rfind("site/front/relay/", 0) != 0) {
			EXPECT_TRUE(entry.retained) << entry.topic;
		}
		EXPECT_NE(entry.topic, "site/front/tag");
	}
	EXPECT_TRUE(later.Entries().front().retained);

	// The open command takes the tag's path: the tag relay opens and
	// closes, and rdx hears it as a tag from the bridge.
	int opensBefore = door.Board().CountOf(Door::OpenRequest(2));
	ASSERT_TRUE(broker.Publish("site/front/open", "PRESS"));
	ASSERT_TRUE(door.Board().WaitForRequest(Door::OpenRequest(2), 30,
		opensBefore + 1)) << door.BridgeErrors();
	ASSERT_TRUE(door.Board().WaitForRequest(Door::CloseRequest(2), 30, 2));
	ASSERT_TRUE(log.WaitFor("site/front/tag", "", 30, 2));
	event = nlohmann::json::parse(log.Last("site/front/tag"));
	EXPECT_EQ(event["tag"], "mqtt:rdx-mqtt-front");
	EXPECT_EQ(event["reader"], "mqtt");
	EXPECT_TRUE(door.WaitForBridgeLine("passed to rdx as mqtt:rdx-mqtt-front",
		10));

	// Board use switches as the check box does, and is told back.
	ASSERT_TRUE(broker.Publish("site/front/board_use/set", "off"));
	ASSERT_TRUE(log.WaitFor("site/front/board_use", "off", 30));
	EXPECT_TRUE(door.Rdx().WaitForStored("rdx_use", seed::Bool(false)));
	ASSERT_TRUE(broker.Publish("site/front/board_use/set", "on"));
	ASSERT_TRUE(log.WaitFor("site/front/board_use", "on", 30, 2));

	// Home Assistant coming back asks for discovery again.
	ASSERT_TRUE(broker.Publish("homeassistant/status", "online"));
	ASSERT_TRUE(log.WaitFor("homeassistant/button/rdx_front/open/config", "",
		30, 2));

	// Stopped on purpose: offline, stored.
	EXPECT_EQ(door.StopBridge(), 0);
	ASSERT_TRUE(log.WaitFor("site/front/availability", "offline", 30));
}


// Keep open and lockdown from Home Assistant: the open command with a
// duration, the lockdown switch, their states retained, a read during
// lockdown published with its outcome.
TEST(MqttBridge, KeepOpenAndLockdownFromTheBroker)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	Door door("side");
	ASSERT_TRUE(door.StartRdx(true, 2));
	TopicLog log(broker);
	door.WriteConfig(plain_config(broker, "side"));
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(log.WaitFor("site/side/lockdown", "off", 30))
		<< door.BridgeErrors() << log.Text();
	ASSERT_TRUE(log.WaitFor("site/side/keep_open", "{\"state\":\"off\"}",
		30));
	EXPECT_TRUE(log.WaitFor("homeassistant/switch/rdx_side/lockdown/config",
		"", 30));
	EXPECT_TRUE(log.WaitFor("homeassistant/number/rdx_side/keep_open/config",
		"", 30));
	ASSERT_TRUE(door.Board().WaitForRequest(Door::CloseRequest(1), 30));

	// Kept open for 2 s, past the hold time of 1 s, then closed.
	ASSERT_TRUE(broker.Publish("site/side/open",
		"{\"command\":\"PRESS\",\"duration\":\"2s\"}"));
	ASSERT_TRUE(door.Board().WaitForRequest(Door::OpenRequest(2), 30))
		<< door.BridgeErrors();
	ASSERT_TRUE(log.WaitFor("site/side/keep_open", "", 30, 2));
	nlohmann::json kept = nlohmann::json::parse(log.Last(
		"site/side/keep_open"));
	EXPECT_EQ(kept["state"], "on");
	EXPECT_EQ(kept["relay"], 2);
	ASSERT_TRUE(door.Board().WaitForRequest(Door::CloseRequest(2), 30));
	ASSERT_TRUE(log.WaitFor("site/side/keep_open", "{\"state\":\"off\"}",
		30, 2));

	// Lockdown: told retained; the open command is a read rdx refuses, and
	// a keep-open is refused with a line.
	ASSERT_TRUE(broker.Publish("site/side/lockdown/set", "on"));
	ASSERT_TRUE(log.WaitFor("site/side/lockdown", "on", 30));
	ASSERT_TRUE(broker.Publish("site/side/open", "PRESS"));
	ASSERT_TRUE(log.WaitFor("site/side/tag", "", 30));
	EXPECT_EQ(nlohmann::json::parse(log.Last("site/side/tag"))["result"],
		"lockdown");
	ASSERT_TRUE(broker.Publish("site/side/keep_open/set", "30"));
	EXPECT_TRUE(door.WaitForBridgeLine("rdx refused the command: lockdown",
		30)) << door.BridgeErrors();
	ASSERT_TRUE(door.Rdx().Sync());
	EXPECT_EQ(door.Board().CountOf(Door::OpenRequest(2)), 1);
	TopicLog later(broker);
	EXPECT_TRUE(later.WaitFor("site/side/lockdown", "on", 30));

	ASSERT_TRUE(broker.Publish("site/side/lockdown/set", "off"));
	ASSERT_TRUE(log.WaitFor("site/side/lockdown", "off", 30, 2));
	EXPECT_EQ(door.StopBridge(), 0);
}


TEST(MqttBridge, AStoredOrStaleCommandNeverOpens)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	Door door("back");
	ASSERT_TRUE(door.StartRdx(true, 3));
	// A command stored before the bridge starts...
	ASSERT_TRUE(broker.Publish("site/back/open", "PRESS", true));
	door.WriteConfig(plain_config(broker, "back"));
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(door.WaitForBridgeLine("ignored a retained command on"
		" site/back/open", 30)) << door.BridgeErrors();
	// ... one stored while it runs, one that says it is old ...
	ASSERT_TRUE(broker.Publish("site/back/open", "PRESS", true));
	ASSERT_TRUE(door.WaitForBridgeLine("ignored a retained command", 30, 2));
	ASSERT_TRUE(broker.Publish("site/back/open",
		"{\"command\":\"PRESS\",\"time\":1000000000}"));
	ASSERT_TRUE(door.WaitForBridgeLine("seconds ago", 30));
	// ... and the stored one again after a restart of the bridge.
	EXPECT_EQ(door.StopBridge(), 0);
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(door.WaitForBridgeLine("ignored a retained command", 30));

	// The bridge listens all the while: a live command does open, and it
	// is the first open of the tag relay.
	ASSERT_TRUE(door.WaitForBridgeLine("watching rdx", 30));
	ASSERT_TRUE(door.WaitForBridgeLine("connected to the broker", 30));
	EXPECT_EQ(door.Board().CountOf(Door::OpenRequest(3)), 0);
	ASSERT_TRUE(broker.Publish("site/back/open", "PRESS"));
	ASSERT_TRUE(door.Board().WaitForRequest(Door::OpenRequest(3), 30))
		<< door.BridgeErrors();
	EXPECT_EQ(door.Board().CountOf(Door::OpenRequest(3)), 1);
}


TEST(MqttBridge, BrokerAndRdxComeAndGo)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	Door door("side");
	door.WriteConfig(plain_config(broker, "side"));

	// Without rdx the door is offline, and the bridge waits for it.
	ASSERT_TRUE(door.StartBridge());
	TopicLog log(broker);
	ASSERT_TRUE(door.WaitForBridgeLine("rdx does not run; waiting for it",
		30));
	ASSERT_TRUE(log.WaitFor("site/side/availability", "offline", 30));
	// A command that cannot reach rdx now is dropped, never kept.
	ASSERT_TRUE(door.WaitForBridgeLine("connected to the broker", 30));
	ASSERT_TRUE(broker.Publish("site/side/open", "PRESS"));
	ASSERT_TRUE(door.WaitForBridgeLine("open command on site/side/open"
		" dropped: rdx does not run", 30)) << door.BridgeErrors();
	ASSERT_TRUE(door.StartRdx(false, 1));
	ASSERT_TRUE(log.WaitFor("site/side/availability", "online", 30))
		<< door.BridgeErrors();
	ASSERT_TRUE(log.WaitFor("site/side/board_use", "off", 30));

	// The broker goes and comes back empty: everything is told again.
	broker.Stop();
	ASSERT_TRUE(door.WaitForBridgeLine("lost the broker", 30));
	ASSERT_TRUE(broker.Start()) << broker.Log();
	TopicLog after(broker);
	ASSERT_TRUE(after.WaitFor("site/side/availability", "online", 60))
		<< door.BridgeErrors();
	ASSERT_TRUE(after.WaitFor("site/side/board_use", "off", 30));
	ASSERT_TRUE(after.WaitFor("homeassistant/button/rdx_side/open/config",
		"", 30));

	// rdx goes and comes back.
	door.StopRdx();
	ASSERT_TRUE(door.WaitForBridgeLine("rdx went away", 30));
	ASSERT_TRUE(after.WaitFor("site/side/availability", "offline", 30));
	ASSERT_TRUE(door.StartRdx(false, 1));
	ASSERT_TRUE(door.WaitForBridgeLine("watching rdx", 30, 2));
	ASSERT_TRUE(after.WaitFor("site/side/availability", "online", 30, 2));
}


TEST(MqttBridge, TlsWithPasswordAndClearLinesForBadOnes)
{
	TempDir secretsDirectory("rdx-secrets");
	BrokerSecrets secrets(secretsDirectory);
	ASSERT_TRUE(secrets.made);
	Broker broker(&secrets);
	ASSERT_TRUE(broker.Start()) << broker.Log();
	TopicLog log(broker);

	Door door("vault");
	std::string passwordFile = door.Rdx().Directory().Sub("password");
	{
		std::string config = "host = 127.0.0.1\n"
			"port = " + std::to_string(broker.Port()) + "\n"
			"door = vault\n"
			"tls_ca = " + secrets.ca + "\n"
			"username = door\n"
			"password_file = " + passwordFile + "\n";
		door.WriteConfig(config);
		FILE* file = fopen(passwordFile.c_str(), "w");
		ASSERT_NE(file, nullptr);
		fprintf(file, "%s\n", BrokerSecrets::kPassword);
		fclose(file);
		chmod(passwordFile.c_str(), 0600);
	}
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(door.WaitForBridgeLine("connected to the broker", 30))
		<< door.BridgeErrors() << broker.Log();
	ASSERT_TRUE(log.WaitFor("rdx/vault/availability", "offline", 30));
	EXPECT_EQ(door.StopBridge(), 0);
	// Once when it came (rdx is absent), once when it went.
	ASSERT_TRUE(log.WaitFor("rdx/vault/availability", "offline", 30, 2));

	// A wrong password.
	{
		FILE* file = fopen(passwordFile.c_str(), "w");
		ASSERT_NE(file, nullptr);
		fprintf(file, "not it\n");
		fclose(file);
	}
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(door.WaitForBridgeLine("refused the connection", 30))
		<< door.BridgeErrors();
	EXPECT_EQ(door.StopBridge(), 0);

	// A broker whose certificate our CA did not sign.
	door.WriteConfig("host = 127.0.0.1\n"
		"port = " + std::to_string(broker.Port()) + "\n"
		"door = vault\n"
		"tls_ca = " + secrets.otherCA + "\n");
	ASSERT_TRUE(door.StartBridge());
	ASSERT_TRUE(door.WaitForBridgeLine("cannot connect to the broker at"
		" 127.0.0.1:" + std::to_string(broker.Port()) + " (TLS)", 30))
		<< door.BridgeErrors();
	EXPECT_NE(door.BridgeErrors().find("certificate verify failed"),
		std::string::npos) << door.BridgeErrors();
	EXPECT_EQ(door.StopBridge(), 0);
	// The refused ones never said anything on the broker.
	EXPECT_EQ(log.Count("rdx/vault/availability"), 2) << log.Text();
}


TEST(MqttBridge, ThreeDoorsOnOneBrokerOpenOnlyTheirOwn)
{
	Broker broker;
	ASSERT_TRUE(broker.Start()) << broker.Log();
	TopicLog log(broker);
	const char* names[] = {"one", "two", "three"};
	std::vector<std::unique_ptr<Door>> doors;
	for (const char* name : names) {
		doors.push_back(std::make_unique<Door>(name));
		ASSERT_TRUE(doors.back()->StartRdx(true, 4));
		doors.back()->WriteConfig(plain_config(broker, name));
		ASSERT_TRUE(doors.back()->StartBridge());
	}
	for (const char* name : names) {
		ASSERT_TRUE(log.WaitFor(std::string("site/") + name
			+ "/availability", "online", 30)) << name;
	}

	ASSERT_TRUE(broker.Publish("site/two/open", "PRESS"));
	ASSERT_TRUE(doors[1]->Board().WaitForRequest(Door::OpenRequest(4), 30));
	ASSERT_TRUE(doors[1]->Board().WaitForRequest(Door::CloseRequest(4), 30));
	ASSERT_TRUE(log.WaitFor("site/two/relay/4", "closed", 30));
	// By now the others would have had it too.
	ASSERT_EQ(doors[2]->Rdx().Send({"RFID", "_tagstr=sync"}), 0);
	ASSERT_TRUE(doors[2]->Board().WaitForRequest(Door::OpenRequest(4), 30));
	EXPECT_EQ(doors[0]->Board().CountOf(Door::OpenRequest(4)), 0);
	EXPECT_EQ(doors[2]->Board().CountOf(Door::OpenRequest(4)), 1);
	EXPECT_EQ(log.Count("site/one/relay/4", "open"), 0);
}


TEST(MqttBridge, ABrokerThatDropsTheConnectHoldsNeitherTheBridgeNorItsEnd)
{
	// A listener whose accept queue is full: the kernel drops every further
	// SYN, and a connect waits for its two minutes of retries.
	int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t size = sizeof(address);
	ASSERT_EQ(0, bind(listener, (sockaddr*)&address, sizeof(address)));
	ASSERT_EQ(0, listen(listener, 0));
	ASSERT_EQ(0, getsockname(listener, (sockaddr*)&address, &size));
	std::vector<int> queued;
	for (int i = 0; i < 3; i++) {
		queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC
			| SOCK_NONBLOCK, 0));
		connect(queued.back(), (sockaddr*)&address, sizeof(address));
	}

	Door door("stuck");
	door.WriteConfig("host = 127.0.0.1\nport = "
		+ std::to_string(ntohs(address.sin_port)) + "\ndoor = stuck\n");
	ASSERT_TRUE(door.StartBridge());
	EXPECT_TRUE(door.WaitForBridgeLine("the broker at 127.0.0.1:"
		+ std::to_string(ntohs(address.sin_port)) + " did not answer the"
		" connect within 5 seconds; trying again", 20)) << door.BridgeErrors();
	// In the middle of the next attempt.
	usleep(2000 * 1000);
	auto asked = std::chrono::steady_clock::now();
	EXPECT_EQ(0, door.StopBridge()) << door.BridgeErrors();
	double took = std::chrono::duration<double>(
		std::chrono::steady_clock::now() - asked).count();
	testing::Test::RecordProperty("end_after_sigterm_s", std::to_string(took));
	// Far below the kernel's SYN retries; the second is measured above.
	EXPECT_LT(took, 5.0);
	for (int fd : queued)
		close(fd);
	close(listener);
}


TEST(MqttBridge, ANameServerThatDoesNotAnswerHoldsNeitherTheBridgeNorItsEnd)
{
	// A name server on loopback that takes every query and answers none,
	// named in the /etc/resolv.conf of the bridge's own mount namespace;
	// unbounded, the C library would wait 30 s for it.
	int server = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_port = htons(53);
	address.sin_addr.s_addr = htonl(0x7f530001 + getpid() % 200);
	ASSERT_EQ(0, bind(server, (sockaddr*)&address, sizeof(address)))
		<< strerror(errno);
	char name[INET_ADDRSTRLEN];
	inet_ntop(AF_INET, &address.sin_addr, name, sizeof(name));
	TempDir temp("rdx-mqtt-dns");
	std::string resolv = temp.Sub("resolv.conf");
	FILE* file = fopen(resolv.c_str(), "w");
	ASSERT_NE(file, nullptr);
	fprintf(file, "nameserver %s\noptions timeout:30 attempts:1\n", name);
	fclose(file);

	Door door("unresolved");
	door.WriteConfig("host = broker.door.test\nport = 1883\n"
		"door = unresolved\n");
	ASSERT_TRUE(door.StartBridge({"unshare", "--mount", "--propagation",
		"private", "sh", "-c",
		"mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"", resolv}));
	EXPECT_TRUE(door.WaitForBridgeLine("the name of the broker at"
		" broker.door.test:1883 was not looked up within 5 seconds; trying"
		" again", 20)) << door.BridgeErrors();
	// The lookup went to that name server, which kept it.
	int queries = 0;
	char packet[512];
	while (recv(server, packet, sizeof(packet), MSG_DONTWAIT) > 0)
		queries++;
	EXPECT_GT(queries, 0);

	// In the middle of the next lookup.
	usleep(2000 * 1000);
	auto asked = std::chrono::steady_clock::now();
	EXPECT_EQ(0, door.StopBridge()) << door.BridgeErrors();
	double took = std::chrono::duration<double>(
		std::chrono::steady_clock::now() - asked).count();
	testing::Test::RecordProperty("end_after_sigterm_s", std::to_string(took));
	EXPECT_LT(took, 2.0);
	EXPECT_EQ(count_of(door.BridgeErrors(), "rdx-mqtt: stopped\n"), 1);
	close(server);
}


TEST(MqttBridge, CommandLineAndSettingsMistakesAreExitTwo)
{
	TempDir temp("rdx-mqtt-cli");
	std::string bad = temp.Sub("bad.conf");
	FILE* file = fopen(bad.c_str(), "w");
	ASSERT_NE(file, nullptr);
	fprintf(file, "host = 127.0.0.1\nflavour = mint\n");
	fclose(file);
	struct Case {
		std::vector<std::string> arguments;
		int status;
		const char* text;
		// The desktop's language, where not the default.
		const char* language = nullptr;
	};
	const Case cases[] = {
		{{"--config", bad}, 2, ":2: unknown key \"flavour\""},
		{{"--config", temp.Sub("missing.conf")}, 2, "missing.conf: cannot"
			" read it"},
		{{"--config"}, 2, "--config needs a file"},
		{{"--loud"}, 2, "unknown argument \"--loud\""},
		{{"--help"}, 0, "usage: rdx-mqtt [--config FILE]"},
		{{"--version"}, 0, "rdx-mqtt " RDX_VERSION "\n"},
		{{"--loud"}, 2, "rdx-mqtt: unbekanntes Argument „--loud“\n", "de"},
		{{"--help"}, 0, "Aufruf: rdx-mqtt [--config DATEI]\n", "de"},
		{{"--config", bad}, 2, ":2: unbekannter Schlüssel „flavour“", "de"},
	};
	for (const Case& testCase : cases) {
		SCOPED_TRACE(testCase.text);
		std::vector<std::string> argv = {kRdxMqtt};
		argv.insert(argv.end(), testCase.arguments.begin(),
			testCase.arguments.end());
		ChildProcess::Options options;
		options.unset = {"LANGUAGE", "LANG", "LC_ALL", "LC_MESSAGES"};
		if (testCase.language != nullptr)
			options.environment["LANGUAGE"] = testCase.language;
		ChildProcess child(argv, options);
		int status = -1;
		ASSERT_TRUE(child.Wait(20, &status));
		EXPECT_EQ(status, testCase.status);
		std::string said = child.Output() + child.Errors();
		EXPECT_NE(said.find(testCase.text), std::string::npos) << said;
	}
}


// What rdx itself tells a watcher, as rdx-send --watch prints it.
TEST(RdxNotices, SettingsChangesAndReportsReachAWatcher)
{
	Door door("watched");
	ASSERT_TRUE(door.StartRdx(true, 1));
	ChildProcess::Options options;
	options.environment = {{"XDG_RUNTIME_DIR", door.RuntimeDirectory()}};
	ChildProcess watch({kRdxSend, "--watch"}, options);
	// A new watcher hears how things stand.
	ASSERT_TRUE(watch.WaitForOutput("'rxSt'", 30)) << watch.Errors();

	auto lastLine = [&](const std::string& name) {
		std::string output = watch.Output();
		size_t at = output.rfind(" " + name + ", type=");
		if (at == std::string::npos)
			return std::string();
		return output.substr(at, output.find('\n', at) - at);
	};
	EXPECT_NE(lastLine("relais").find("(1, "), std::string::npos);
	EXPECT_NE(lastLine("use").find("TRUE"), std::string::npos);

	// The tag relay changes (with its test pulse, reported as it goes).
	ASSERT_EQ(door.Rdx().Send({"rx_3"}), 0);
	ASSERT_TRUE(wait_for([&] {
		return lastLine("relais").find("(3, ") != std::string::npos;
	}, 30)) << watch.Output();
	ASSERT_TRUE(watch.WaitForOutput("'rx_s'", 30));
	ASSERT_TRUE(watch.WaitForOutput("'rx_c'", 30));

	// Board use switched off from outside, as the check box does.
	ASSERT_EQ(door.Rdx().Send({"rx_u", "use:bool=false"}), 0);
	ASSERT_TRUE(wait_for([&] {
		return lastLine("use").find("FALSE") != std::string::npos;
	}, 30)) << watch.Output();
	EXPECT_TRUE(door.Rdx().WaitForStored("rdx_use", seed::Bool(false)));

	// Tag reads come as they are, also with board use off; the window's
	// own lines are unchanged.
	ASSERT_EQ(door.Rdx().Send({"RFID", "_tagstr=CAFE"}), 0);
	ASSERT_TRUE(watch.WaitForOutput("\"CAFE\"", 30));
	EXPECT_TRUE(door.Rdx().WaitForCount("rdx ist aus", 1));
	EXPECT_EQ(door.Rdx().Count("RDXApp"), 0) << door.Rdx().Output();

	door.StopRdx();
	int status = -1;
	ASSERT_TRUE(watch.Wait(30, &status));
	EXPECT_EQ(status, 0);
}
