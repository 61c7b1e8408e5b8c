// The list in and out of a spreadsheet, without a display: files that
// must be refused whole (with their row), a German spreadsheet's file, the
// round trip through the export, and a differing tag that keeps the list's
// version until the person chooses the file's.

#include "CsvCommand.h"
#include "ReadHistory.h"
#include "TagExport.h"
#include "TagImport.h"

#include <TagListEditor.h>

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kList =
	"# front door\n"
	"@staff = Mo-Fr 07:00-19:00\n"
	"0014594826 front desk | @staff # keys returned\n"
	"04A1B2C3 spare card | off\n"
	"0001 nobody |\n";


class CsvImportTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::ofstream(fPath, std::ios::binary) << kList;
		chmod(fPath.c_str(), 0600);
		ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	}

	// The names in the directory (the list, the log, exports, lock files).
	int CountNames()
	{
		int count = 0;
		DIR* directory = opendir(fDirectory.Path().c_str());
		while (directory != nullptr && readdir(directory) != nullptr)
			count++;
		if (directory != nullptr)
			closedir(directory);
		return count;
	}

	TempDir			fDirectory{"rdx-csv-import"};
	std::string		fPath = fDirectory.Sub("tags");
	TagListEditor	fEditor{fPath};
	std::string		fProblem;
};


TEST_F(CsvImportTest, AFileThatCannotBeReadWholeIsRefusedByItsRow)
{
	struct Row {
		const char*	file;
		const char*	problem;
	} rows[] = {
		{"tag;name,rules\n", "row 1: the separator cannot be told"},
		{"tag,name\n0099,x\n", "row 1: no column \"rules\""},
		{"tag,name,rules,Rules\n", "row 1: the column \"rules\" is there"},
		{"tag,name,rules\n0099,x,\n0100,\"a\"b,\n", "row 3: the quotes"},
		{"tag,name,rules\n0099,\"x,off\n", "row 2: the quotes"},
		{"tag,name,rules\n0099,Berg, Anna,off\n", "row 2: 4 fields, but"},
		{"tag,name,rules\n0099,x,\n\n0099,y,\n", "row 4: the tag 0099 is in row 2"},
		{"tag,name,rules\n00#99,x,\n", "row 2: the tag \"00#99\" cannot"},
		{"tag,name,rules\n0099,x,Mo-Fr 25:00-26:00\n", "row 2: "},
		// Read two ways by the list: a second '|', a comment in the rules.
		{"tag,name,rules\n0099,x,off | Mo-Su 00:00-24:00\n", "row 2: "},
		{"tag,name,rules\n0099,x,off # Mo-Su 00:00-24:00\n", "row 2: "},
		{"tag,name,rules\n0099,x | always,\n", "row 2: "},
		{"tag,name,rules\n0099,x,@cleaning\n", "row 2: @cleaning is not"},
		{"tag,name,rules\n0099,M\xFC""ller,\n", "row 2: not UTF-8"},
		// Overlong, a surrogate, beyond Unicode: not UTF-8 either.
		{"tag,name,rules\n0099,\xE0\x80\xAF,\n", "row 2: not UTF-8"},
		{"tag,name,rules\n0099,\xF0\x80\x80\xAF,\n", "row 2: not UTF-8"},
		{"tag,name,rules\n0099,\xED\xA0\x80,\n", "row 2: not UTF-8"},
		{"tag,name,rules\n0099,\xF4\x90\x80\x80,\n", "row 2: not UTF-8"},
		// Tags compare as the list compares them.
		{"tag,name,rules\n04a1,x,\n04A1,y,\n", "row 3: the tag 04A1 is in"},
		// What a spreadsheet makes of a tag that is a number: without its
		// leading zeros, in its exponent form, with an invisible blank. Each
		// would be a new tag beside the card's own, which keeps its rules.
		{"tag,name,rules\n14594826,front desk,off\n", "row 2: the tag"
			" 14594826 is the tag 0014594826 of line 3 with other leading"},
		{"tag,name,rules\n0099,x,\n099,y,off\n", "row 3: the tag 099 is"
			" the tag 0099 of row 2 with other leading"},
		{"tag;name;rules\n1,45948E+07;front desk;off\n", "row 2: the tag"
			" 1,45948E+07 is a number as a spreadsheet shows it"},
		{"tag,name,rules\n1.45948e+07,front desk,off\n", "row 2: the tag"
			" 1.45948E+07 is a number"},
		{"tag,name,rules\n0014594826\xC2\xA0,front desk,off\n", "row 2: the"
			" tag \"0014594826\xC2\xA0\" has an invisible character"},
		{"tag,name,rules\n\xE2\x80\x8B" "0099,x,off\n", "row 2: the tag"
			" \"\xE2\x80\x8B" "0099\" has an invisible"},
		// Rules with ';' that were not quoted: their rest lands in the next
		// column, and the tag would pass beyond its last day.
		{"tag;name;rules;last seen\n0099;x;Mo-Fr 08:00-17:00;until"
			" 2026-12-18\n", "row 2: the rules go on in the next column"},
		{"tag;rules;name\n0099;Mo-Fr 08:00-17:00;until 2026-12-18\n",
			"row 2: the rules go on in the next column"},
		// A lone "'" is not an empty rules cell, which lets in at any time.
		{"tag,name,rules\n0099,x,'\n", "row 2: "},
		{"tag,name,rules\n0099,x, ' \n", "row 2: "},
	};
	for (const Row& row : rows) {
		TagImport import;
		std::string problem;
		EXPECT_EQ(B_BAD_DATA, import.Read(row.file, fEditor, &problem))
			<< row.file;
		EXPECT_EQ(0u, problem.find(row.problem)) << row.file << problem;
		EXPECT_TRUE(import.Entries().empty()) << row.file;
	}

	// A set that is defined but cannot be read lets its tags in never: a
	// row that names it is refused, not written as a line that never opens.
	std::ofstream(fPath, std::ios::binary) << kList
		<< "@night = Mo 25:00-26:00\n";
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	TagImport import;
	std::string problem;
	EXPECT_EQ(B_BAD_DATA, import.Read("tag,name,rules\n0099,x,@night\n",
		fEditor, &problem));
	EXPECT_EQ(0u, problem.find("row 2: @night cannot be read (line 6)"))
		<< problem;
}


TEST_F(CsvImportTest, AGermanSpreadsheetsFileIsReadAsItMeans)
{
	// As LibreOffice and Excel save it in German: a byte order mark, ';',
	// CR LF, quotes around fields with ';' or '"', German headers.
	std::string file = "\xEF\xBB\xBFRegeln;Tag;Name;Abteilung\r\n"
		"Mo-Fr 08:00-17:00;0099AA;\"M\xC3\xBCller; Hans \"\"Hansi\"\"\";"
		"Einkauf\r\n"
		";;;\r\n"
		"'@staff;0014594826;front desk;\r\n"
		"\"off ; until 2027-03-31\";04a1b2c3;spare card;\r\n";
	TagImport import;
	ASSERT_EQ(B_OK, import.Read(file, fEditor, &fProblem)) << fProblem;
	EXPECT_EQ(';', import.Separator());
	ASSERT_EQ(3u, import.Entries().size());
	const TagImport::Entry& added = import.Entries()[0];
	EXPECT_EQ(TagImport::kNew, added.kind);
	EXPECT_EQ("0099AA", added.tag);
	EXPECT_EQ("M\xC3\xBCller; Hans \"Hansi\"", added.name);
	EXPECT_EQ(TagImport::kSame, import.Entries()[1].kind);
	EXPECT_EQ(5, import.Entries()[2].row);
	EXPECT_EQ(TagImport::kDiffers, import.Entries()[2].kind);
	EXPECT_EQ("off", import.Entries()[2].listRules);

	// Nothing chosen: the differing card keeps its rules; the new one is
	// added; every other byte stays.
	ASSERT_EQ(B_OK, import.Apply(fEditor, &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, fEditor.Save(&fProblem)) << fProblem;
	std::string added_line = "0099AA M\xC3\xBCller; Hans \"Hansi\" |"
		" Mo-Fr 08:00-17:00\n";
	std::ifstream in(fPath, std::ios::binary);
	std::string text((std::istreambuf_iterator<char>(in)), {});
	EXPECT_EQ(kList + added_line, text);

	// Into a list whose last line has no line end (as some editors save
	// it): the new line stands on a line of its own, and ends with one.
	std::string unended = "@staff = Mo-Fr 07:00-19:00\n0014594826 front desk"
		" | @staff";
	std::ofstream(fPath, std::ios::binary) << unended;
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	TagImport onto;
	ASSERT_EQ(B_OK, onto.Read(file, fEditor, &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, onto.Apply(fEditor, &fProblem)) << fProblem;
	ASSERT_EQ(B_OK, fEditor.Save(&fProblem)) << fProblem;
	std::ifstream appended(fPath, std::ios::binary);
	EXPECT_EQ(unended + "\n" + added_line + "04A1B2C3 spare card |"
		" off ; until 2027-03-31\n", std::string((std::istreambuf_iterator<
		char>(appended)), {}));
	std::ofstream(fPath, std::ios::binary) << kList << added_line;
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;

	// Chosen: only then the file's version.
	TagImport again;
	ASSERT_EQ(B_OK, again.Read(file, fEditor, &fProblem)) << fProblem;
	again.Entries()[2].takeFile = true;
	ASSERT_EQ(B_OK, again.Apply(fEditor, &fProblem)) << fProblem;
	EXPECT_EQ("off ; until 2027-03-31",
		fEditor.File().Find("04A1B2C3")->RulesText());
}


TEST_F(CsvImportTest, ATagListedOtherwiseIsShownAsDifferingAndOnlyThen)
{
	// Left alone only when name and rules are exactly the list's and its
	// line can be used: anything else is shown, so that the person sees
	// the file would change it.
	struct Row {
		const char*	row;
		TagImport::Kind kind;
	} rows[] = {
		{"04A1B2C3,spare card,off", TagImport::kSame},
		{"04a1b2c3, spare card , 'off", TagImport::kSame},
		{"04A1B2C3,Carla,off", TagImport::kDiffers},
		{"04A1B2C3,spare card,", TagImport::kDiffers},
		{"04A1B2C3,spare card,off ; until 2027-03-31", TagImport::kDiffers},
		{"0014594826,front desk,'@staff", TagImport::kSame},
		{"0014594826,front desk,", TagImport::kDiffers},
		// "0001 nobody |" lets in never; the same words in a row let in
		// at any time.
		{"0001,nobody,", TagImport::kDiffers},
		{"0099,Carla,", TagImport::kNew},
	};
	for (const Row& row : rows) {
		TagImport import;
		ASSERT_EQ(B_OK, import.Read(std::string("tag,name,rules\n") + row.row,
			fEditor, &fProblem)) << row.row << fProblem;
		ASSERT_EQ(1u, import.Entries().size()) << row.row;
		EXPECT_EQ(row.kind, import.Entries()[0].kind) << row.row;
	}
}


TEST_F(CsvImportTest, AnImportAppliedAfterTheListChangedTakesNoLineItDidNotShow)
{
	// The window shows the file's tags against the list as it was read;
	// the person chooses, the save finds the list changed on disk (a hand
	// edit, a card learned), the window loads the new one, and the person
	// presses Import again. A tag whose line changed meanwhile was never
	// shown as it is now: it is not written over, and nothing is.
	std::string file = "tag,name,rules\n"
		"0099,Carla,Mo-Fr 08:00-17:00\n"
		"04A1B2C3,spare card,\n";
	struct Row {
		const char*	meanwhile;
		bool		takeFile;
		status_t	status;
		// What the lines say after an import that went through.
		const char*	line0099;
		const char*	line04A1;
	} rows[] = {
		// The new card was listed and switched off by hand.
		{"0099 Carla | off\n", false, B_MISMATCHED_VALUES, nullptr, nullptr},
		// Learned at the reader meanwhile.
		{"0099 # learned 2026-12-08 from front\n", false, B_MISMATCHED_VALUES,
			nullptr, nullptr},
		// The card whose file's version was chosen was taken off the list:
		// it must not come back, least of all at any time.
		{"", true, B_MISMATCHED_VALUES, nullptr, nullptr},
		// Changed by hand to another period.
		{"04A1B2C3 spare card | until 2026-01-01\n", true, B_MISMATCHED_VALUES,
			nullptr, nullptr},
		// Another line changed: what was shown is still so.
		{"# a comment\n", true, B_OK, "0099 Carla | Mo-Fr 08:00-17:00",
			"04A1B2C3 spare card"},
		{"# a comment\n", false, B_OK, "0099 Carla | Mo-Fr 08:00-17:00",
			"04A1B2C3 spare card | off"},
	};
	for (const Row& row : rows) {
		std::ofstream(fPath, std::ios::binary) << kList;
		ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
		TagImport import;
		ASSERT_EQ(B_OK, import.Read(file, fEditor, &fProblem)) << fProblem;
		ASSERT_EQ(TagImport::kDiffers, import.Entries()[1].kind);
		import.Entries()[1].takeFile = row.takeFile;

		// What changed on disk: lines added, or the spare card's line
		// replaced (or removed).
		std::string text = kList;
		std::string meanwhile = row.meanwhile;
		if (meanwhile.rfind("04A1B2C3", 0) == 0 || meanwhile.empty()) {
			size_t at = text.find("04A1B2C3");
			text.replace(at, text.find('\n', at) + 1 - at, meanwhile);
		} else
			text += meanwhile;
		std::ofstream(fPath, std::ios::binary) << text;
		ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;

		std::string problem;
		EXPECT_EQ(row.status, import.Apply(fEditor, &problem))
			<< row.meanwhile << problem;
		if (row.status != B_OK) {
			EXPECT_NE(std::string::npos, problem.find("changed in the list"
				" since the file was read")) << problem;
			continue;
		}
		// What changed meanwhile stays.
		EXPECT_NE(std::string::npos, fEditor.File().Text().find(meanwhile))
			<< meanwhile;
		for (auto [tag, expected] : {std::make_pair("0099", row.line0099),
				std::make_pair("04A1B2C3", row.line04A1)}) {
			const TagLine* line = fEditor.File().Find(tag);
			if (expected == nullptr) {
				EXPECT_EQ(nullptr, line) << row.meanwhile << tag;
				continue;
			}
			ASSERT_NE(nullptr, line) << row.meanwhile << tag;
			EXPECT_EQ(expected, line->Text()) << row.meanwhile;
		}
	}
}


TEST_F(CsvImportTest, WhatTheExportWritesTheImportReadsBackExactly)
{
	std::string kinds = std::string(kList)
		+ "0055 =1+2 | Mo 08:00-09:00 ; from 2026-12-14\n"
		+ "0056 -x, \"quoted\"; semi\n"
		+ "0057 'apostrophe\n"
		+ "0058 +49 30 1234\n";
	std::ofstream(fPath, std::ios::binary) << kinds;
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	for (char separator : {',', ';'}) {
		std::vector<std::string> left;
		int rows = 0;
		std::string file = TagExport::Text(fEditor.File(), ReadHistory(),
			separator, &left, &rows);
		EXPECT_EQ(6, rows);
		// The line that lets its tag in never cannot be read back.
		ASSERT_EQ(1u, left.size());
		EXPECT_NE(std::string::npos, left[0].find("line 5 (0001)"));
		// No field starts as a formula would.
		for (const char* formula : {",=", ",-", ",+", ",@", ";=", ";-",
				";+", ";@", "\n=", "\n-", "\n+", "\n@"})
			EXPECT_EQ(std::string::npos, file.find(formula)) << file;

		// Into the same list: nothing differs. Into an empty one: the
		// same tags, names and rules.
		TagImport same;
		ASSERT_EQ(B_OK, same.Read(file, fEditor, &fProblem)) << fProblem;
		EXPECT_EQ(6, same.Count(TagImport::kSame)) << file;
		TagListEditor empty(fDirectory.Sub("empty"));
		ASSERT_EQ(B_OK, empty.Load(&fProblem));
		empty.SetHours("", "staff", "Mo-Fr 07:00-19:00", &fProblem);
		TagImport fresh;
		ASSERT_EQ(B_OK, fresh.Read(file, empty, &fProblem)) << fProblem;
		ASSERT_EQ(B_OK, fresh.Apply(empty, &fProblem)) << fProblem;
		for (const TagLine& line : fEditor.File().Lines()) {
			if (line.What() != TagLine::kTag || line.Tag() == "0001")
				continue;
			const TagLine* copy = empty.File().Find(line.Tag());
			ASSERT_NE(nullptr, copy) << line.Text();
			EXPECT_EQ(line.Name(), copy->Name());
			EXPECT_EQ(line.RulesText(), copy->RulesText());
		}
	}

	// Tags that a spreadsheet makes of numbers are refused only as new
	// ones: a list that holds them (typed so, or older) reads its own
	// export back. A tag with a no-break space the list itself refuses:
	// its line lets nobody in, and is left out of the export with a word.
	std::ofstream(fPath, std::ios::binary) << "0058 a\n058 b\n1.5E+07 c\n"
		"0059\xC2\xA0 d\n";
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	std::vector<std::string> left;
	int rows = 0;
	std::string file = TagExport::Text(fEditor.File(), ReadHistory(), ';',
		&left, &rows);
	TagImport same;
	ASSERT_EQ(B_OK, same.Read(file, fEditor, &fProblem)) << fProblem;
	EXPECT_EQ(3, same.Count(TagImport::kSame));
	ASSERT_EQ(1u, left.size());
	EXPECT_NE(std::string::npos, left[0].find("line 4")) << left[0];
}


TEST_F(CsvImportTest, TheProgramImportsAllOrNothing)
{
	std::string program = std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags";
	auto run = [&](std::vector<std::string> arguments, std::string* output) {
		arguments.insert(arguments.begin(), {program, "--tags", fPath});
		ChildProcess::Options options;
		options.environment = {{"HOME", fDirectory.Path()},
			{"XDG_RUNTIME_DIR", fDirectory.Path()}, {"LANGUAGE", "en"}};
		ChildProcess child(arguments, options);
		int status = -1;
		EXPECT_TRUE(child.Wait(20, &status));
		*output = child.Output() + child.Errors();
		return status;
	};
	std::string file = fDirectory.Sub("people.csv");
	// As a German spreadsheet saves it.
	std::string good = "\xEF\xBB\xBFtag;name;rules\r\n"
		"0099;\"Carla; \"\"CB\"\"\";Mo-Fr 08:00-17:00\r\n"
		"04A1B2C3;spare card;Mo-Su 00:00-24:00\r\n";
	// The last row names a set the list does not have: nothing of the
	// file is written, not even its good rows.
	std::ofstream(file, std::ios::binary) << good << "0100;Dora;@night\r\n";
	std::string output;
	EXPECT_EQ(1, run({"--import", file}, &output));
	EXPECT_NE(std::string::npos, output.find("row 4: @night is not defined;"
		" nothing was imported")) << output;
	std::ifstream before(fPath, std::ios::binary);
	EXPECT_EQ(kList, std::string((std::istreambuf_iterator<char>(before)),
		{}));

	// The good rows: the new tag added; the card that is off stays off
	// until --replace says otherwise.
	std::ofstream(file, std::ios::binary) << good;
	EXPECT_EQ(0, run({"--import", file}, &output)) << output;
	EXPECT_NE(std::string::npos, output.find("04A1B2C3 differs (row 3, line"
		" 4):\n  list: spare card | off\n  file: spare card |"
		" Mo-Su 00:00-24:00\n")) << output;
	std::ifstream after(fPath, std::ios::binary);
	EXPECT_EQ(kList + std::string("0099 Carla; \"CB\" | Mo-Fr 08:00-17:00\n"),
		std::string((std::istreambuf_iterator<char>(after)), {}));
	EXPECT_EQ(0, run({"--import", file, "--replace"}, &output)) << output;
	TagListEditor replaced(fPath);
	ASSERT_EQ(B_OK, replaced.Load(&fProblem));
	EXPECT_EQ("Mo-Su 00:00-24:00",
		replaced.File().Find("04A1B2C3")->RulesText());

	// Exported and read back: nothing to add, nothing differs.
	std::string exported = fDirectory.Sub("out.csv");
	EXPECT_EQ(0, run({"--export", exported, "--separator", ";"}, &output))
		<< output;
	EXPECT_EQ(0, run({"--import", exported}, &output));
	EXPECT_NE(std::string::npos, output.find(": 0 added, 3 unchanged, 0"
		" differing")) << output;

	// A save that the disk takes only in part (a file size limit stands in
	// for a full disk): status 1, the list as it was.
	std::ifstream saved(fPath, std::ios::binary);
	std::string listed((std::istreambuf_iterator<char>(saved)), {});
	std::ofstream(file, std::ios::binary) << "tag,name,rules\n0200,"
		<< std::string(600, 'n') << ",\n";
	ChildProcess::Options options;
	options.environment = {{"HOME", fDirectory.Path()},
		{"XDG_RUNTIME_DIR", fDirectory.Path()}, {"LANGUAGE", "en"}};
	ChildProcess limited({"/bin/sh", "-c", "ulimit -f 1; trap '' XFSZ;"
		" exec \"$0\" --tags \"$1\" --import \"$2\"", program, fPath, file},
		options);
	int status = -1;
	ASSERT_TRUE(limited.Wait(20, &status));
	EXPECT_EQ(1, status) << limited.Output() << limited.Errors();
	EXPECT_NE(std::string::npos, limited.Errors().find("File too large;"
		" nothing was imported")) << limited.Errors();
	std::ifstream after_limit(fPath, std::ios::binary);
	EXPECT_EQ(listed, std::string((std::istreambuf_iterator<char>(
		after_limit)), {}));
}


TEST_F(CsvImportTest, AnExportThatCannotBeWrittenWholeLeavesTheFileAsItWas)
{
	// A later line of a tag listed twice does not count: not exported,
	// and named.
	std::ofstream(fPath, std::ios::binary) << "0055 first\n0055 second\n";
	ASSERT_EQ(B_OK, fEditor.Load(&fProblem)) << fProblem;
	std::vector<std::string> left;
	int rows = 0;
	std::string text = TagExport::Text(fEditor.File(), ReadHistory(), ',',
		&left, &rows);
	EXPECT_EQ(1, rows);
	EXPECT_EQ(std::string::npos, text.find("second")) << text;
	ASSERT_EQ(1u, left.size());
	EXPECT_NE(std::string::npos, left[0].find("line 2 (0055): does not"
		" count")) << left[0];

	// The disk takes only part of it (a file size limit stands in for a
	// full disk: the write comes back short, EFBIG): the file exported
	// before stays, whole, and no temporary file is left.
	std::string path = fDirectory.Sub("people.csv");
	std::ofstream(path, std::ios::binary) << "tag,name,rules\r\n";
	std::string big(64 * 1024, 'x');
	int names = CountNames();
	struct rlimit limit;
	ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &limit));
	struct rlimit small = limit;
	small.rlim_cur = 4096;
	sighandler_t before = signal(SIGXFSZ, SIG_IGN);
	ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
	std::string problem;
	status_t status = TagExport::Write(path, big, {fPath}, &problem);
	setrlimit(RLIMIT_FSIZE, &limit);
	signal(SIGXFSZ, before);
	EXPECT_EQ(B_IO_ERROR, status);
	EXPECT_NE(std::string::npos, problem.find("File too large")) << problem;
	std::ifstream in(path, std::ios::binary);
	EXPECT_EQ("tag,name,rules\r\n",
		std::string((std::istreambuf_iterator<char>(in)), {}));
	EXPECT_EQ(names, CountNames()) << "a temporary file is left";
}


TEST_F(CsvImportTest, TheExportNeverWritesOverTheListOrTheLog)
{
	// A slip of the finger (--export tags) would put the spreadsheet's
	// rows in place of the list, its comments and sets gone, and no card
	// would match any more; over the log, the reads would be gone.
	std::string program = std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags";
	std::string log = fDirectory.Sub("access.log");
	std::string logText = "{\"time\":\"2026-12-08T10:00:00+01:00\"}\n";
	struct Row {
		const char*	list;
		const char*	target;
		int			status;
	} rows[] = {
		{"tags", "tags", 1},
		{"tags", "link", 1},
		{"tags", "hard", 1},
		{"tags", "access.log", 1},
		// The list named through a link: its file, and the link itself.
		{"list-link", "tags", 1},
		{"list-link", "list-link", 1},
		{"tags", "people.csv", 0},
	};
	for (const Row& row : rows) {
		for (const char* name : {"tags", "link", "hard", "list-link"})
			unlink(fDirectory.Sub(name).c_str());
		std::ofstream(fPath, std::ios::binary) << kList;
		chmod(fPath.c_str(), 0600);
		std::ofstream(log, std::ios::binary) << logText;
		ASSERT_EQ(0, symlink(fPath.c_str(), fDirectory.Sub("link").c_str()));
		ASSERT_EQ(0, link(fPath.c_str(), fDirectory.Sub("hard").c_str()));
		ASSERT_EQ(0, symlink("tags", fDirectory.Sub("list-link").c_str()));
		ChildProcess::Options options;
		options.environment = {{"HOME", fDirectory.Path()},
			{"XDG_RUNTIME_DIR", fDirectory.Path()}, {"LANGUAGE", "en"}};
		options.workingDirectory = fDirectory.Path();
		ChildProcess child({program, "--tags", fDirectory.Sub(row.list),
			"--log", log, "--export", row.target}, options);
		int status = -1;
		ASSERT_TRUE(child.Wait(20, &status));
		EXPECT_EQ(row.status, status) << row.list << " " << row.target
			<< child.Errors();
		std::ifstream list(fPath, std::ios::binary);
		EXPECT_EQ(kList, std::string((std::istreambuf_iterator<char>(list)),
			{})) << row.target;
		std::ifstream reads(log, std::ios::binary);
		EXPECT_EQ(logText, std::string((std::istreambuf_iterator<char>(
			reads)), {})) << row.target;
		struct stat link;
		ASSERT_EQ(0, lstat(fDirectory.Sub("list-link").c_str(), &link));
		EXPECT_TRUE(S_ISLNK(link.st_mode)) << row.target;
	}
}


TEST_F(CsvImportTest, AFileLargerThanItSaidIsRefusedNotCutShort)
{
	// Plainly larger: refused before it is read.
	std::string huge = fDirectory.Sub("huge.csv");
	{
		std::ofstream out(huge, std::ios::binary);
		out << "tag,name,rules\n";
		std::string rows;
		for (int i = 0; i < 20000; i++)
			rows += "0099,x,off\n";
		while (out.tellp() <= 16 * 1024 * 1024)
			out << rows;
	}
	std::string read;
	std::string why;
	EXPECT_EQ(B_BAD_DATA, CsvCommand::ReadFile(huge, &read, &why));
	EXPECT_NE(std::string::npos, why.find("larger than 16 MiB")) << why;

	// A file that reads longer than its size said (one growing while it is
	// read; here a kernel's file, which says 0): cut at the limit, its last
	// row could lose the end of its rules and the rows after it would be
	// gone without a word. Every other page of a reservation readable, so
	// that each is a mapping of its own in smaps.
	const size_t pages = 40000;
	size_t page = (size_t)sysconf(_SC_PAGESIZE);
	void* reserved = mmap(nullptr, pages * page, PROT_NONE,
		MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	ASSERT_NE(MAP_FAILED, reserved);
	for (size_t i = 0; i < pages; i += 2)
		mprotect((char*)reserved + i * page, page, PROT_READ);
	std::string data;
	std::string problem;
	status_t status = CsvCommand::ReadFile("/proc/self/smaps", &data,
		&problem);
	munmap(reserved, pages * page);
	EXPECT_EQ(B_BAD_DATA, status);
	EXPECT_NE(std::string::npos, problem.find("larger than 16 MiB"))
		<< problem;
}

}	// namespace
