// The tag list with rules at its size limit: 10,000 tags, each with hours,
// a named set and validity dates. The decision for one read and a reload
// are measured in this process with the same library rdx-reader uses; the
// memory is rdx-reader's own, with the list loaded, read again after a
// save and a few reads decided. A spreadsheet's 1,000 rows imported into
// that list are measured with rdx-tags's own import: load, read, check,
// write and save.

#include "ReaderReport.h"

#include "BenchClock.h"
#include "SettingsHome.h"

#include <TagImport.h>
#include <TagList.h>
#include <TagListEditor.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int kTags = 10000;


std::string
tag_of(int i)
{
	char tag[16];
	snprintf(tag, sizeof(tag), "%010u", (unsigned)(1000000 + i));
	return tag;
}


std::string
list_text()
{
	static const char* const kDays[] = {"Mo-Fr", "Sa-Su", "Tu", "Fr-Mo"};
	std::string text = "# 10,000 tags, each with rules\n";
	char line[256];
	for (int set = 0; set < 100; set++) {
		snprintf(line, sizeof(line), "@set%d = Mo-Fr %02d:00-%02d:30, Sa"
			" 09:00-13:00\n", set, 5 + set % 10, 15 + set % 8);
		text += line;
	}
	for (int i = 0; i < kTags; i++) {
		snprintf(line, sizeof(line), "%s person %d | @set%d ; %s"
			" %02d:00-%02d:00 ; from 2026-%02d-01 ; until 2030-12-31\n",
			tag_of(i).c_str(), i, i % 100, kDays[i % 4], i % 24,
			(i + 9) % 24, 1 + i % 12);
		text += line;
	}
	return text;
}


bool
write_text(const std::string& path, const std::string& text)
{
	std::string temporary = path + ".new";
	int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
		0600);
	if (fd < 0)
		return false;
	bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
	ok = close(fd) == 0 && ok;
	return ok && rename(temporary.c_str(), path.c_str()) == 0;
}


// rdx-reader's peak memory with the list: loaded, read again after a
// save, and twenty reads decided (no rdx runs: each ends "no rdx" or with
// the rule's refusal).
int64_t
reader_peak(const BenchConfig& config, const std::string& list,
	const std::string& text, std::string* error)
{
	SettingsHome home;
	int master = -1;
	int slaveFD = -1;
	char slave[256];
	if (!home.IsValid() || openpty(&master, &slaveFD, slave, nullptr, nullptr)
			!= 0) {
		*error = "no settings home or pseudo-terminal";
		return -1;
	}
	close(slaveFD);
	std::string output = config.logDirectory + "/tag-list.reader.out";
	Process reader({config.reader, "--tags", list, "--repeat-ms", "0",
		"--serial", slave}, home.Environment(), output);
	int64_t peak = -1;
	if (!wait_for_output(output, "read the tag list " + list + ": 10000"
			" tags", 20)) {
		*error = "rdx-reader did not read the list";
	} else if (!write_text(list, text) || !wait_for_output(output,
			"read again the tag list", 20)) {
		*error = "rdx-reader did not read the list again";
	} else {
		for (int i = 0; i < 20; i++) {
			std::string frame = rdm6300_frame(1000000 + (uint32_t)i * 499);
			if (write(master, frame.data(), frame.size()) < 0)
				break;
			bench_sleep_ms(5);
		}
		if (!wait_for_output(output, tag_of(19 * 499), 20))
			*error = "rdx-reader did not decide the reads";
		else
			peak = reader.PeakRss();
	}
	reader.Stop(10);
	close(master);
	return peak;
}

// A spreadsheet's file of 1,000 new people, as a German one saves it.
std::string
csv_text()
{
	std::string text = "\xEF\xBB\xBFtag;name;rules;last seen\r\n";
	char row[256];
	for (int i = 0; i < 1000; i++) {
		snprintf(row, sizeof(row), "%s;\"Person %d; Abt. \"\"%d\"\"\";"
			"\"@set%d ; Mo-Fr %02d:00-17:00 ; until 2030-12-31\";\r\n",
			tag_of(kTags + i).c_str(), i, i % 7, i % 100, 6 + i % 3);
		text += row;
	}
	return text;
}


// One import of the file into the list as written: what a person waits
// for from "Import" to the list saved. false when it was refused.
bool
import_once(const std::string& path, const std::string& csv)
{
	TagListEditor editor(path);
	TagImport import;
	std::string problem;
	return editor.Load(&problem) == B_OK
		&& import.Read(csv, editor, &problem) == B_OK
		&& import.Count(TagImport::kNew) == 1000
		&& import.Apply(editor, &problem) == B_OK
		&& editor.Save(&problem) == B_OK;
}

}	// namespace


bool
ReportTagList(const BenchConfig& config, std::vector<Target>* targets)
{
	fprintf(stderr, "rdx-bench: tag list with rules, %d tags\n", kTags);
	const char* tmp = getenv("TMPDIR");
	std::string directory = std::string(tmp != nullptr ? tmp : "/tmp")
		+ "/rdx-bench-tags-XXXXXX";
	if (mkdtemp(directory.data()) == nullptr) {
		printf("\n**Tag list: not measured: no directory**\n");
		return false;
	}
	std::string path = directory + "/tags";
	std::string text = list_text();
	bool ok = write_text(path, text);

	// Reloads, as after every save.
	TagList list(path);
	Samples reload;
	std::string problem;
	for (int i = 0; ok && i < 100; i++) {
		int64_t start = bench_now_ns();
		ok = list.Load(&problem) == B_OK && list.CountTags() == kTags;
		reload.Add(ms_between(start, bench_now_ns()));
	}
	ok = ok && list.File().Problems().empty();

	// Decisions for listed and unknown tags at times spread over a year.
	Samples decision;
	std::mt19937 random(22);
	int passed = 0;
	for (int i = 0; ok && i < 200000; i++) {
		int index = (int)(random() % (kTags + kTags / 10));
		std::string tag = tag_of(index);
		LocalTime time(2027, 1 + (int)(random() % 12), 1 + (int)(random() % 28),
			(int)(random() % 1440));
		int64_t start = bench_now_ns();
		TagDecision verdict = list.Decide(tag, time);
		int64_t end = bench_now_ns();
		passed += verdict.Passes();
		decision.Add((end - start) / 1000.0);
	}

	// Each import into the list as it was.
	Samples import;
	std::string csv = csv_text();
	for (int i = 0; ok && i < 5; i++) {
		ok = write_text(path, text);
		int64_t start = bench_now_ns();
		ok = ok && import_once(path, csv);
		import.Add(ms_between(start, bench_now_ns()));
	}
	ok = ok && write_text(path, text);

	std::string error = ok ? std::string() : "the list was not read whole: "
		+ problem;
	int64_t peak = ok && !config.reader.empty()
		? reader_peak(config, path, text, &error) : -1;
	unlink((path + ".new").c_str());
	unlink(path.c_str());
	rmdir(directory.c_str());

	printf("\n### 13. Tag list with rules (%d tags, each with a named set,"
		" weekly hours and validity dates; %zu KiB)\n\n", kTags,
		text.size() / 1024);
	printf("| | p50 | p99 | max |\n|---|---|---|---|\n");
	printf("| decision for one read, µs (%zu, %d passed) | %.2f | %.2f |"
		" %.2f |\n", decision.Count(), passed, decision.Median(),
		decision.Percentile(99), decision.Max());
	printf("| reload of the whole list, ms (%zu) | %.2f | %.2f | %.2f |\n",
		reload.Count(), reload.Median(), reload.Percentile(99),
		reload.Max());
	printf("| a spreadsheet's 1,000 rows imported into the list, ms (%zu) |"
		" %.1f | %.1f | %.1f |\n", import.Count(), import.Median(),
		import.Percentile(99), import.Max());
	printf("\nrdx-reader's peak RSS (VmHWM) with the list loaded, read again"
		" and 20 reads decided: **%.2f MiB**\n", peak / (1024.0 * 1024.0));
	if (!error.empty()) {
		printf("\n**Tag list: not measured: %s** (outputs in %s)\n",
			error.c_str(), config.logDirectory.c_str());
	}
	auto format = [](const char* pattern, double value) {
		char text[64];
		snprintf(text, sizeof(text), pattern, value);
		return std::string(text);
	};
	targets->push_back({"tag list decision p99", "< 20 µs",
		format("%.2f µs", decision.Percentile(99)),
		ok && decision.Percentile(99) < 20});
	targets->push_back({"tag list reload p99", "< 30 ms",
		format("%.2f ms", reload.Percentile(99)),
		ok && reload.Percentile(99) < 30});
	targets->push_back({"1,000 CSV rows imported into 10,000 tags, slowest",
		"< 1 s", format("%.1f ms", import.Max()),
		ok && import.Count() > 0 && import.Max() < 1000});
	targets->push_back({"rdx-reader peak RSS with 10,000 tags", "< 8 MiB",
		format("%.2f MiB", peak / (1024.0 * 1024.0)),
		peak > 0 && peak < 8 * 1024 * 1024});
	return error.empty();
}
