// Hostile board addresses, typed into the running program's address field
// or stored in its settings file: nothing runs (each address that carries a
// command would make its own marker file), nothing overflows (the program
// keeps answering and ends with status 0), and the board sees only plain
// switch requests, from the addresses that point at it.

#include "BoardSim.h"
#include "FaultSupport.h"
#include "RdxProgram.h"
#include "Watchdog.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kTag = "_tagstr=04A1B2C3";
// The program keeps at most this many characters of an address.
const size_t kAddressLength = 63;


struct AddressCase {
	std::string	name;
	std::string	address;
	// The file a successful injection would make; empty for an address
	// that cannot carry a command.
	std::string	marker;
	// Whether it points at the board as an ordinary address does.
	bool		reachesBoard = false;
	// Whether an operator can type it into the one-line field at all (no
	// line ends, tabs or invalid UTF-8).
	bool		typeable = true;
};


// A short directory of its own below /tmp, so that the addresses stay
// within what the program keeps of an address.
class MarkerDirectory {
public:
	MarkerDirectory()
	{
		char path[] = "/tmp/rdxm-XXXXXX";
		if (mkdtemp(path) != nullptr)
			fPath = path;
	}
	~MarkerDirectory()
	{
		std::error_code ignored;
		if (!fPath.empty())
			std::filesystem::remove_all(fPath, ignored);
	}

	const std::string& Path() const { return fPath; }

	std::vector<std::string> Entries() const
	{
		std::vector<std::string> entries;
		for (const auto& entry : std::filesystem::directory_iterator(fPath))
			entries.push_back(entry.path().filename().string());
		return entries;
	}

private:
	std::string	fPath;
};


bool
Exists(const std::string& path)
{
	struct stat info;
	return !path.empty() && lstat(path.c_str(), &info) == 0;
}


std::vector<AddressCase>
HostileAddresses(int port, const std::string& markers)
{
	std::string board = "127.0.0.1:" + std::to_string(port);
	std::string d = markers + "/";
	std::string v6 = std::to_string(port);
	// A trailing '#' keeps the shell from gluing the query to the marker's
	// name when the address goes in unquoted.
	std::vector<AddressCase> cases = {
		{"Semicolon", board + ";touch " + d + "a #", d + "a"},
		{"Pipe", board + "|touch " + d + "b #", d + "b"},
		{"Ampersand", board + "&touch " + d + "c #", d + "c"},
		{"And", board + "&&touch " + d + "d #", d + "d"},
		{"Or", "x||touch " + d + "e #", d + "e"},
		{"DollarParenthesis", "$(touch " + d + "f)", d + "f"},
		{"DollarParenthesisAfterThePort", board + "$(touch " + d + "g)",
			d + "g"},
		{"Backquotes", "`touch " + d + "h`", d + "h"},
		{"SingleQuote", board + "';touch " + d + "i;'", d + "i"},
		{"DoubleQuote", board + "\";touch " + d + "j;\"", d + "j"},
		{"QuotedSubstitution", "\"$(touch " + d + "k)\"", d + "k"},
		{"Redirection", board + ">" + d + "l #", d + "l"},
		{"AppendingRedirection", board + ">>" + d + "m #", d + "m"},
		{"ErrorRedirection", board + " 2>" + d + "n #", d + "n"},
		{"InputRedirection", board + "<" + d + "x;touch " + d + "o #",
			d + "o"},
		{"Glob", board + ";touch " + d + "p* #", d + "p*"},
		{"FieldSeparator", board + ";touch${IFS}" + d + "q #", d + "q"},
		{"BackslashQuote", board + "\\';touch " + d + "r;'", d + "r"},
		// wget's option to append its messages to a file.
		{"OptionAfterABlank", board + " -a" + d + "x " + board, d + "x"},
		{"LeadingDash", "-a" + d + "v " + board, d + "v"},
		{"LeadingDoubleDash", "--append-output=" + d + "w " + board, d + "w"},
		{"Plain", board, "", true},
		{"VeryLong", board + ";touch " + d + "y #" + std::string(290, 'a'),
			d + "y"},
		{"NonAscii", board + ";touch " + d + "\xc3\xbc\xe2\x82\xac #",
			d + "\xc3\xbc\xe2\x82\xac"},
		{"Empty", "", ""},
		{"OnlyBlanks", "    ", ""},
		{"FormatSpecifiers", "%s%n%s%n%x;touch " + d + "B #", d + "B"},
		{"FormatSpecifiersAsThePort", "127.0.0.1:%n%n%s%s%p", ""},
		{"HostileIpv6", "[::1;touch " + d + "C #]:" + v6, d + "C"},
		{"Ipv6", "[::ffff:127.0.0.1]:" + v6, "", true},
		{"WithScheme", "http://" + board, "", true},
		{"Fragment", board + "#;touch " + d + "D #", d + "D"},
		{"NestedQuotes", "'\"$(touch " + d + "F)\"'", d + "F"},
		{"Newline", board + "\ntouch " + d + "s #", d + "s", false, false},
		{"Tab", board + ";\ttouch\t" + d + "t #", d + "t", false, false},
		{"CarriageReturn", board + "\r\ntouch " + d + "u #", d + "u", false,
			false},
		{"InvalidUtf8", board + "\xff\xfe;touch " + d + "A\xc3 #",
			d + "A\xc3", false, false},
	};
	return cases;
}


// The cases whose names are listed, in that order.
std::vector<AddressCase>
Pick(const std::vector<AddressCase>& all,
	const std::vector<std::string>& names)
{
	std::vector<AddressCase> picked;
	for (const std::string& name : names) {
		for (const AddressCase& test : all) {
			if (test.name == name)
				picked.push_back(test);
		}
	}
	return picked;
}


// What the program keeps of a stored address.
std::string
Kept(const std::string& address)
{
	return address.substr(0, std::min(address.find('\0'), kAddressLength));
}

}	// namespace


class AddressFaultTest : public testing::Test {
protected:
	void SetUp() override
	{
		fWatchdog = std::make_unique<Watchdog>(
			testing::UnitTest::GetInstance()->current_test_info()->name(),
			110);
		ASSERT_FALSE(fMarkers.Path().empty());
		fBoard = std::make_unique<BoardSim>();
		ASSERT_TRUE(fBoard->IsListening());
		fCases = HostileAddresses(fBoard->Port(), fMarkers.Path());
		fRdx = std::make_unique<RdxProgram>(TestDisplay(), "rdx-faults");
		fStart = test_now();
	}

	void TearDown() override
	{
		if (HasFailure() && fRdx != nullptr)
			printf("%s", fRdx->Transcript().c_str());
		fRdx.reset();
		// Nothing ran, also not after the program ended.
		EXPECT_EQ(fMarkers.Entries(), std::vector<std::string>{});
		// Every request the board saw switched an output, and nothing else.
		for (const std::string& request : fBoard->Requests()) {
			EXPECT_TRUE(std::regex_match(request,
				std::regex("GET /\\?[3-6]=[01]"))) << request;
		}
		fBoard.reset();
		fWatchdog.reset();
	}

	// Settings that board-use is on, tags open relay 2 and close it at
	// once.
	seed::Values Settings(const std::string& address) const
	{
		return {{"rdx_ip", "CSTR" + address + std::string(1, '\0')},
			{"rdx_use", seed::Bool(true)}, {"OpenInSecs", seed::Int32(0)},
			{"TagsUseDoor", seed::Int32(2)},
			{"prefs_window_rect", seed::Rect(40, 30, 440, 155)}};
	}

	// Lines of requests that did not reach a board.
	int Failures() const
	{
		return fRdx->Count(" | ausschalten, da es nicht antwortet \n")
			+ fRdx->Count(" | board address refused")
			+ fRdx->Count(" | board address too long");
	}

	// A tag with the address the program holds: the board gets the open
	// and the close of relay 2, or the open and the close both fail.
	void Tag(const AddressCase& test, const std::string& held,
		bool reachesBoard)
	{
		size_t requests = fBoard->Requests().size();
		int failures = Failures();
		int refusals = fRdx->Count(" | board address refused");
		ASSERT_EQ(fRdx->Send({"RFID", kTag}), 0);
		if (reachesBoard) {
			ASSERT_TRUE(wait_for([&] {
				return fBoard->Requests().size() >= requests + 2;
			}, 15));
		} else {
			ASSERT_TRUE(wait_for([&] { return Failures() >= failures + 2; },
				15)) << "the open and the close did not both fail";
		}
		ASSERT_TRUE(fRdx->Sync());

		std::vector<std::string> all = fBoard->Requests();
		std::vector<std::string> made(all.begin() + requests, all.end());
		if (reachesBoard) {
			EXPECT_EQ(made, (std::vector<std::string>{"GET /?4=0",
				"GET /?4=1"}));
		} else {
			EXPECT_EQ(made, std::vector<std::string>{});
		}
		// wget would take it for an option: the open and the close are
		// refused with their line before anything runs.
		if (!held.empty() && held[0] == '-') {
			EXPECT_EQ(fRdx->Count(" | board address refused"), refusals + 2);
		}
		EXPECT_FALSE(Exists(test.marker)) << "the shell ran a command";
		EXPECT_TRUE(fRdx->Running());
	}

	void Figures(size_t cases)
	{
		ReportFigure("addresses", std::to_string(cases));
		ReportFigure("requests that failed or were refused",
			std::to_string(Failures()));
		ReportFigure("requests the board got",
			std::to_string(fBoard->Requests().size()));
		ReportFigure("took", Seconds(test_now() - fStart));
	}

	// Each address typed into the field, then a tag.
	void ThroughTheField(const std::vector<std::string>& names)
	{
		ASSERT_TRUE(fRdx->Seed(Settings(fBoard->Address())));
		ASSERT_TRUE(fRdx->Start());
		ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
		std::vector<AddressCase> cases = Pick(fCases, names);
		ASSERT_EQ(cases.size(), names.size());
		bool previousReaches = true;
		std::string held = fBoard->Address();
		for (const AddressCase& test : cases) {
			SCOPED_TRACE(test.name);
			ASSERT_TRUE(test.typeable);
			// A failed request switched board use off, and with it the
			// field.
			if (fRdx->Stored("rdx_use") != seed::Bool(true)) {
				ASSERT_TRUE(fRdx->Click(kUseCheckBox));
				ASSERT_TRUE(fRdx->WaitForStored("rdx_use", seed::Bool(true)));
			}
			int tooLong = fRdx->Count("address too long (");
			ASSERT_TRUE(fRdx->Enter(kAddressField, test.address));
			bool kept = test.address.size() <= kAddressLength;
			if (kept) {
				ASSERT_TRUE(fRdx->WaitForStored("rdx_ip",
					seed::Text(test.address))) << "not typed as it was";
				previousReaches = test.reachesBoard;
				held = test.address;
			} else {
				// Never cut: the address before it stays.
				ASSERT_TRUE(fRdx->WaitForCount("address too long ("
					+ std::to_string(test.address.size()) + " characters, at "
					"most 63): not saved\n", tooLong + 1));
			}
			ASSERT_TRUE(fRdx->Sync());
			Tag(test, held, previousReaches);
			if (HasFatalFailure())
				return;
		}
		Figures(cases.size());
		EXPECT_EQ(fRdx->CloseAndWait(), 0);
	}

	// The program starts with the first address stored, then each address
	// is stored and the settings reloaded, then a tag.
	void ThroughTheSettings(const std::vector<std::string>& names)
	{
		std::vector<AddressCase> cases = Pick(fCases, names);
		ASSERT_EQ(cases.size(), names.size());
		ASSERT_TRUE(fRdx->Seed(Settings(cases[0].address)));
		ASSERT_TRUE(fRdx->Start());
		// The start-up pulse of relay 1 with the stored address.
		if (cases[0].reachesBoard) {
			ASSERT_TRUE(fBoard->WaitForRequest("GET /?3=1", 15));
		} else {
			ASSERT_TRUE(wait_for([&] { return Failures() >= 2; }, 15));
		}
		if (cases[0].address.size() > kAddressLength) {
			// The failed pulse saved the settings: the stored address cut
			// to what the program keeps, nothing more.
			EXPECT_EQ(fRdx->Stored("rdx_ip"),
				seed::Text(Kept(cases[0].address)));
		}
		ASSERT_TRUE(fRdx->Sync());
		for (const AddressCase& test : cases) {
			SCOPED_TRACE(test.name);
			ASSERT_TRUE(fRdx->Seed({{"rdx_ip", "CSTR" + test.address
					+ std::string(1, '\0')}, {"rdx_use", seed::Bool(true)}}));
			ASSERT_EQ(fRdx->Send({"rPrf"}), 0);
			ASSERT_TRUE(fRdx->Sync());
			Tag(test, Kept(test.address), test.reachesBoard);
			if (HasFatalFailure())
				return;
			if (!test.reachesBoard) {
				// The failure saved the settings: with the address as the
				// program kept it, whole up to its 63 characters.
				EXPECT_EQ(fRdx->Stored("rdx_ip"),
					seed::Text(Kept(test.address)));
			}
		}
		Figures(cases.size());
		EXPECT_EQ(fRdx->CloseAndWait(), 0);
	}

	std::unique_ptr<Watchdog>	fWatchdog;
	MarkerDirectory				fMarkers;
	std::unique_ptr<BoardSim>	fBoard;
	std::vector<AddressCase>	fCases;
	std::unique_ptr<RdxProgram>	fRdx;
	double						fStart = 0;
};


TEST_F(AddressFaultTest, TypedShellCharacters)
{
	ThroughTheField({"Semicolon", "Pipe", "Ampersand", "And", "Or",
		"DollarParenthesis", "DollarParenthesisAfterThePort", "Backquotes",
		"SingleQuote", "DoubleQuote", "QuotedSubstitution", "NestedQuotes",
		"Plain", "Fragment", "FieldSeparator", "BackslashQuote"});
}


TEST_F(AddressFaultTest, TypedRedirectionsOptionsAndOddTexts)
{
	ThroughTheField({"Redirection", "AppendingRedirection",
		"ErrorRedirection", "InputRedirection", "Glob", "OptionAfterABlank",
		"LeadingDash", "LeadingDoubleDash", "Plain", "VeryLong", "NonAscii",
		"Empty", "OnlyBlanks", "FormatSpecifiers", "FormatSpecifiersAsThePort",
		"HostileIpv6", "Ipv6", "WithScheme"});
}


TEST_F(AddressFaultTest, StoredShellCharactersAndLineEnds)
{
	ThroughTheSettings({"VeryLong", "Semicolon", "Pipe", "Ampersand", "And",
		"Or", "DollarParenthesis", "DollarParenthesisAfterThePort",
		"Backquotes", "SingleQuote", "DoubleQuote", "QuotedSubstitution",
		"NestedQuotes", "Newline", "Tab", "CarriageReturn", "Fragment",
		"FieldSeparator", "BackslashQuote", "Plain"});
}


TEST_F(AddressFaultTest, StoredRedirectionsOptionsAndOddTexts)
{
	ThroughTheSettings({"InvalidUtf8", "Redirection", "AppendingRedirection",
		"ErrorRedirection", "InputRedirection", "Glob", "OptionAfterABlank",
		"LeadingDash", "LeadingDoubleDash", "NonAscii", "Empty", "OnlyBlanks",
		"FormatSpecifiers", "FormatSpecifiersAsThePort", "HostileIpv6", "Ipv6",
		"WithScheme", "Plain"});
}



TEST(AddressAttacks, EachWouldRunOnACommandThatDoesNotQuoteIt)
{
	// Without this, the cases above could pass with addresses that harm
	// nothing anyway: each marker is made by the board command with the
	// address pasted in bare, or between quotes that it can break.
	Watchdog watchdog("EachWouldRunOnACommandThatDoesNotQuoteIt", 100);
	BoardSim board;
	ASSERT_TRUE(board.IsListening());
	MarkerDirectory markers;
	ASSERT_FALSE(markers.Path().empty());
	int attacks = 0;
	for (const AddressCase& test : HostileAddresses(board.Port(),
			markers.Path())) {
		if (test.marker.empty())
			continue;
		SCOPED_TRACE(test.name);
		attacks++;
		bool made = false;
		for (const char* quote : {"", "'", "\""}) {
			std::string command = "wget -q --output-document=/dev/null "
				"--delete-after --timeout=2 --tries=1 " + std::string(quote)
				+ test.address + "/?4=0" + quote;
			int status = system(command.c_str());
			(void)status;
			made = made || wait_for([&] { return Exists(test.marker); }, 0.2);
		}
		EXPECT_TRUE(made) << test.address;
		std::error_code ignored;
		for (const std::string& entry : markers.Entries())
			std::filesystem::remove_all(markers.Path() + "/" + entry, ignored);
	}
	EXPECT_GE(attacks, 30);
	ReportFigure("addresses that carry a command", std::to_string(attacks));
}
