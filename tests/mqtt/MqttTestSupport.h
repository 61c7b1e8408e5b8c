#ifndef MQTT_TEST_SUPPORT_H
#define MQTT_TEST_SUPPORT_H

// Real parts for the bridge's tests: Debian's mosquitto on a free loopback
// port (plain, or TLS with a password file, keys made with openssl), its
// own mosquitto_sub and mosquitto_pub as the other side, and whole doors:
// a board simulator, rdx with its own settings and runtime directories on
// the test's X server, and rdx-mqtt.

#include "BoardSim.h"
#include "ChildProcess.h"
#include "RdxProgram.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

// Runs a program to its end; true when it exited 0.
bool run_program(const std::vector<std::string>& argv,
	std::string* errors = nullptr);

// A CA, a server certificate for 127.0.0.1 signed by it, another CA that
// signed nothing here, and a password file with one user.
struct BrokerSecrets {
	explicit				BrokerSecrets(const TempDir& directory);
			bool			made = false;
			std::string		ca;
			std::string		otherCA;
			std::string		serverCert;
			std::string		serverKey;
			std::string		passwordFile;
	static	const char* const kUser;
	static	const char* const kPassword;
};


class Broker {
public:
	// secrets: null for a plain listener taking anyone.
	explicit				Broker(const BrokerSecrets* secrets = nullptr);
							~Broker();

			bool			Start();
			void			Stop();
			bool			Running();
			int				Port() const { return fPort; }
			std::string		Log() const;

			// mosquitto_sub / mosquitto_pub options that reach this broker.
			std::vector<std::string> ClientOptions() const;
			bool			Publish(const std::string& topic,
								const std::string& payload,
								bool retained = false);

private:
			TempDir			fDirectory;
			const BrokerSecrets* fSecrets;
			int				fPort = 0;
			std::unique_ptr<ChildProcess> fProcess;
};


// Every message on the broker from its start, one per line:
// "RETAINED|TOPIC|PAYLOAD", RETAINED 1 for a stored message.
class TopicLog {
public:
	struct Entry {
		bool		retained;
		std::string	topic;
		std::string	payload;
	};

	explicit				TopicLog(const Broker& broker,
								const std::string& filter = "#");

			std::vector<Entry> Entries() const;
			int				Count(const std::string& topic,
								const std::string& payload = "") const;
			bool			WaitFor(const std::string& topic,
								const std::string& payload, double seconds,
								int count = 1) const;
			// The last payload on the topic; empty when none came.
			std::string		Last(const std::string& topic) const;
			std::string		Text() const;

private:
			std::unique_ptr<ChildProcess> fProcess;
};


// One door: a board, rdx and rdx-mqtt, each with directories of its own.
class Door {
public:
							Door(const std::string& name);

	// Seeds rdx (board use, tag relay, hold time) and starts it.
			testing::AssertionResult StartRdx(bool use, int tagRelay);
			void			StopRdx() { fRdx->Stop(); }
	// Writes mqtt.conf with the lines and starts rdx-mqtt with it, behind
	// the wrapper's arguments where given (a program that execs the rest).
			void			WriteConfig(const std::string& lines);
			testing::AssertionResult StartBridge(
								const std::vector<std::string>& wrapper
									= {});
	// Ends rdx-mqtt with SIGTERM; its exit status, -1 when it hung.
			int				StopBridge();

			BoardSim&		Board() { return *fBoard; }
			RdxProgram&		Rdx() { return *fRdx; }
			ChildProcess&	Bridge() { return *fBridge; }
			std::string		ConfigFile() const;
			std::string		RuntimeDirectory() const;
			std::string		BridgeErrors() const;
			bool			WaitForBridgeLine(const std::string& text,
								double seconds, int count = 1) const;
	// The board's requests to open (level 0) and close relay n.
	static	std::string		OpenRequest(int relay);
	static	std::string		CloseRequest(int relay);

private:
			std::string		fName;
			std::unique_ptr<BoardSim> fBoard;
			std::unique_ptr<RdxProgram> fRdx;
			std::unique_ptr<ChildProcess> fBridge;
};

#endif
