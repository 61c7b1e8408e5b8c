#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TempDir::TempDir(const char* prefix)
{
	const char* base = getenv("TMPDIR");
	std::string pattern = std::string(base != nullptr && *base ? base : "/tmp")
		+ "/" + prefix + "-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr)
		throw std::runtime_error("mkdtemp failed for " + pattern);
	fPath = pattern;
}


TempDir::~TempDir()
{
	std::error_code ignored;
	// Make read-only leftovers of a test removable first.
	for (auto it = std::filesystem::recursive_directory_iterator(fPath, ignored);
			it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
		if (it->is_directory(ignored))
			std::filesystem::permissions(it->path(),
				std::filesystem::perms::owner_all,
				std::filesystem::perm_options::add, ignored);
	}
	std::filesystem::remove_all(fPath, ignored);
}
