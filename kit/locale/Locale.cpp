#include <Locale.h>

#include <libintl.h>
#include <climits>
#include <cstdarg>
#include <cstdio>
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


std::string
BLocale::GetLines(const char* text) const
{
	std::string translated;
	if (text == nullptr)
		return translated;
	for (const char* line = text; *line != '\0';) {
		const char* end = strchr(line, '\n');
		size_t length = end != nullptr ? (size_t)(end - line) : strlen(line);
		std::string key(line, length);
		translated += GetString(key.c_str());
		if (end == nullptr)
			break;
		translated += '\n';
		line = end + 1;
	}
	return translated;
}


std::string
translate_format(const char* format, ...)
{
	const char* translated = be_locale->GetString(format);
	va_list arguments;
	va_start(arguments, format);
	va_list again;
	va_copy(again, arguments);
	int length = vsnprintf(nullptr, 0, translated, arguments);
	va_end(arguments);
	std::string text;
	if (length > 0) {
		text.resize((size_t)length + 1);
		vsnprintf(&text[0], text.size(), translated, again);
		text.resize((size_t)length);
	}
	va_end(again);
	return text;
}
