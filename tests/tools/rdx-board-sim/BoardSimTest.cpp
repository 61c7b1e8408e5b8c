// The board simulator, spoken to over real HTTP on loopback.

#include "BoardSim.h"
#include "ChildProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <regex>
#include <thread>

extern double test_now();

namespace {

std::unique_ptr<httplib::Client>
ClientFor(const BoardSim& board)
{
	auto client = std::make_unique<httplib::Client>(
		board.Address().find('[') == 0 ? "::1" : "127.0.0.1", board.Port());
	client->set_connection_timeout(5);
	client->set_read_timeout(10);
	return client;
}


// The state the main page shows for an output: "open", "closed" or "".
std::string
ShownState(httplib::Client& client, int output)
{
	httplib::Result result = client.Get("/");
	if (!result || result->status != 200)
		return "";
	std::smatch match;
	std::regex cell("id=\"out" + std::to_string(output)
		+ "\">(open|closed)<");
	if (!std::regex_search(result->body, match, cell))
		return "";
	return match[1].str();
}


int
StatusOf(httplib::Client& client, const std::string& target)
{
	httplib::Result result = client.Get(target);
	return result ? result->status : -1;
}


// Runs the simulator with the options and waits for it to end.
int
ExitStatusFor(const std::vector<std::string>& options, std::string* errors,
	std::string* output = nullptr)
{
	std::vector<std::string> argv = {BoardSim::Program()};
	argv.insert(argv.end(), options.begin(), options.end());
	ChildProcess sim(argv);
	int status = -1;
	if (!sim.Wait(10, &status))
		return -1;
	*errors = sim.Errors();
	if (output != nullptr)
		*output = sim.Output();
	return status;
}

}	// namespace


TEST(BoardSim, SwitchesOutputsAndShowsThemOnTheMainPage)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	for (int output = 3; output <= 6; output++)
		EXPECT_EQ(ShownState(*client, output), "closed") << output;

	EXPECT_EQ(StatusOf(*client, "/?5=0"), 200);
	EXPECT_EQ(StatusOf(*client, "/?3=0"), 200);
	EXPECT_EQ(ShownState(*client, 3), "open");
	EXPECT_EQ(ShownState(*client, 4), "closed");
	EXPECT_EQ(ShownState(*client, 5), "open");
	EXPECT_EQ(ShownState(*client, 6), "closed");

	EXPECT_EQ(StatusOf(*client, "/?5=1"), 200);
	EXPECT_EQ(ShownState(*client, 5), "closed");
	EXPECT_EQ(StatusOf(*client, "/?6=0"), 200);
	EXPECT_EQ(ShownState(*client, 6), "open");

	// Four relays, named 1 to 4 next to their outputs.
	httplib::Result page = client->Get("/");
	ASSERT_TRUE(page);
	EXPECT_NE(page->body.find("<td>4</td><td>6</td>"), std::string::npos);
	EXPECT_NE(page->get_header_value("Content-Type").find("text/html"),
		std::string::npos);
}


TEST(BoardSim, BadSwitchRequestsAreRefusedAndChangeNothing)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	for (const char* target : {"/?7=0", "/?2=0", "/?5=2", "/?5=", "/?5=00",
			"/?05=0", "/?x=1", "/?5=0&6=0", "/?=0", "/?-5=0"}) {
		EXPECT_EQ(StatusOf(*client, target), 400) << target;
	}
	for (int output = 3; output <= 6; output++)
		EXPECT_EQ(ShownState(*client, output), "closed") << output;
}


TEST(BoardSim, OwnerPageAndUnknownPaths)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	httplib::Result owner = client->Get("/owner.htm");
	ASSERT_TRUE(owner);
	EXPECT_EQ(owner->status, 200);
	EXPECT_NE(owner->body.find("<h1>Owner</h1>"), std::string::npos);
	EXPECT_EQ(StatusOf(*client, "/nothing"), 404);
	EXPECT_EQ(StatusOf(*client, "/owner.htm/?5=0"), 404);
	EXPECT_EQ(ShownState(*client, 5), "closed");
}


TEST(BoardSim, LogsEveryRequestWithATimeStamp)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);
	time_t before = time(nullptr);

	StatusOf(*client, "/?5=0");
	StatusOf(*client, "/?9=9");
	StatusOf(*client, "/owner.htm");
	client->Post("/", "x", "text/plain");

	std::vector<std::string> lines = board.LogLines();
	ASSERT_EQ(lines.size(), 4u);
	std::regex format("([0-9]+)\\.([0-9]{6}) ([A-Z]+) (.*)");
	std::vector<std::string> requests;
	double last = 0;
	for (const std::string& line : lines) {
		std::smatch match;
		ASSERT_TRUE(std::regex_match(line, match, format)) << line;
		double stamp = std::stod(match[1].str() + "." + match[2].str());
		EXPECT_GE(stamp, last);
		EXPECT_GE(stamp, (double)before - 1);
		EXPECT_LE(stamp, (double)time(nullptr) + 1);
		last = stamp;
		requests.push_back(match[3].str() + " " + match[4].str());
	}
	EXPECT_EQ(requests, (std::vector<std::string>{"GET /?5=0", "GET /?9=9",
		"GET /owner.htm", "POST /"}));
}


TEST(BoardSim, StatusOptionAnswersSwitchRequestsWithThatCode)
{
	BoardSim board({"--status", "500"});
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	EXPECT_EQ(StatusOf(*client, "/?5=0"), 500);
	// An erring board switches nothing; its pages still answer.
	EXPECT_EQ(ShownState(*client, 5), "closed");
	EXPECT_EQ(StatusOf(*client, "/owner.htm"), 200);
	EXPECT_EQ(StatusOf(*client, "/?7=0"), 400);

	BoardSim accepting({"--status", "202"});
	ASSERT_TRUE(accepting.IsListening());
	auto other = ClientFor(accepting);
	EXPECT_EQ(StatusOf(*other, "/?4=0"), 202);
	EXPECT_EQ(ShownState(*other, 4), "open");
}


TEST(BoardSim, DropHangsUpWithoutAnAnswer)
{
	BoardSim board({"--drop"});
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	httplib::Result result = client->Get("/?5=0");
	EXPECT_FALSE(result);
	EXPECT_TRUE(board.WaitForRequest("GET /?5=0", 5));
	EXPECT_FALSE(client->Get("/"));
	EXPECT_TRUE(board.WaitForRequest("GET /", 5));
}


TEST(BoardSim, DelayOptionAnswersLate)
{
	BoardSim board({"--delay-ms", "400"});
	ASSERT_TRUE(board.IsListening());
	auto client = ClientFor(board);

	double start = test_now();
	EXPECT_EQ(StatusOf(*client, "/?3=0"), 200);
	EXPECT_GE(test_now() - start, 0.4);
	struct timespec answered;
	clock_gettime(CLOCK_REALTIME, &answered);
	// Logged on arrival, not once answered.
	std::vector<std::string> lines = board.LogLines();
	ASSERT_EQ(lines.size(), 1u);
	EXPECT_LE(std::stod(lines[0]),
		answered.tv_sec + answered.tv_nsec / 1e9 - 0.35);
}


TEST(BoardSim, AnswersSeveralClientsAtOnce)
{
	BoardSim board({"--delay-ms", "200"});
	ASSERT_TRUE(board.IsListening());

	std::vector<std::thread> clients;
	std::vector<int> statuses(4, -1);
	for (int i = 0; i < 4; i++) {
		clients.emplace_back([&, i] {
			auto client = ClientFor(board);
			statuses[i] = StatusOf(*client, "/?" + std::to_string(i + 3)
				+ "=0");
		});
	}
	for (std::thread& client : clients)
		client.join();
	EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200}));
	auto client = ClientFor(board);
	for (int output = 3; output <= 6; output++)
		EXPECT_EQ(ShownState(*client, output), "open") << output;
	EXPECT_EQ(board.Requests().size(), 8u);
}


TEST(BoardSim, ListensOnIPv6Loopback)
{
	BoardSim board({}, "::1");
	ASSERT_TRUE(board.IsListening());
	EXPECT_EQ(board.Address(), "[::1]:" + std::to_string(board.Port()));
	auto client = ClientFor(board);
	EXPECT_EQ(StatusOf(*client, "/?6=0"), 200);
	EXPECT_EQ(ShownState(*client, 6), "open");
	EXPECT_NE(board.Process()->Output().find("listening on http://[::1]:"),
		std::string::npos);
}


TEST(BoardSim, RefusesAddressesBeyondLoopback)
{
	std::string errors;
	EXPECT_EQ(ExitStatusFor({"--listen", "0.0.0.0:0"}, &errors), 2);
	EXPECT_NE(errors.find("not a loopback address"), std::string::npos)
		<< errors;
	EXPECT_EQ(ExitStatusFor({"--listen", "[::]:0"}, &errors), 2);
	EXPECT_NE(errors.find("not a loopback address"), std::string::npos)
		<< errors;

	std::string help;
	EXPECT_EQ(ExitStatusFor({"--help"}, &errors, &help), 0);
	EXPECT_NE(help.find("--allow-any-address"), std::string::npos);
	EXPECT_NE(help.find("loopback"), std::string::npos);
}


TEST(BoardSim, BadOptionsAreUsageErrors)
{
	std::string errors;
	for (std::vector<std::string> options : std::vector<std::vector<std::string>>{
			{"--delay-ms", "soon"}, {"--delay-ms", "-1"}, {"--status", "99"},
			{"--status", "600"}, {"--listen", "127.0.0.1"},
			{"--listen", "127.0.0.1:70000"}, {"--listen", "::1:80"},
			{"--port-file"}, {"--frobnicate"}}) {
		EXPECT_EQ(ExitStatusFor(options, &errors), 2) << options[0];
		EXPECT_NE(errors.find("rdx-board-sim: "), std::string::npos);
	}
	// A port that is taken cannot be listened on.
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	EXPECT_EQ(ExitStatusFor({"--listen", board.Address()}, &errors), 1);
	EXPECT_NE(errors.find("cannot listen"), std::string::npos) << errors;
}


TEST(BoardSim, EndsCleanlyOnTermAndInterrupt)
{
	for (int signal : {SIGTERM, SIGINT}) {
		BoardSim board;
		ASSERT_TRUE(board.IsListening());
		board.Process()->Signal(signal);
		int status = -1;
		ASSERT_TRUE(board.Process()->Wait(10, &status)) << signal;
		EXPECT_EQ(status, 0) << signal;
	}

	// Also while an answer is held back.
	BoardSim slow({"--delay-ms", "60000"});
	ASSERT_TRUE(slow.IsListening());
	std::thread waiting([&] {
		auto client = ClientFor(slow);
		client->Get("/?5=0");
	});
	ASSERT_TRUE(slow.WaitForRequest("GET /?5=0", 10));
	EXPECT_TRUE(slow.Stop());
	waiting.join();
}
