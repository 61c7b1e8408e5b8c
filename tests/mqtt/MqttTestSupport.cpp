#include "MqttTestSupport.h"

#include "SettingsSeed.h"
#include "UnusedPort.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kRdxMqtt = RDX_BINARY_DIR "/tools/rdx-mqtt/rdx-mqtt";


bool
accepts_connections(int port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return false;
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_port = htons((uint16_t)port);
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	bool connected = connect(fd, (sockaddr*)&address, sizeof(address)) == 0;
	close(fd);
	return connected;
}


bool
write_text(const std::string& path, const std::string& text, mode_t mode)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
		mode);
	if (fd < 0)
		return false;
	bool written = write(fd, text.data(), text.size())
		== (ssize_t)text.size();
	fchmod(fd, mode);
	return close(fd) == 0 && written;
}

}	// namespace


bool
run_program(const std::vector<std::string>& argv, std::string* errors)
{
	ChildProcess child(argv);
	int status = -1;
	bool ended = child.Wait(60, &status);
	if (errors != nullptr)
		*errors = child.Errors();
	return ended && status == 0;
}


const char* const BrokerSecrets::kUser = "door";
const char* const BrokerSecrets::kPassword = "open sesame";


BrokerSecrets::BrokerSecrets(const TempDir& directory)
{
	ca = directory.Sub("ca.crt");
	otherCA = directory.Sub("other-ca.crt");
	serverCert = directory.Sub("server.crt");
	serverKey = directory.Sub("server.key");
	passwordFile = directory.Sub("passwords");
	std::string caKey = directory.Sub("ca.key");
	std::string otherKey = directory.Sub("other-ca.key");
	std::string request = directory.Sub("server.csr");
	std::string extensions = directory.Sub("server.ext");
	if (!write_text(extensions, "subjectAltName=IP:127.0.0.1\n", 0600))
		return;
	const std::vector<std::string> curve = {"-newkey", "ec", "-pkeyopt",
		"ec_paramgen_curve:prime256v1", "-nodes"};
	auto with = [&](std::vector<std::string> argv) {
		std::vector<std::string> all = {"openssl", "req"};
		all.insert(all.end(), curve.begin(), curve.end());
		all.insert(all.end(), argv.begin(), argv.end());
		return run_program(all);
	};
	made = with({"-x509", "-days", "2", "-subj", "/CN=rdx test CA",
			"-keyout", caKey, "-out", ca})
		&& with({"-x509", "-days", "2", "-subj", "/CN=rdx other CA",
			"-keyout", otherKey, "-out", otherCA})
		&& with({"-subj", "/CN=127.0.0.1", "-keyout", serverKey, "-out",
			request})
		&& run_program({"openssl", "x509", "-req", "-days", "2", "-in",
			request, "-CA", ca, "-CAkey", caKey, "-CAcreateserial",
			"-extfile", extensions, "-out", serverCert})
		&& run_program({"mosquitto_passwd", "-c", "-b", passwordFile, kUser,
			kPassword});
}


Broker::Broker(const BrokerSecrets* secrets)
	:
	fDirectory("rdx-broker"),
	fSecrets(secrets)
{
	fPort = UnusedPort();
}


Broker::~Broker()
{
	Stop();
}


bool
Broker::Start()
{
	Stop();
	std::string config =
		"listener " + std::to_string(fPort) + " 127.0.0.1\n"
		"persistence false\n"
		"log_dest stderr\n"
		"log_type error\n"
		"log_type warning\n"
		"log_type notice\n"
		// Run as root, it would otherwise become a user that cannot read
		// the test's files.
		"user root\n";
	if (fSecrets == nullptr)
		config += "allow_anonymous true\n";
	else {
		config += "allow_anonymous false\n"
			"password_file " + fSecrets->passwordFile + "\n"
			"cafile " + fSecrets->ca + "\n"
			"certfile " + fSecrets->serverCert + "\n"
			"keyfile " + fSecrets->serverKey + "\n";
	}
	std::string file = fDirectory.Sub("mosquitto.conf");
	if (!write_text(file, config, 0600))
		return false;
	ChildProcess::Options options;
	options.errorFile = fDirectory.Sub("broker.log");
	options.outputFile = fDirectory.Sub("broker.out");
	fProcess = std::make_unique<ChildProcess>(
		std::vector<std::string>{"mosquitto", "-c", file}, options);
	return wait_for([&] {
		return !fProcess->Running() || accepts_connections(fPort);
	}, 20) && fProcess->Running();
}


void
Broker::Stop()
{
	if (fProcess == nullptr)
		return;
	if (fProcess->Running())
		fProcess->Signal(SIGTERM);
	int status;
	if (!fProcess->Wait(20, &status))
		fProcess->Kill();
	fProcess.reset();
}


bool
Broker::Running()
{
	return fProcess != nullptr && fProcess->Running();
}


std::string
Broker::Log() const
{
	return read_file(fDirectory.Sub("broker.log"));
}


std::vector<std::string>
Broker::ClientOptions() const
{
	std::vector<std::string> options = {"-h", "127.0.0.1", "-p",
		std::to_string(fPort)};
	if (fSecrets != nullptr) {
		options.insert(options.end(), {"--cafile", fSecrets->ca, "-u",
			BrokerSecrets::kUser, "-P", BrokerSecrets::kPassword});
	}
	return options;
}


bool
Broker::Publish(const std::string& topic, const std::string& payload,
	bool retained)
{
	std::vector<std::string> argv = {"mosquitto_pub"};
	std::vector<std::string> options = ClientOptions();
	argv.insert(argv.end(), options.begin(), options.end());
	argv.insert(argv.end(), {"-q", "1", "-t", topic, "-m", payload});
	if (retained)
		argv.push_back("-r");
	return run_program(argv);
}


TopicLog::TopicLog(const Broker& broker, const std::string& filter)
{
	std::vector<std::string> argv = {"mosquitto_sub"};
	std::vector<std::string> options = broker.ClientOptions();
	argv.insert(argv.end(), options.begin(), options.end());
	argv.insert(argv.end(), {"-q", "1", "-t", filter, "-F", "%r|%t|%p"});
	fProcess = std::make_unique<ChildProcess>(argv);
}


std::vector<TopicLog::Entry>
TopicLog::Entries() const
{
	std::vector<Entry> entries;
	std::istringstream in(fProcess->Output());
	for (std::string line; std::getline(in, line);) {
		size_t first = line.find('|');
		size_t second = first == std::string::npos
			? std::string::npos : line.find('|', first + 1);
		if (second == std::string::npos)
			continue;
		entries.push_back(Entry{line.substr(0, first) == "1",
			line.substr(first + 1, second - first - 1),
			line.substr(second + 1)});
	}
	return entries;
}


int
TopicLog::Count(const std::string& topic, const std::string& payload) const
{
	int count = 0;
	for (const Entry& entry : Entries()) {
		if (entry.topic == topic
			&& (payload.empty() || entry.payload == payload))
			count++;
	}
	return count;
}


bool
TopicLog::WaitFor(const std::string& topic, const std::string& payload,
	double seconds, int count) const
{
	return wait_for([&] { return Count(topic, payload) >= count; }, seconds);
}


std::string
TopicLog::Last(const std::string& topic) const
{
	std::string last;
	for (const Entry& entry : Entries()) {
		if (entry.topic == topic)
			last = entry.payload;
	}
	return last;
}


std::string
TopicLog::Text() const
{
	return fProcess->Output() + fProcess->Errors();
}


Door::Door(const std::string& name)
	:
	fName(name),
	fBoard(std::make_unique<BoardSim>()),
	fRdx(std::make_unique<RdxProgram>(getenv("DISPLAY") != nullptr
		? getenv("DISPLAY") : "", ("rdx-door-" + name).c_str()))
{
}


testing::AssertionResult
Door::StartRdx(bool use, int tagRelay)
{
	if (!fBoard->IsListening())
		return testing::AssertionFailure() << "the board did not start";
	seed::Values values = {
		{"rdx_ip", seed::Text(fBoard->Address())},
		{"rdx_use", seed::Bool(use)},
		{"OpenInSecs", seed::Int32(1)},
		{"TagsUseDoor", seed::Int32(tagRelay)},
		{"prefs_window_rect", seed::Rect(40, 30, 440, 155)},
	};
	if (!fRdx->Started() && !fRdx->Seed(values))
		return testing::AssertionFailure() << "cannot seed the settings";
	return fRdx->Start();
}


std::string
Door::ConfigFile() const
{
	return fRdx->SettingsDirectory() + "/mqtt.conf";
}


std::string
Door::RuntimeDirectory() const
{
	return fRdx->Directory().Sub("run");
}


void
Door::WriteConfig(const std::string& lines)
{
	mkdir(fRdx->ConfigHome().c_str(), 0700);
	mkdir(fRdx->SettingsDirectory().c_str(), 0755);
	write_text(ConfigFile(), lines, 0600);
}


testing::AssertionResult
Door::StartBridge(const std::vector<std::string>& wrapper)
{
	std::vector<std::string> argv = wrapper;
	argv.push_back(kRdxMqtt);
	ChildProcess::Options options;
	options.environment = {
		{"HOME", fRdx->Directory().Sub("home")},
		{"XDG_CONFIG_HOME", fRdx->ConfigHome()},
		{"XDG_RUNTIME_DIR", RuntimeDirectory()},
	};
	fBridge = std::make_unique<ChildProcess>(argv, options);
	if (!WaitForBridgeLine("door ", 20))
		return testing::AssertionFailure() << "rdx-mqtt did not start: "
			<< BridgeErrors();
	return testing::AssertionSuccess();
}


int
Door::StopBridge()
{
	if (fBridge == nullptr)
		return -1;
	fBridge->Signal(SIGTERM);
	int status = -1;
	if (!fBridge->Wait(20, &status)) {
		fBridge->Kill();
		return -1;
	}
	return status;
}


std::string
Door::BridgeErrors() const
{
	return fBridge != nullptr ? fBridge->Errors() : std::string();
}


bool
Door::WaitForBridgeLine(const std::string& text, double seconds,
	int count) const
{
	return wait_for([&] {
		return count_of(BridgeErrors(), text) >= count;
	}, seconds);
}


std::string
Door::OpenRequest(int relay)
{
	return "GET /?" + std::to_string(relay + 2) + "=0";
}


std::string
Door::CloseRequest(int relay)
{
	return "GET /?" + std::to_string(relay + 2) + "=1";
}
