// The list in and out of a spreadsheet, without a display: files that
// must be refused whole (with their row), a German spreadsheet's file, the
// round trip through the export, and a differing tag that keeps the list's
// version until the person chooses the file's.

#include "ReadHistory.h"
#include "TagExport.h"
#include "TagImport.h"

#include <TagListEditor.h>

#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

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
		// Tags compare as the list compares them.
		{"tag,name,rules\n04a1,x,\n04A1,y,\n", "row 3: the tag 04A1 is in"},
	};
	for (const Row& row : rows) {
		TagImport import;
		std::string problem;
		EXPECT_EQ(B_BAD_DATA, import.Read(row.file, fEditor, &problem))
			<< row.file;
		EXPECT_EQ(0u, problem.find(row.problem)) << row.file << problem;
		EXPECT_TRUE(import.Entries().empty()) << row.file;
	}
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

	// Chosen: only then the file's version.
	TagImport again;
	ASSERT_EQ(B_OK, again.Read(file, fEditor, &fProblem)) << fProblem;
	again.Entries()[2].takeFile = true;
	ASSERT_EQ(B_OK, again.Apply(fEditor, &fProblem)) << fProblem;
	EXPECT_EQ("off ; until 2027-03-31",
		fEditor.File().Find("04A1B2C3")->RulesText());
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
}

}	// namespace
