// Board addresses reach a shell. None may make it run anything, and the
// ordinary ones must still make exactly the request they always made.

#include "BoardSim.h"
#include "RelayTestSupport.h"

#include <BoardCommand.h>
#include <RDXDefs.h>
#include <RelayPath.h>

#include <cstdio>
#include <sys/stat.h>

namespace {

bool
Exists(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0;
}


// The command as it would be without quoting: the address pasted in as it
// is. Used to show that the test's addresses are real attacks.
std::string
UnquotedCommand(const std::string& address, int output, int level)
{
	// The answer goes nowhere: a fixed name in the shared /tmp is what the
	// program itself must not use either.
	return "wget -q --output-document=/dev/null --delete-after --timeout=2 "
		"--tries=1 " + address + "/?"
		+ std::to_string(output) + "=" + std::to_string(level);
}


struct Attack {
	std::string	address;
	std::string	marker;
	// Whether the same address, pasted in unquoted, runs the marker's
	// command (a quote-breaking one only harms the quoted form).
	bool		harmsUnquoted;
};

}	// namespace


class AddressSafety : public RelayTest {
protected:
	void SetUp() override
	{
		RelayTest::SetUp();
		fTemp = std::make_unique<TempDir>("rdx-inject");
	}

	// A trailing '#' keeps the shell from gluing the query to the marker's
	// name when the address goes in unquoted.
	std::vector<Attack> Attacks(const std::string& board)
	{
		std::string d = fTemp->Path();
		return {
			{board + ";touch " + d + "/semicolon #", d + "/semicolon", true},
			{"$(touch " + d + "/dollar)", d + "/dollar", true},
			{"`touch " + d + "/backquote`", d + "/backquote", true},
			{board + "';touch " + d + "/single;'", d + "/single", false},
			{board + "\"$(touch " + d + "/double)\"", d + "/double", true},
			{board + " -a" + d + "/blank " + board, d + "/blank", true},
			{board + "\ntouch " + d + "/newline\n#", d + "/newline", true},
			{board + "|touch " + d + "/pipe #", d + "/pipe", true},
			{board + "&&touch " + d + "/and #", d + "/and", true},
			{board + ">" + d + "/redirect #", d + "/redirect", true},
		};
	}

	std::unique_ptr<TempDir> fTemp;
};


TEST_F(AddressSafety, NoAddressMakesTheShellRunAnything)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	for (const Attack& attack : Attacks(board.Address())) {
		SCOPED_TRACE(attack.address);
		WriteRelayStatus(RDX_RSTATUS_RESET);
		gApp->ClearReports();

		Own_Thread(1, true, attack.address.c_str(), 0);
		ASSERT_TRUE(gApp->WaitForReports(3, 20));
		ASSERT_TRUE(WaitForWorkersToEnd(20));
		EXPECT_FALSE(Exists(attack.marker));
		// wget got the whole address as its one URL, which no board
		// answers: reported as a board that does not answer.
		EXPECT_EQ(ReportCodes(), (std::vector<uint32>{RDX_MSG_NO_ANSWER,
			RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	}
	EXPECT_EQ(count_of(fOutput->Text(), " | ausschalten, da es nicht antwortet \n"),
		(int)Attacks(board.Address()).size());
}


TEST_F(AddressSafety, TheAttacksWouldWorkOnAnUnquotedCommand)
{
	// Without this, the test above could pass with addresses that harm
	// nothing anyway.
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	for (const Attack& attack : Attacks(board.Address())) {
		SCOPED_TRACE(attack.address);
		int status = system(UnquotedCommand(attack.address, 3, 1).c_str());
		(void)status;
		EXPECT_EQ(Exists(attack.marker), attack.harmsUnquoted);
	}
}


TEST_F(AddressSafety, AddressThatWgetWouldTakeForAnOptionIsRefused)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	std::string marker = fTemp->Sub("option");

	Own_Thread(2, true, ("-a" + marker).c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(3, 20));
	EXPECT_EQ(ReportCodes(), (std::vector<uint32>{RDX_MSG_NO_ANSWER,
		RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	EXPECT_TRUE(fOutput->WaitFor(
		"2 | board address refused, it begins with '-': not sent \n", 5));
	EXPECT_EQ(fOutput->Text().find("ausschalten"), std::string::npos);
	EXPECT_FALSE(Exists(marker));
	EXPECT_EQ(RelayMark(2), 'o');
}


TEST_F(AddressSafety, CommandThatDoesNotFitIsRefusedNotCut)
{
	BoardSim board;
	ASSERT_TRUE(board.IsListening());

	// An address with a path, padded so that the command takes exactly the
	// buffer's 255 characters, and one more.
	std::string base = board.Address() + "/";
	char probe[RDX_COMMAND_BUFFER];
	ASSERT_EQ(MakeBoardCommand(probe, "/tmp", base.c_str(), 5, 0), B_OK);
	std::string fits = base + std::string(RDX_COMMAND_SIZE - 1
		- strlen(probe), 'a');
	std::string tooLong = fits + "a";

	Own_Thread(3, true, fits.c_str(), 0);
	// The board answers 404 for that path: 'rx_k', 'rx_s' and 'rx_c', all
	// handled before the reports are cleared for the second request.
	ASSERT_TRUE(gApp->WaitForReports(3, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	// The board knows no such path, but the whole request reached it.
	std::string path = fits.substr(board.Address().size());
	EXPECT_EQ(board.Requests(),
		std::vector<std::string>{"GET " + path + "/?5=0"});

	WriteRelayStatus(RDX_RSTATUS_RESET);
	gApp->ClearReports();
	Own_Thread(3, true, tooLong.c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(3, 20));
	ASSERT_TRUE(WaitForWorkersToEnd(20));
	EXPECT_EQ(ReportCodes(), (std::vector<uint32>{RDX_MSG_NO_ANSWER,
		RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	std::string line = "3 | board address too long ("
		+ std::to_string(tooLong.size()) + " characters), the command would "
		"not fit 255 characters: not sent \n";
	EXPECT_NE(fOutput->Text().find(line), std::string::npos) << fOutput->Text();
	EXPECT_EQ(board.Requests().size(), 1u) << "nothing cut short was sent";
}


TEST_F(AddressSafety, OrdinaryAddressesMakeTheSameRequestAsBefore)
{
	BoardSim board4;
	BoardSim board6({}, "::1");
	ASSERT_TRUE(board4.IsListening());
	ASSERT_TRUE(board6.IsListening());

	struct Case {
		BoardSim*	board;
		std::string	address;
		// What the address was meant to reach, pasted in unquoted: wget
		// reads a bracketed IPv6 address only with its scheme.
		std::string	reference;
	};
	std::string port4 = std::to_string(board4.Port());
	std::vector<Case> cases = {
		{&board4, board4.Address(), board4.Address()},
		{&board4, "http://" + board4.Address(), "http://" + board4.Address()},
		{&board4, board4.Address() + "/relays", board4.Address() + "/relays"},
		{&board4, "localhost:" + port4, "localhost:" + port4},
		{&board6, board6.Address(), "http://" + board6.Address()},
		{&board6, board6.Address() + "/x/y", "http://" + board6.Address()
			+ "/x/y"},
		{&board6, "http://" + board6.Address(), "http://" + board6.Address()},
	};

	for (const Case& one : cases) {
		SCOPED_TRACE(one.address);
		size_t before = one.board->Requests().size();
		int status = system(UnquotedCommand(one.reference, 4, 0).c_str());
		(void)status;
		ASSERT_TRUE(wait_for([&] {
			return one.board->Requests().size() == before + 1;
		}, 10));
		std::string expected = one.board->Requests().back();

		WriteRelayStatus(RDX_RSTATUS_RESET);
		gApp->ClearReports();
		Own_Thread(2, true, one.address.c_str(), 0);
		ASSERT_TRUE(gApp->WaitForReports(2, 20));
		ASSERT_TRUE(WaitForWorkersToEnd(20));
		ASSERT_EQ(one.board->Requests().size(), before + 2);
		EXPECT_EQ(one.board->Requests().back(), expected);
	}
	EXPECT_EQ(board4.CountOf("GET /?4=0"), 6);
	EXPECT_EQ(board6.CountOf("GET /?4=0"), 4);
	EXPECT_EQ(board6.CountOf("GET /x/y/?4=0"), 2);
}


TEST_F(AddressSafety, BracketedAddressReachesTheBoard)
{
	BoardSim board({}, "::1");
	ASSERT_TRUE(board.IsListening());

	// Pasted in as it is, wget takes it for an FTP host and fails.
	int status = system(UnquotedCommand(board.Address(), 6, 0).c_str());
	EXPECT_NE(status, 0);
	EXPECT_TRUE(board.Requests().empty());

	Own_Thread(4, true, board.Address().c_str(), 0);
	ASSERT_TRUE(gApp->WaitForReports(2, 20));
	EXPECT_EQ(ReportCodes(),
		(std::vector<uint32>{RDX_MSG_STATUS, RDX_MSG_CLOSE}));
	EXPECT_EQ(board.Requests(), std::vector<std::string>{"GET /?6=0"});
}
