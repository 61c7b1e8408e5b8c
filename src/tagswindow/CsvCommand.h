#ifndef CSV_COMMAND_H
#define CSV_COMMAND_H

#include <SupportDefs.h>

#include <cstdio>
#include <string>

class TagListEditor;

// rdx-tags --export and --import, from a shell, without a window. The
// import goes through the same editor and save as the window's (the
// writers' lock, an atomic rename, every untouched line byte for byte, a
// list changed meanwhile never overwritten). It adds the new tags and
// lists each tag whose name or rules differ, both versions, changing none
// of them unless replace says so. Exit statuses: 0 done, 1 refused (and
// nothing written).
class CsvCommand {
public:
	static	int				Export(const std::string& listPath,
								const std::string& logPath,
								const std::string& path, char separator,
								FILE* out, FILE* err);
	static	int				Import(const std::string& listPath,
								const std::string& path, bool replace,
								FILE* out, FILE* err);

	// Reads a file to import: at most 16 MiB, which no list comes near.
	static	status_t		ReadFile(const std::string& path,
								std::string* data, std::string* problem);
	// Loads the list, waiting a moment for a writer that has it open.
	static	status_t		Load(TagListEditor& editor,
								std::string* problem);
};

#endif
