#include <Locale.h>

#include <libintl.h>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kTextDomain = "rdx";

std::once_flag sInitOnce;
std::string sCatalogueDirectory;


bool
IsDirectory(const std::string& path)
{
	struct stat info;
	return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}


std::string
ExecutableDirectory()
{
	char path[PATH_MAX];
	ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
	if (length <= 0)
		return std::string();
	path[length] = '\0';
	char* slash = strrchr(path, '/');
	if (slash == nullptr)
		return std::string();
	*slash = '\0';
	return path;
}


// A program started from the build tree uses the catalogues built there;
// an installed one those beside its prefix (<prefix>/bin/rdx finds
// <prefix>/share/locale), so that an installed tree can be moved.
std::string
FindCatalogueDirectory()
{
	std::string executable = ExecutableDirectory();
	std::string binaryDir = RDX_BINARY_DIR;
	if (!executable.empty() && executable.compare(0, binaryDir.size(),
			binaryDir) == 0
		&& (executable.size() == binaryDir.size()
			|| executable[binaryDir.size()] == '/'))
		return RDX_BUILD_LOCALEDIR;
	if (!executable.empty()) {
		std::string beside = executable + "/../share/locale";
		char resolved[PATH_MAX];
		if (IsDirectory(beside) && realpath(beside.c_str(), resolved) != nullptr)
			return resolved;
	}
	return RDX_INSTALL_LOCALEDIR;
}


void
Init()
{
	// Translations follow the user's language settings, but only those of
	// messages: numbers keep their C form in the program's output. When the
	// user's locale is not installed, C.UTF-8 still lets LANGUAGE choose
	// the catalogue (the plain "C" locale makes gettext ignore it).
	if (setlocale(LC_MESSAGES, "") == nullptr
		|| strcmp(setlocale(LC_MESSAGES, nullptr), "C") == 0)
		setlocale(LC_MESSAGES, "C.UTF-8");
	sCatalogueDirectory = FindCatalogueDirectory();
	bindtextdomain(kTextDomain, sCatalogueDirectory.c_str());
	// The catalogues are UTF-8 and so is the toolkit; no conversion to the
	// character set of a "C" program.
	bind_textdomain_codeset(kTextDomain, "UTF-8");
}

BLocale sLocale;

}	// namespace


BLocale* be_locale = &sLocale;


BLocale::BLocale()
{
}


BLocale::~BLocale()
{
}


const char*
BLocale::GetString(const char* key) const
{
	if (key == nullptr)
		return "";
	// The empty key would give the catalogue's header.
	if (key[0] == '\0')
		return key;
	std::call_once(sInitOnce, Init);
	const char* text = dgettext(kTextDomain, key);
	return text != nullptr ? text : key;
}


const char*
BLocale::CatalogueDirectory() const
{
	std::call_once(sInitOnce, Init);
	return sCatalogueDirectory.c_str();
}
